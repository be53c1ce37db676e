#include "workinstructions/StringMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(StringMap,
                       attribute<&StringMap::key>("key", Required),
                       attribute<&StringMap::value>("value", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
