#include "workinstructions/LoadedObjectsResponse.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(LoadedObjectsResponse,
                       children<&LoadedObjectsResponse::loadedObjects>("loadedObjects"),
                       bareChild<&LoadedObjectsResponse::serviceData>("ServiceData"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
