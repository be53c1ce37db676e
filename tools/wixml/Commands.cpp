#include "Commands.hpp"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <algorithm>
#include <iterator>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>

#include "LimitOptions.hpp"
#include "MessageInput.hpp"
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

// A member the message lacked, as the reader told it.
struct MissingMember {
    std::string path; // the member's, as differences() takes it
    std::string owner; // the element lacking it
    std::string member;
    bool attribute;
    bool required;
    XMLPosition at; // of the owner's start tag
};

struct Message {
    wi::ClassView schemaClass;
    std::string rootName; // of the message element, inside an envelope or not
    AutoPtr<BaseObject> object;
    wi::MessageHead head; // the message element and the envelope around it
    // Kept for --strict only, which reads the text again and reports at our positions.
    std::string text;
    std::shared_ptr<const XMLDocument> document;
    const XMLNode* node = nullptr;
    std::vector<MissingMember> missing; // in the order of the text
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

// Tells what a message lacks into missing, when it is given.
wi::AbsentMemberHandler collectInto(std::vector<MissingMember>* missing)
{
    if (!missing) return {};
    return [missing](const wi::AbsentMember& absent) {
        const std::string name(absent.member.name());
        missing->push_back({absent.path.empty() ? name : absent.path + "." + name, std::string(absent.element), name,
                            !absent.member.isElement(), absent.member.required(), absent.at});
    };
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
    MessagePicker(Message& message, wi::ClassView asClass, XMLEventReader& parser, const SoapEnvelopeReader& envelope,
                  const wi::AbsentMemberHandler* absent)
        : m_message(message), m_asClass(asClass), m_parser(parser), m_envelope(envelope), m_absent(absent)
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
        wi::ClassView chosen = m_asClass;
        if (!chosen && tag.uri == wi::NamespaceUri) chosen = wi::findClass(tag.name);
        if (!chosen) {
            m_parser.stop();
            return;
        }
        m_message.schemaClass = chosen;
        m_message.object = chosen.make();
        m_element.assign(chosen.name());
        m_reader = chosen.messageReader(*m_message.object, m_parser, m_envelope,
                                        chosen.isMessage() ? m_element.c_str() : nullptr, m_absent);
    }

    Message& m_message;
    wi::ClassView m_asClass;
    XMLEventReader& m_parser;
    const SoapEnvelopeReader& m_envelope;
    const wi::AbsentMemberHandler* m_absent;
    bool m_picked = false;
    std::string m_element;
    std::unique_ptr<::Kavella::Soa::Common::Xml::XMLEventHandler> m_reader;
};

// Throws DomException, located at the element concerned when it can be.
void readMessage(Message& message, Source source, wi::ClassView asClass, bool keepTree, bool findMissing,
                 const wi::XMLReadLimits& limits)
{
    XMLEventReader parser(limits);
    SoapEnvelopeReader envelope(parser);
    const wi::AbsentMemberHandler absent = collectInto(findMissing ? &message.missing : nullptr);
    MessagePicker picker(message, asClass, parser, envelope, absent ? &absent : nullptr);
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
        if (!wi::findClass(head.name)) {
            throw DomException("Root element <" + head.name + "> names no class of the schema (use --as CLASS)",
                               at.line, at.column);
        }
        throw DomException("Root element <" + head.name + "> is not in the namespace " + wi::NamespaceUri, at.line,
                           at.column);
    }
    // An element's own lacks are told at its end, after those inside it: in the order of the text instead.
    std::stable_sort(message.missing.begin(), message.missing.end(), [](const MissingMember& a, const MissingMember& b) {
        return a.at.line != b.at.line ? a.at.line < b.at.line : a.at.column < b.at.column;
    });
    if (keepTree) {
        message.document = std::make_shared<const XMLDocument>(message.text, limits);
        message.node = &messageNode(message.document->root());
    }
}

