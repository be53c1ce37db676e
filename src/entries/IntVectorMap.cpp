#include "workinstructions/IntVectorMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(IntVectorMap,
                       attribute<&IntVectorMap::key>("key", Required),
                       values<&IntVectorMap::value>("value", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
