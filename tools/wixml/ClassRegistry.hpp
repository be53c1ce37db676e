#pragma once

// The schema classes by name, from the library's list of them. outputXML and parse are not virtual, so the
// tool reaches each class through the functions recorded here.

#include <string>
#include <string_view>
#include <vector>

#include "workinstructions/WorkInstructions.hpp"

namespace wixml {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;
using ::Kavella::Soa::Common::AutoPtr;
using ::Kavella::Soa::Common::Xml::BaseObject;
using ::Kavella::Soa::Common::Xml::XMLNode;
using ::Kavella::Soa::Common::Xml::XmlStream;

struct SchemaClass {
    const char* name; // the class name, which is also the root element name of a message
    bool message;     // one of the schema's global elements
    AutoPtr<BaseObject> (*make)();
    void (*parse)(BaseObject& object, const XMLNode& node);
    void (*write)(const BaseObject& object, XmlStream& stream, const std::string& elementName);
    /// readXml and writeXml of the class.
    AutoPtr<BaseObject> (*read)(std::string_view text, const wi::XMLReadLimits& limits);
    AutoPtr<BaseObject> (*readStream)(std::istream& text, const wi::XMLReadLimits& limits);
    std::string (*writeDocument)(const BaseObject& object, wi::Envelope envelope);
    std::string (*writeFormatted)(const BaseObject& object, const wi::WriteFormat& format);
    /// The rows of the class, to walk its objects by.
    wi::ClassView view;
};

const std::vector<SchemaClass>& schemaClasses();
/// Null when no class has that name.
const SchemaClass* findSchemaClass(const std::string& name);

} // namespace wixml
