#include "workinstructions/StringVectorMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(StringVectorMap,
                       attribute<&StringVectorMap::key>("key", Required),
                       values<&StringVectorMap::value>("value", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
