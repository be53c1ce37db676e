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

namespace wixml {

namespace {

using ::Kavella::Soa::Common::MemoryManager;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::messageNode;
using ::Kavella::Soa::Common::Xml::soapNamespaceUri;
using ::Kavella::Soa::Common::Xml::SoapVersion;
using ::Kavella::Soa::Common::Xml::soapVersionOf;
using ::Kavella::Soa::Common::Xml::XMLDocument;
using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLPosition;
using ::Kavella::Soa::Common::Xml::XMLStartTag;

// Every schema object, the runtime's included, is allocated through the
// installed manager: counting its calls counts the objects a parse makes.
class CountingMemoryManager : public MemoryManager {
public:
    std::size_t allocations = 0;

    void* allocate(std::size_t size, const char*) override
    {
        ++allocations;
        return ::operator new(size);
    }
    void deallocate(void* pointer) override { ::operator delete(pointer); }
    void* placementallocate(std::size_t, void* place) override { return place; }
    void placementdeallocate(void*, void*) override {}
};

CountingMemoryManager counter;

struct Message {
    const SchemaClass* schemaClass = nullptr;
    std::string rootName; // of the message element, inside an envelope or not
    AutoPtr<BaseObject> object;
    std::size_t objectCount = 0;
    SoapVersion envelope = SoapVersion::None;
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

AutoPtr<BaseObject> readAs(const SchemaClass& schemaClass, std::string_view text, const wi::XMLReadLimits& limits)
{
    return schemaClass.read(text, limits);
}

AutoPtr<BaseObject> readAs(const SchemaClass& schemaClass, std::istream& text, const wi::XMLReadLimits& limits)
{
    return schemaClass.readStream(text, limits);
}

// The message element's name, namespace and place, and the envelope around
// it: all that choosing a class needs, read from the start of the text only.
struct MessageElement : XMLEventHandler {
    explicit MessageElement(XMLEventReader& source) : reader(source) {}

    void startElement(const XMLStartTag& tag) override
    {
        if (!place.isMessage(++depth, tag)) return;
        name.assign(tag.name);
        uri.assign(tag.uri);
        position = reader.elementPosition();
        reader.stop(); // the rest is read once, by the class's reader
    }
    void endElement() override { --depth; }
    void characters(std::string_view) override {}

    XMLEventReader& reader;
    int depth = 0;
    MessagePlace place;
    std::string name;
    std::string uri;
    XMLPosition position;
};

// Where readMessage reads from: a whole text (kept for --strict), or a file
// read a piece at a time, from its start again for each reader.
struct Source {
    const std::string* text = nullptr;
    MessageInput* input = nullptr;

