#include "workinstructions/SavedSTXInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(SavedSTXInfo,
                       attribute<&SavedSTXInfo::transientId>("transientId"),
                       child<&SavedSTXInfo::stxObjectData>("stxObjectData"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