// A message under its class's own element is written by the library, in an
// envelope or not; a part read with --as keeps its own element's name, which
// no envelope's message has.
std::string writeMessage(wi::ClassView schemaClass, const BaseObject& object, const std::string& rootName,
                         int indent, wi::Envelope envelope = wi::Envelope::None)
{
    if (rootName == schemaClass.name()) return schemaClass.write(object, wi::WriteFormat{envelope, indent}) + "\n";
    if (envelope != wi::Envelope::None) {
        throw DomException("<" + rootName + "> read as " + std::string(schemaClass.name()) +
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
    std::cerr << displayName(file) << ':' << member.at.line << ':' << member.at.column << ": warning: <" << member.owner
              << "> lacks the required " << (member.attribute ? "attribute " : "element ") << member.member
              << "; read as empty\n";
}

enum class Reading {
    Kept,     // the text kept, for --strict
    Searched, // a piece at a time, what the message lacks told as it is read
};

// False after reporting why.
bool loadMessage(const std::string& file, wi::ClassView asClass, const wi::XMLReadLimits& limits, Message& message,
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
                    reading == Reading::Searched, limits);
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

int checkFiles(const std::vector<std::string>& files, wi::ClassView asClass, bool strict,
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
        std::cout << displayName(file) << ": ok: " << message.schemaClass.name() << ", "
                  << objectCount(*message.object, message.schemaClass) << " objects";
        if (message.head.envelope != wi::Envelope::None) {
            std::cout << ", in a SOAP " << (message.head.envelope == wi::Envelope::Soap11 ? "1.1" : "1.2") << " envelope";
        }
        std::cout << std::endl;
    }
    return status;
}

int formatFile(const std::string& file, wi::ClassView asClass, int indent, EnvelopeChoice envelope,
               const wi::XMLReadLimits& limits)
{
    Message message;
    if (!loadMessage(file, asClass, limits, message, Reading::Searched)) return 1;
    warnOfMissing(file, message);
    const wi::Envelope written = envelope.value_or(message.head.envelope);
    try {
        std::cout << writeMessage(message.schemaClass, *message.object, message.rootName, indent, written);
    } catch (const DomException& error) {
        // What the reader accepted but the writer refuses (a tree past its depth
        // limit, a part in an envelope).
        reportError(file, 0, 0, error.getMessage());
        return 1;
    }
    return 0;
}

int diffFiles(const std::string& before, const std::string& after, wi::ClassView asClass, wi::Comparison comparison,
              const wi::XMLReadLimits& limits)
{
    Message messages[2];
    for (std::size_t side = 0; side < 2; ++side) {
        if (!loadMessage(side == 0 ? before : after, asClass, limits, messages[side], Reading::Searched)) return 2;
    }
    std::vector<wi::Difference> differences;
    // Of two classes, or two elements, the messages differ as a whole; nothing below them is compared.
    if (messages[0].schemaClass != messages[1].schemaClass || messages[0].rootName != messages[1].rootName) {
        differences.push_back({"", messages[0].rootName, messages[1].rootName});
    } else {
        wi::CompareOptions options;
        options.comparison = comparison;
        for (const MissingMember& member : messages[0].missing) options.absentBefore.insert(member.path);
        for (const MissingMember& member : messages[1].missing) options.absentAfter.insert(member.path);
        try {
            differences = wi::differences(*messages[0].object, *messages[1].object, messages[0].schemaClass, options);
        } catch (const DomException& error) {
            // Of neither file: both read, so this is the tool's own trouble.
            std::cerr << "wixml: diff: " << error.getMessage() << '\n';
            return 2;
        }
    }
    for (const wi::Difference& difference : differences) std::cout << difference << '\n';
    return differences.empty() ? 0 : 1;
}

int printSample(const Sample& sample, int indent)
{
    const AutoPtr<BaseObject> message = sample.build();
    std::cout << writeMessage(wi::findClass(sample.className), *message, sample.className, indent);
    return 0;
}

} // namespace wixml
