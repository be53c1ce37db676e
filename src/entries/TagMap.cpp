#include "workinstructions/TagMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(TagMap,
                       attribute<&TagMap::key>("key"),
                       child<&TagMap::value>("value"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
