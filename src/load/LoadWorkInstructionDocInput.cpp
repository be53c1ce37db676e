#include "workinstructions/LoadWorkInstructionDocInput.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(LoadWorkInstructionDocInput,
                       children<&LoadWorkInstructionDocInput::loadedInfo>("loadedInfo", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
