#include "workinstructions/ObjectsReferenced.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(ObjectsReferenced,
                       child<&ObjectsReferenced::targetContext>("targetContext", Required),
                       child<&ObjectsReferenced::targetObject>("targetObject", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
