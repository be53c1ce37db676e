#include "workinstructions/CreateInput.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(CreateInput,
                       attribute<&CreateInput::type>("type"),
                       children<&CreateInput::stringProps>("stringProps"),
                       children<&CreateInput::stringArrayProps>("stringArrayProps"),
                       children<&CreateInput::doubleProps>("doubleProps"),
                       children<&CreateInput::doubleArrayProps>("doubleArrayProps"),
                       children<&CreateInput::floatProps>("floatProps"),
                       children<&CreateInput::floatArrayProps>("floatArrayProps"),
                       children<&CreateInput::intProps>("intProps"),
                       children<&CreateInput::intArrayProps>("intArrayProps"),
                       children<&CreateInput::boolProps>("boolProps"),
                       children<&CreateInput::boolArrayProps>("boolArrayProps"),
                       children<&CreateInput::dateProps>("dateProps"),
                       children<&CreateInput::dateArrayProps>("dateArrayProps"),
                       children<&CreateInput::tagProps>("tagProps"),
                       children<&CreateInput::tagArrayProps>("tagArrayProps"),
                       children<&CreateInput::compoundCreateInput>("compoundCreateInput"))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
