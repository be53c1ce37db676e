#include "workinstructions/DateVectorMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(DateVectorMap,
                       attribute<&DateVectorMap::key>("key", Required),
                       values<&DateVectorMap::value>("value", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