    template <class Read>
    auto read(Read&& reader, bool again = true)
    {
        std::string_view view;
        if (text) return reader(view = *text);
        if (again) input->replay();
        return reader(input->stream());
    }
};

// Throws DomException, located at the element concerned when it can be.
void readMessage(Message& message, Source source, const SchemaClass* asClass, bool keepTree,
                 const wi::XMLReadLimits& limits)
{
    XMLEventReader reader(limits);
    MessageElement element(reader);
    source.read([&](auto& text) { reader.read(text, element); }, false);
    message.envelope = element.place.envelope();
    message.rootName = element.name;
    message.schemaClass = asClass;
    if (!asClass && !element.name.empty()) {
        message.schemaClass = findSchemaClass(element.name);
        const XMLPosition at = element.position;
        if (element.place.enveloped() && (!message.schemaClass || element.uri != wi::NamespaceUri)) {
            // What is wrong with an envelope (a fault above all) comes before
            // what its message is; read as the first message, all else that the
            // library finds is that this is not the first message.
            const SchemaClass& first = schemaClasses().front();
            try {
                source.read([&](auto& text) { return readAs(first, text, limits); });
            } catch (const DomException& error) {
                const bool notFirst = error.line() == at.line && error.column() == at.column &&
                                      error.getMessage().find(std::string(" is not a ") + first.name + ":") != std::string::npos;
                if (!notFirst) throw;
            }
        }
        if (!message.schemaClass) {
            throw DomException("Root element <" + element.name + "> names no class of the schema (use --as CLASS)",
                               at.line, at.column);
        }
        if (element.uri != wi::NamespaceUri) {
            throw DomException("Root element <" + element.name + "> is not in the namespace " + wi::NamespaceUri,
                               at.line, at.column);
        }
    }
    // Whatever the start said, the whole text is read now, and refused where it is wrong.
    const SchemaClass& schemaClass = message.schemaClass ? *message.schemaClass : schemaClasses().front();
    const std::size_t before = counter.allocations;
    message.object = source.read([&](auto& text) { return readAs(schemaClass, text, limits); });
    message.objectCount = counter.allocations - before;
    if (keepTree) {
        message.document = std::make_shared<const XMLDocument>(message.text, limits);
        message.node = &messageNode(message.document->root());
    }
}

// The envelope goes around the message as written; the message element keeps
// its own namespace declarations, so that it stands alone inside the Body.
std::string wrapInEnvelope(const std::string& message, SoapVersion envelope, int indent)
{
    const std::string prefix = envelope == SoapVersion::Soap11 ? "soapenv" : "env";
    const std::string newline = indent > 0 ? "\n" : "";
    const std::string one(static_cast<std::size_t>(indent), ' ');
    // The writer escapes line breaks inside values, so every one in its output is indentation.
    std::string body = one + one;
    for (const char c : message) {
        body += c;
        if (c == '\n') body += one + one;
    }
    return "<" + prefix + ":Envelope xmlns:" + prefix + "=\"" + soapNamespaceUri(envelope) + "\">" + newline + one +
           "<" + prefix + ":Body>" + newline + body + newline + one + "</" + prefix + ":Body>" + newline + "</" +
           prefix + ":Envelope>";
}

std::string writeMessage(const SchemaClass& schemaClass, const BaseObject& object, const std::string& rootName,
                         int indent, SoapVersion envelope = SoapVersion::None)
{
    if (indent == 0 && rootName == schemaClass.name) {
        const wi::Envelope around = envelope == SoapVersion::Soap11   ? wi::Envelope::Soap11
                                    : envelope == SoapVersion::Soap12 ? wi::Envelope::Soap12
                                                                      : wi::Envelope::None;
        return schemaClass.writeDocument(object, around) + "\n";
    }
    XmlStream stream;
    stream.setIndent(indent);
    if (envelope != SoapVersion::None) stream.setOuterDepth(2); // as a reader counts Envelope and Body
    // The root is in the schema namespace too, under the prefix the stream declares for it.
    const std::string prefix = stream.getNamespacePrefix(wi::NamespaceUri);
    schemaClass.write(object, stream, prefix + ":" + rootName);
    if (envelope == SoapVersion::None) return stream.str() + "\n";
    return wrapInEnvelope(stream.str(), envelope, indent) + "\n";
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
    Streamed, // a piece at a time
    Kept,     // the text kept, for --strict
    Searched, // a piece at a time, then again for what the message lacks
};

// False after reporting why.
bool loadMessage(const std::string& file, const SchemaClass* asClass, const wi::XMLReadLimits& limits, Message& message,
                 Reading reading = Reading::Streamed)
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
            message.missing = findMissingMembers(input.stream(), *schemaMembers(), asClass ? asClass->name : "", limits);
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

void installObjectCounter()
{
    MemoryManager::setMemoryManager(&counter);
}

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
        std::cout << displayName(file) << ": ok: " << message.schemaClass->name << ", " << message.objectCount
                  << " objects";
        if (message.envelope != SoapVersion::None) {
            std::cout << ", in a SOAP " << (message.envelope == SoapVersion::Soap11 ? "1.1" : "1.2") << " envelope";
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
    SoapVersion written = message.envelope;
    if (envelope == EnvelopeChoice::None) written = SoapVersion::None;
    if (envelope == EnvelopeChoice::Soap11) written = SoapVersion::Soap11;
    if (envelope == EnvelopeChoice::Soap12) written = SoapVersion::Soap12;
    try {
        std::cout << writeMessage(*message.schemaClass, *message.object, message.rootName, indent, written);
    } catch (const DomException& error) {
        // What the reader accepted but the writer refuses (a tree past its depth limit).
        reportError(file, 0, 0, error.getMessage());
        return 1;
    }
    return 0;
}

int diffFiles(const std::string& before, const std::string& after, const SchemaClass* asClass, Comparison comparison,
              const wi::XMLReadLimits& limits)
{
    std::vector<std::string> canonical;
    std::vector<MissingMember> missing[2];
    std::string rootClass;
    for (const std::string& file : {before, after}) {
        Message message;
        if (!loadMessage(file, asClass, limits, message, Reading::Searched)) return 2;
        missing[canonical.size()] = std::move(message.missing);
        // Of two classes, the roots' names differ, and nothing below them is compared.
        if (rootClass.empty()) rootClass = message.schemaClass->name;
        try {
            canonical.push_back(writeMessage(*message.schemaClass, *message.object, message.rootName, 0));
        } catch (const DomException& error) {
            reportError(file, 0, 0, error.getMessage());
            return 2;
        }
    }
    // Written by the same writer, the two texts differ only where the objects do.
    const XMLDocument first(canonical[0], limits);
    const XMLDocument second(canonical[1], limits);
    const std::vector<std::string> differences = treeDifferences(first.root(), second.root(), rootClass, comparison, missing[0], missing[1]);
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
