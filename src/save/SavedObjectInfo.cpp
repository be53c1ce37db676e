#include "workinstructions/SavedObjectInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(SavedObjectInfo,
                       attribute<&SavedObjectInfo::workInstructionFile>("workInstructionFile"),
                       child<&SavedObjectInfo::targetObject>("targetObject"),
                       children<&SavedObjectInfo::modifiedDCDs>("modifiedDCDs"),
                       children<&SavedObjectInfo::modifiedPFs>("modifiedPFs"),
                       children<&SavedObjectInfo::symbols>("symbols"),
                       children<&SavedObjectInfo::modifiedSTXs>("modifiedSTXs"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
