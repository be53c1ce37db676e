#include "workinstructions/DoubleMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(DoubleMap,
                       attribute<&DoubleMap::key>("key", Required),
                       attribute<&DoubleMap::value>("value", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
