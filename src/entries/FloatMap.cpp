#include "workinstructions/FloatMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(FloatMap,
                       attribute<&FloatMap::key>("key", Required),
                       attribute<&FloatMap::value>("value", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
