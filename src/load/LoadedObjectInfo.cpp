#include "workinstructions/LoadedObjectInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(LoadedObjectInfo,
                       attribute<&LoadedObjectInfo::workInstructionFile>("workInstructionFile"),
                       attribute<&LoadedObjectInfo::topObjectDisplayName>("topObjectDisplayName"),
                       attribute<&LoadedObjectInfo::targetObjectTransientId>("targetObjectTransientId"),
                       child<&LoadedObjectInfo::targetContext>("targetContext"),
                       child<&LoadedObjectInfo::targetObject>("targetObject"),
                       children<&LoadedObjectInfo::loadedDCDs>("loadedDCDs"),
                       children<&LoadedObjectInfo::loadedPFs>("loadedPFs"),
                       children<&LoadedObjectInfo::symbols>("symbols"),
                       children<&LoadedObjectInfo::loadedSTXs>("loadedSTXs"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
