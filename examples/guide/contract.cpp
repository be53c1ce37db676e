// The object contract: building, sharing through AutoPtr, copy versus clone,
// what parse appends, and moved-from objects.

#include <iostream>
#include <utility>

#include "workinstructions/WorkInstructions.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::AutoPtr;
using Kavella::Soa::Common::Xml::XMLDocument;

int main()
{
    //! [build]
    // Objects are made by make (or new) and held by AutoPtr handles; a handle
    // shares, the last one released deletes. Entries take their key and value.
    AutoPtr<wi::IntMap> count = wi::make<wi::IntMap>("count", 42);

    AutoPtr<wi::CreateInput> data = wi::make<wi::CreateInput>();
    data->setType("Mes0DCD");
    data->addIntProp(count); // data now shares count
    std::cout << "count is held " << count->getRefCount() << " times\n";
    //! [build]

    //! [copy]
    // A copy has its own values, but shares the nested objects.
    wi::CreateInput copy = *data;
    copy.setType("Mes0PF");
    copy.getIntPropArray().front()->setValue(43); // the shared IntMap
    std::cout << "data: " << data->getType() << ", count " << count->getValue() << '\n';

    // clone() is the same shallow copy, on the heap, for handles to the base class.
    AutoPtr<wi::CreateInput> cloned(static_cast<wi::CreateInput*>(data->clone()));
    std::cout << "clone shares the entry: " << std::boolalpha
              << (cloned->getIntPropArray().front() == count) << '\n';
    //! [copy]

    //! [parse]
    // parse appends to arrays: reading into a filled object adds entries.
    const XMLDocument document(
        "<CreateInput xmlns='http://velmora.com/Schemas/MES/2010-09/WorkInstructions' type='Mes0DCD'>"
        "<intProps key='limit' value='7'/></CreateInput>");
    data->parse(document.root());
    std::cout << "after parse: " << data->getIntPropArray().size() << " int properties\n";
    //! [parse]

    //! [move]
    // Moving copies: the moved-from object keeps its values and stays whole.
    wi::CreateInput moved = std::move(copy);
    std::cout << "moved-from keeps " << copy.getType() << " and "
              << copy.getIntPropArray().size() << " entry\n";
    //! [move]
    return moved.getType() == "Mes0PF" ? 0 : 1;
}
