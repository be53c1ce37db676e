#include "workinstructions/DateMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(DateMap,
                       attribute<&DateMap::key>("key", Required),
                       attribute<&DateMap::value>("value", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
