#include "workinstructions/LoadedSTXInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(LoadedSTXInfo,
                       attribute<&LoadedSTXInfo::transientId>("transientId", Required),
                       attribute<&LoadedSTXInfo::workInstructionFile>("workInstructionFile", Required),
                       child<&LoadedSTXInfo::stxObjectData>("stxObjectData", Required),
                       children<&LoadedSTXInfo::symbols>("symbols", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
