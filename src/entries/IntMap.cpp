#include "workinstructions/IntMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(IntMap,
                       attribute<&IntMap::key>("key", Required),
                       attribute<&IntMap::value>("value", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
