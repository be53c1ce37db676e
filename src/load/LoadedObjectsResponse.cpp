#include "workinstructions/LoadedObjectsResponse.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(LoadedObjectsResponse,
                       children<&LoadedObjectsResponse::loadedObjects>("loadedObjects", Optional),
                       bareChild<&LoadedObjectsResponse::serviceData>("ServiceData", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
