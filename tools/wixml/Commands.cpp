#include "Commands.hpp"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>

#include "Diff.hpp"
#include "LimitOptions.hpp"
#include "MessageInput.hpp"
#include "MissingMembers.hpp"
#include "SchemaCheck.hpp"
#include "kvsoa/Soap.hpp"
#include "kvsoa/SoapEnvelope.hpp"

namespace wixml {

namespace {

using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::messageNode;
using ::Kavella::Soa::Common::Xml::XMLDocument;
using ::Kavella::Soa::Common::Xml::SoapEnvelopeReader;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLPosition;

struct Message {
    const SchemaClass* schemaClass = nullptr;
    std::string rootName; // of the message element, inside an envelope or not
    AutoPtr<BaseObject> object;
    wi::MessageHead head; // the message element and the envelope around it
    // Kept for --strict only, which reads the text again and reports at our positions.
    std::string text;
    std::shared_ptr<const XMLDocument> document;
    const XMLNode* node = nullptr;
    std::vector<MissingMember> missing; // of what the schema declares
};

std::string displayName(const std::string& file)
{
    return file == "-" ? "<stdin>" : file;
}

// False with a reason when the file cannot be read.
bool readInput(const std::string& file, std::string& text, std::string& reason)
{
    if (file == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    reason = notAMessageFile(file);
    if (!reason.empty()) return false;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        reason = "cannot read the file";
        return false;
    }
    text = content.str();
    return true;
}

// Objects reached through the class's rows; the runtime's own (a ModelObject,
// a ServiceData) count as one each, as they have no rows to walk.
std::size_t objectCount(const BaseObject& object, wi::ClassView view)
{
    std::size_t count = 1;
    for (const wi::MemberView member : view) {
        const std::size_t entries = member.entryCount(object);
        for (std::size_t i = 0; i < entries; ++i) {
            count += member.nestedClass() ? objectCount(member.entry(object, i), member.nestedClass()) : 1;
        }
    }
    return count;
}

// Where readMessage reads from: a whole text (kept for --strict), or a file
// read a piece at a time, from its start again for each reader.
struct Source {
    const std::string* text = nullptr;
    MessageInput* input = nullptr;

    template <class Read>
    auto read(Read&& reader)
    {
        std::string_view view;
        if (text) return reader(view = *text);
        input->replay();
        return reader(input->stream());
    }
};

// Picks the class as the message element starts and reads the message into
// it in the same pass; a message of no class stops the read there, so that
// only what is wrong with the envelope before it (a fault above all) comes first.
class MessagePicker final : public ::Kavella::Soa::Common::Xml::XMLEventHandler {
public:
    MessagePicker(Message& message, const SchemaClass* asClass, XMLEventReader& parser,
                  const SoapEnvelopeReader& envelope)
        : m_message(message), m_asClass(asClass), m_parser(parser), m_envelope(envelope)
    {
    }
    void startElement(const ::Kavella::Soa::Common::Xml::XMLStartTag& tag) override
    {
        if (!m_picked) pick(tag);
        if (m_reader) m_reader->startElement(tag);
    }
    void endElement() override
    {
        if (m_reader) m_reader->endElement();
    }
    void characters(std::string_view text) override
    {
        if (m_reader) m_reader->characters(text);
    }

private:
    void pick(const ::Kavella::Soa::Common::Xml::XMLStartTag& tag)
    {
        m_picked = true;
        const SchemaClass* chosen = m_asClass;
        if (!chosen && tag.uri == wi::NamespaceUri) chosen = findSchemaClass(std::string(tag.name));
        if (!chosen) {
            m_parser.stop();
            return;
        }
        m_message.schemaClass = chosen;
        m_message.object = chosen->make();
        m_reader = chosen->view.messageReader(*m_message.object, m_parser, m_envelope, chosen->message ? chosen->name : nullptr);
    }

