#include "workinstructions/CreateInputMap.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(CreateInputMap,
                       attribute<&CreateInputMap::key>("key", Required),
                       children<&CreateInputMap::value>("value", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
