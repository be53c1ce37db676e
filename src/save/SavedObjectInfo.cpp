#include "workinstructions/SavedObjectInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(SavedObjectInfo,
                       attribute<&SavedObjectInfo::workInstructionFile>("workInstructionFile", Required),
                       child<&SavedObjectInfo::targetObject>("targetObject", Required),
                       children<&SavedObjectInfo::modifiedDCDs>("modifiedDCDs", Optional),
                       children<&SavedObjectInfo::modifiedPFs>("modifiedPFs", Optional),
                       children<&SavedObjectInfo::symbols>("symbols", Optional),
                       children<&SavedObjectInfo::modifiedSTXs>("modifiedSTXs", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
