#include "workinstructions/SaveWorkInstructionDocInput.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(SaveWorkInstructionDocInput,
                       children<&SaveWorkInstructionDocInput::savedObjects>("savedObjects", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
