#include "workinstructions/LoadedSTXInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(LoadedSTXInfo,
                       attribute<&LoadedSTXInfo::transientId>("transientId"),
                       attribute<&LoadedSTXInfo::workInstructionFile>("workInstructionFile"),
                       child<&LoadedSTXInfo::stxObjectData>("stxObjectData"),
                       children<&LoadedSTXInfo::symbols>("symbols"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
