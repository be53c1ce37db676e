#include "workinstructions/LoadedSubSTXInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(LoadedSubSTXInfo,
                       attribute<&LoadedSubSTXInfo::transientId>("transientId", Required),
                       attribute<&LoadedSubSTXInfo::objectType>("objectType", Required),
                       attribute<&LoadedSubSTXInfo::persistentId>("persistentId", Required),
                       attribute<&LoadedSubSTXInfo::owningObjectTransientId>("owningObjectTransientId", Required),
                       child<&LoadedSubSTXInfo::objectData>("objectData", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
