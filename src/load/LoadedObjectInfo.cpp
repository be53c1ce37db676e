#include "workinstructions/LoadedObjectInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(LoadedObjectInfo,
                       attribute<&LoadedObjectInfo::workInstructionFile>("workInstructionFile", Required),
                       attribute<&LoadedObjectInfo::topObjectDisplayName>("topObjectDisplayName", Required),
                       attribute<&LoadedObjectInfo::targetObjectTransientId>("targetObjectTransientId", Required),
                       child<&LoadedObjectInfo::targetContext>("targetContext", Required),
                       child<&LoadedObjectInfo::targetObject>("targetObject", Required),
                       children<&LoadedObjectInfo::loadedDCDs>("loadedDCDs", Optional),
                       children<&LoadedObjectInfo::loadedPFs>("loadedPFs", Optional),
                       children<&LoadedObjectInfo::symbols>("symbols", Optional),
                       children<&LoadedObjectInfo::loadedSTXs>("loadedSTXs", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
