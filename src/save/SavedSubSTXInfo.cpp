#include "workinstructions/SavedSubSTXInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(SavedSubSTXInfo,
                       attribute<&SavedSubSTXInfo::transientId>("transientId"),
                       attribute<&SavedSubSTXInfo::persistentId>("persistentId"),
                       attribute<&SavedSubSTXInfo::owningObjectTransientId>("owningObjectTransientId"),
                       child<&SavedSubSTXInfo::objectData>("objectData"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
