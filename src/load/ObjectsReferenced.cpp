#include "workinstructions/ObjectsReferenced.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(ObjectsReferenced,
                       child<&ObjectsReferenced::targetContext>("targetContext"),
                       child<&ObjectsReferenced::targetObject>("targetObject"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
