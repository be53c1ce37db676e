#include "workinstructions/CreateInput.hpp"

#include "framework/ClassSchema.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

WI_DEFINE_SCHEMA_CLASS(CreateInput,
                       attribute<&CreateInput::type>("type", Required),
                       children<&CreateInput::stringProps>("stringProps", Optional),
                       children<&CreateInput::stringArrayProps>("stringArrayProps", Optional),
                       children<&CreateInput::doubleProps>("doubleProps", Optional),
                       children<&CreateInput::doubleArrayProps>("doubleArrayProps", Optional),
                       children<&CreateInput::floatProps>("floatProps", Optional),
                       children<&CreateInput::floatArrayProps>("floatArrayProps", Optional),
                       children<&CreateInput::intProps>("intProps", Optional),
                       children<&CreateInput::intArrayProps>("intArrayProps", Optional),
                       children<&CreateInput::boolProps>("boolProps", Optional),
                       children<&CreateInput::boolArrayProps>("boolArrayProps", Optional),
                       children<&CreateInput::dateProps>("dateProps", Optional),
                       children<&CreateInput::dateArrayProps>("dateArrayProps", Optional),
                       children<&CreateInput::tagProps>("tagProps", Optional),
                       children<&CreateInput::tagArrayProps>("tagArrayProps", Optional),
                       children<&CreateInput::compoundCreateInput>("compoundCreateInput", Optional))

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
