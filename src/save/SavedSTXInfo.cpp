#include "workinstructions/SavedSTXInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(SavedSTXInfo,
                       attribute<&SavedSTXInfo::transientId>("transientId", Required),
                       child<&SavedSTXInfo::stxObjectData>("stxObjectData", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
