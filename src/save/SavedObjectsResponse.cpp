#include "workinstructions/SavedObjectsResponse.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(SavedObjectsResponse,
                       bareChild<&SavedObjectsResponse::serviceData>("ServiceData", Required))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
