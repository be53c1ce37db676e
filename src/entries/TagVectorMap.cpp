#include "workinstructions/TagVectorMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(TagVectorMap,
                       attribute<&TagVectorMap::key>("key", Required),
                       children<&TagVectorMap::value>("value", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
