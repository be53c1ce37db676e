#include "workinstructions/BoolVectorMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(BoolVectorMap,
                       attribute<&BoolVectorMap::key>("key", Required),
                       values<&BoolVectorMap::value>("value", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
