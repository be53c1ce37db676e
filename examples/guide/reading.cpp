// Reading: readXml for a whole document, the tree path for callers holding a
// node, limits, and errors with their positions.

#include <iostream>
#include <sstream>
#include <string>

#include "workinstructions/WorkInstructions.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::AutoPtr;
using Kavella::Soa::Common::Xml::DomException;
using Kavella::Soa::Common::Xml::XMLDocument;
using Kavella::Soa::Common::Xml::XMLReadLimits;

const std::string request =
    "<wi:LoadWorkInstructionDocInput xmlns:wi='http://velmora.com/Schemas/MES/2010-09/WorkInstructions'>\n"
    "  <wi:loadedInfo>\n"
    "    <wi:targetContext uid='PlantLineB7Ctx'/>\n"
    "    <wi:targetObject uid='Op0010Gearbox'/>\n"
    "  </wi:loadedInfo>\n"
    "</wi:LoadWorkInstructionDocInput>\n";

int main()
{
    //! [readXml]
    // Text to objects in one call; no tree is built in between.
    AutoPtr<wi::LoadWorkInstructionDocInput> direct = wi::readXml<wi::LoadWorkInstructionDocInput>(request);
    std::cout << "readXml: " << direct->getLoadedInfoArray().front()->getTargetObject()->getUid() << '\n';
    //! [readXml]

    //! [stream]
    // From a stream or a file, a piece at a time: the text is never held whole.
    std::istringstream stream(request);
    AutoPtr<wi::LoadWorkInstructionDocInput> streamed = wi::readXml<wi::LoadWorkInstructionDocInput>(stream);
    std::cout << "stream: " << streamed->getLoadedInfoArray().size() << " records\n";
    try {
        wi::readXmlFile<wi::LoadWorkInstructionDocInput>("no-such-request.xml");
    } catch (const std::ios_base::failure& error) {
        std::cout << "file: " << error.what() << '\n';
    }
    //! [stream]

    //! [tree]
    // The tree path: the whole document as XMLNodes, the message found in it
    // (the root, or the Body's element of a SOAP envelope), then parse.
    const XMLDocument document(request);
    wi::LoadWorkInstructionDocInput fromTree;
    fromTree.parse(Kavella::Soa::Common::Xml::messageNode(document.root()));
    std::cout << "tree: " << document.size() << " elements, "
              << fromTree.getLoadedInfoArray().front()->getTargetContext()->getUid() << '\n';
    //! [tree]

    //! [limits]
    // Hostile input: nesting deeper than the limit is refused before it costs much.
    XMLReadLimits shallow;
    shallow.maxDepth = 2;
    try {
        wi::readXml<wi::LoadWorkInstructionDocInput>(request, shallow);
    } catch (const DomException& error) {
        std::cout << "limit: " << error.what() << '\n';
    }
    //! [limits]

    //! [errors]
    // Every error is a DomException; line() and column() point at the element.
    const std::string broken =
        "<wi:CreateInput xmlns:wi='http://velmora.com/Schemas/MES/2010-09/WorkInstructions' type='Mes0DCD'>\n"
        "  <wi:intProps key='count' value='4x'/>\n"
        "</wi:CreateInput>\n";
    try {
        wi::readXml<wi::CreateInput>(broken);
    } catch (const DomException& error) {
        std::cout << "error at " << error.line() << ':' << error.column() << ": " << error.what() << '\n';
    }
    //! [errors]
}
