#include "workinstructions/DoubleVectorMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(DoubleVectorMap,
                       attribute<&DoubleVectorMap::key>("key", Required),
                       values<&DoubleVectorMap::value>("value", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
