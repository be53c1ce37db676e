#include "workinstructions/SavedSubSTXInfo.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(SavedSubSTXInfo,
                       attribute<&SavedSubSTXInfo::transientId>("transientId", Required),
                       attribute<&SavedSubSTXInfo::persistentId>("persistentId", Required),
                       attribute<&SavedSubSTXInfo::owningObjectTransientId>("owningObjectTransientId", Required),
                       child<&SavedSubSTXInfo::objectData>("objectData", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
