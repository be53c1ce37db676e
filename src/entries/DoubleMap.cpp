#include "workinstructions/DoubleMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(DoubleMap,
                       attribute<&DoubleMap::key>("key"),
                       attribute<&DoubleMap::value>("value"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