    Message& m_message;
    const SchemaClass* m_asClass;
    XMLEventReader& m_parser;
    const SoapEnvelopeReader& m_envelope;
    bool m_picked = false;
    std::unique_ptr<::Kavella::Soa::Common::Xml::XMLEventHandler> m_reader;
};

// Throws DomException, located at the element concerned when it can be.
void readMessage(Message& message, Source source, const SchemaClass* asClass, bool keepTree,
                 const wi::XMLReadLimits& limits)
{
    XMLEventReader parser(limits);
    SoapEnvelopeReader envelope(parser);
    MessagePicker picker(message, asClass, parser, envelope);
    envelope.setMessageHandler(&picker);
    source.read([&](auto& text) {
        parser.read(text, envelope);
        return 0;
    });
    const auto& head = envelope.head();
    message.head = {head.version, head.name, head.uri, head.at};
    message.rootName = head.name;
    envelope.raise();
    if (!message.object) {
        const XMLPosition at = head.at;
        if (!findSchemaClass(head.name)) {
            throw DomException("Root element <" + head.name + "> names no class of the schema (use --as CLASS)",
                               at.line, at.column);
        }
        throw DomException("Root element <" + head.name + "> is not in the namespace " + wi::NamespaceUri, at.line,
                           at.column);
    }
    if (keepTree) {
        message.document = std::make_shared<const XMLDocument>(message.text, limits);
        message.node = &messageNode(message.document->root());
    }
}

// A message under its class's own element is written by the library, in an
// envelope or not; a part read with --as keeps its own element's name, which
// no envelope's message has.
std::string writeMessage(const SchemaClass& schemaClass, const BaseObject& object, const std::string& rootName,
                         int indent, wi::Envelope envelope = wi::Envelope::None)
{
    if (rootName == schemaClass.name) return schemaClass.writeFormatted(object, wi::WriteFormat{envelope, indent}) + "\n";
    if (envelope != wi::Envelope::None) {
        throw DomException("<" + rootName + "> read as " + schemaClass.name +
                           " is no message: it cannot be written in an envelope (use --envelope none)");
    }
    XmlStream stream;
    stream.setIndent(indent);
    // The root is in the schema namespace too, under the prefix the stream declares for it.
    const std::string prefix = stream.getNamespacePrefix(wi::NamespaceUri);
    schemaClass.write(object, stream, prefix + ":" + rootName);
    return stream.str() + "\n";
}

void reportError(const std::string& file, int line, int column, std::string message)
{
    std::cerr << displayName(file);
    if (line > 0) {
        std::cerr << ':' << line << ':' << column;
        // The reader names the place in its message too; once is enough.
        const std::string place = " at line " + std::to_string(line) + ", column " + std::to_string(column);
        const auto found = message.find(place);
        if (found != std::string::npos) message.erase(found, place.size());
    }
    std::cerr << ": error: " << message << limitHint(message) << '\n';
}

// False after reporting why.
void reportWarning(const std::string& file, const MissingMember& member)
{
    std::cerr << displayName(file) << ':' << member.line << ':' << member.column << ": warning: <" << member.owner
              << "> lacks the required " << (member.attribute ? "attribute " : "element ") << member.member
              << "; read as empty\n";
}

// The schema's members, read once; null without the schema, and then nothing is found missing.
const SchemaMembers* schemaMembers()
{
    static const std::unique_ptr<const SchemaMembers> members = []() -> std::unique_ptr<const SchemaMembers> {
        const std::string directory = findSchemaDirectory();
        if (directory.empty()) return nullptr;
        try {
            return std::make_unique<const SchemaMembers>(directory);
        } catch (const std::exception& error) {
            std::cerr << "wixml: " << error.what() << "; missing members go unreported\n";
            return nullptr;
        }
    }();
    return members.get();
}

enum class Reading {
    Kept,     // the text kept, for --strict
    Searched, // a piece at a time, then again for what the message lacks
};

// False after reporting why.
bool loadMessage(const std::string& file, const SchemaClass* asClass, const wi::XMLReadLimits& limits, Message& message,
                 Reading reading)
{
    const bool keepTree = reading == Reading::Kept;
    std::string reason;
    MessageInput input;
    if (keepTree ? !readInput(file, message.text, reason) : !input.open(file, reason)) {
        reportError(file, 0, 0, reason);
        return false;
    }
    try {
        readMessage(message, keepTree ? Source{&message.text, nullptr} : Source{nullptr, &input}, asClass, keepTree,
                    limits);
        if (reading == Reading::Searched && schemaMembers()) {
            input.replay();
            message.missing =
                findMissingMembers(input.stream(), *schemaMembers(), asClass ? asClass->name : "", message.head, limits);
        }
        return true;
    } catch (const DomException& error) {
        reportError(file, error.line(), error.column(), error.getMessage());
    } catch (const std::bad_alloc&) {
        reportError(file, 0, 0, "out of memory");
    } catch (const std::exception& error) {
        reportError(file, 0, 0, error.what());
    }
    return false;
}

// The reader's leniency, said: each required member it took as empty.
void warnOfMissing(const std::string& file, const Message& message)
{
    for (const MissingMember& member : message.missing) {
        if (member.required) reportWarning(file, member);
    }
}

} // namespace

int checkFiles(const std::vector<std::string>& files, const SchemaClass* asClass, bool strict,
               const wi::XMLReadLimits& limits)
{
    std::unique_ptr<SchemaValidator> validator;
    if (strict) {
        const std::string directory = findSchemaDirectory();
        if (directory.empty()) {
            std::cerr << "wixml: cannot find the XML Schema (WorkInstructions.xsd) next to the tool or in the source tree\n";
            return 2;
        }
        try {
            validator = std::make_unique<SchemaValidator>(directory);
        } catch (const std::exception& error) {
            std::cerr << "wixml: " << error.what() << '\n';
            return 2;
        }
    }
    int status = 0;
    for (const std::string& file : files) {
        Message message;
        if (!loadMessage(file, asClass, limits, message, validator ? Reading::Kept : Reading::Searched)) {
            status = 1;
            continue;
        }
        warnOfMissing(file, message);
        if (validator) {
            const std::vector<Violation> violations =
                validator->validate(message.text, message.document->root(), *message.node);
            for (const Violation& violation : violations) {
                reportError(file, violation.line, violation.column, violation.message);
            }
            if (!violations.empty()) {
                status = 1;
                continue;
            }
        }
        // "N objects" even for one: scripts read these lines.
        std::cout << displayName(file) << ": ok: " << message.schemaClass->name << ", "
                  << objectCount(*message.object, message.schemaClass->view) << " objects";
        if (message.head.envelope != wi::Envelope::None) {
            std::cout << ", in a SOAP " << (message.head.envelope == wi::Envelope::Soap11 ? "1.1" : "1.2") << " envelope";
        }
        std::cout << std::endl;
    }
    return status;
}

int formatFile(const std::string& file, const SchemaClass* asClass, int indent, EnvelopeChoice envelope,
               const wi::XMLReadLimits& limits)
{
    Message message;
    if (!loadMessage(file, asClass, limits, message, Reading::Searched)) return 1;
    warnOfMissing(file, message);
    const wi::Envelope written = envelope.value_or(message.head.envelope);
    try {
        std::cout << writeMessage(*message.schemaClass, *message.object, message.rootName, indent, written);
    } catch (const DomException& error) {
        // What the reader accepted but the writer refuses (a tree past its depth
        // limit, a part in an envelope).
        reportError(file, 0, 0, error.getMessage());
        return 1;
    }
    return 0;
}

int diffFiles(const std::string& before, const std::string& after, const SchemaClass* asClass, Comparison comparison,
              const wi::XMLReadLimits& limits)
{
    Message messages[2];
    for (std::size_t side = 0; side < 2; ++side) {
        if (!loadMessage(side == 0 ? before : after, asClass, limits, messages[side], Reading::Searched)) return 2;
    }
    std::vector<std::string> differences;
    // Of two classes, or two elements, the messages differ as a whole; nothing below them is compared.
    if (messages[0].schemaClass != messages[1].schemaClass || messages[0].rootName != messages[1].rootName) {
        differences.push_back("(message): " + messages[0].rootName + " -> " + messages[1].rootName);
    } else {
        try {
            differences = objectDifferences(*messages[0].object, *messages[1].object, messages[0].schemaClass->view,
                                            comparison, messages[0].missing, messages[1].missing);
        } catch (const DomException& error) {
            // Of neither file: both read, so this is the tool's own trouble.
            std::cerr << "wixml: diff: " << error.getMessage() << '\n';
            return 2;
        }
    }
    for (const std::string& difference : differences) std::cout << difference << '\n';
    return differences.empty() ? 0 : 1;
}

int printSample(const Sample& sample, int indent)
{
    const SchemaClass* schemaClass = findSchemaClass(sample.className);
    const AutoPtr<BaseObject> message = sample.build();
    std::cout << writeMessage(*schemaClass, *message, sample.className, indent);
    return 0;
}

} // namespace wixml
