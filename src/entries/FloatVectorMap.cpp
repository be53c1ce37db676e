#include "workinstructions/FloatVectorMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(FloatVectorMap,
                       attribute<&FloatVectorMap::key>("key", Required),
                       values<&FloatVectorMap::value>("value", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
