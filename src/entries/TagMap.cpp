#include "workinstructions/TagMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(TagMap,
                       attribute<&TagMap::key>("key", Required),
                       child<&TagMap::value>("value", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
