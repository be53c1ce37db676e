#include "workinstructions/BoolMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(BoolMap,
                       attribute<&BoolMap::key>("key", Required),
                       attribute<&BoolMap::value>("value", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
