#include "workinstructions/FloatVectorMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(FloatVectorMap,
                       attribute<&FloatVectorMap::key>("key"),
                       values<&FloatVectorMap::value>("value"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
