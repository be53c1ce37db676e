#include "workinstructions/LoadedSubSTXInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(LoadedSubSTXInfo,
                       attribute<&LoadedSubSTXInfo::transientId>("transientId"),
                       attribute<&LoadedSubSTXInfo::objectType>("objectType"),
                       attribute<&LoadedSubSTXInfo::persistentId>("persistentId"),
                       attribute<&LoadedSubSTXInfo::owningObjectTransientId>("owningObjectTransientId"),
                       child<&LoadedSubSTXInfo::objectData>("objectData"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
