#include "ServeReplies.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "ClassRegistry.hpp"
#include "kvsoa/XMLDocument.hpp"
#include "kvsoa/XMLEventReader.hpp"

namespace wixml {

namespace fs = std::filesystem;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::messageNode;
using ::Kavella::Soa::Common::Xml::soapNamespaceUri;
using ::Kavella::Soa::Common::Xml::checkSoapHeaderBlock;
using ::Kavella::Soa::Common::Xml::SoapFault;
using ::Kavella::Soa::Common::Xml::soapFaultHttpStatus;
using ::Kavella::Soa::Common::Xml::soapHeaderBlockIsMandatory;
using ::Kavella::Soa::Common::Xml::soapVersionOf;
using ::Kavella::Soa::Common::Xml::SoapEnvelopeError;
using ::Kavella::Soa::Common::Xml::throwSoapEnvelopeError;
using ::Kavella::Soa::Common::Xml::writeSoapFault;
using ::Kavella::Soa::Common::Xml::XMLDocument;
using ::Kavella::Soa::Common::Xml::XMLEventHandler;
using ::Kavella::Soa::Common::Xml::XMLEventReader;
using ::Kavella::Soa::Common::Xml::XMLStartTag;

namespace {

constexpr OperationInfo operations[operationCount] = {
    {"load", "LoadWorkInstructionDocInput", "LoadedObjectsResponse",
     "http://velmora.com/Schemas/MES/2010-09/WorkInstructions/load"},
    {"save", "SaveWorkInstructionDocInput", "SavedObjectsResponse",
     "http://velmora.com/Schemas/MES/2010-09/WorkInstructions/save"},
};

// Judges no more than it must: the first few mandatory header blocks make the fault.
constexpr std::size_t notUnderstoodNamed = 20;

struct HeadReader : XMLEventHandler {
    HeadReader(XMLEventReader& source, bool toEnd) : reader(source), whole(toEnd) {}

    void startElement(const XMLStartTag& tag) override
    {
        ++depth;
        if (depth == 1 && tag.name == "Envelope" && soapVersionOf(tag.uri) == SoapVersion::None) {
            unknownEnvelope(tag);
            return;
        }
        const bool envelope = depth == 1 && tag.name == "Envelope";
        if (envelope) head.envelope = soapVersionOf(tag.uri);
        const std::string_view envelopeUri = soapNamespaceUri(head.envelope);
        if (depth == 2) {
            inHeader = tag.name == "Header" && tag.uri == envelopeUri && envelopeChildren == 0;
            inBody = tag.name == "Body" && tag.uri == envelopeUri;
            ++envelopeChildren;
        }
        if (depth == 3 && inHeader) headerBlock(tag, envelopeUri);
        const bool message = depth == 1 ? !envelope : depth == 3 && inBody;
        if (!message || !head.name.empty()) return;
        head.name.assign(tag.name);
        head.uri.assign(tag.uri);
        if (!whole) reader.stop();
    }
    void endElement() override { --depth; }
    void characters(std::string_view) override {}

    void unknownEnvelope(const XMLStartTag& tag)
    {
        head.unknownEnvelope = true;
        try {
            const auto at = reader.elementPosition();
            throwSoapEnvelopeError(SoapEnvelopeError::UnknownNamespace, at.line, at.column, tag.uri);
        } catch (const DomException& error) {
            head.unknownEnvelopeReason = error.getMessage();
        }
        if (!whole) reader.stop();
    }

    void headerBlock(const XMLStartTag& tag, std::string_view envelopeUri)
    {
        if (head.notUnderstood.size() >= notUnderstoodNamed) return;
        const auto at = reader.elementPosition();
        // A mustUnderstand that is no boolean raises here: the request is malformed.
        if (!soapHeaderBlockIsMandatory(envelopeUri, tag.uri, tag.name, tag.attributes, at.line, at.column)) return;
        if (head.notUnderstood.empty()) {
            try {
                checkSoapHeaderBlock(envelopeUri, tag.uri, tag.name, tag.attributes, at.line, at.column);
            } catch (const DomException& error) {
                head.notUnderstoodReason = error.getMessage();
            }
        }
        head.notUnderstood.push_back("{" + std::string(tag.uri) + "}" + std::string(tag.name));
    }

    XMLEventReader& reader;
    bool whole;
    MessageHead head;
    int depth = 0;
    int envelopeChildren = 0;
    bool inHeader = false;
    bool inBody = false;
};

// Reply files are the operator's, but a link may still point at a device or
// a FIFO: only a regular file of bounded size is read, and opening never waits.
std::string readReplyFile(const fs::path& file)
{
    const std::string name = file.string();
    const int descriptor = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        const int error = errno;
        std::error_code ignored;
        if (error == ENOENT && fs::is_symlink(file, ignored)) {
            throw std::runtime_error(name + ": a link to " + fs::read_symlink(file, ignored).string() +
                                     ", which does not exist");
        }
        throw std::runtime_error(name + ": cannot read the file: " + std::strerror(error));
    }
    struct Closer {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer{descriptor};
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        throw std::runtime_error(name + ": cannot read the file: " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) throw std::runtime_error(name + ": is a directory, not a file");
    if (!S_ISREG(status.st_mode)) {
        throw std::runtime_error(name + ": is not a regular file (a device, FIFO or socket); replies are read from "
                                        "regular files only");
    }
    const auto tooLarge = [&name] {
        return std::runtime_error(name + ": is larger than " + std::to_string(maxReplyFileBytes >> 20) +
                                  " MiB, the most a reply file may hold");
    };
    if (static_cast<std::uintmax_t>(status.st_size) > maxReplyFileBytes) throw tooLarge();
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::runtime_error(name + ": cannot read the file: " + std::strerror(errno));
        if (got == 0) break;
        if (text.size() + static_cast<std::size_t>(got) > maxReplyFileBytes) throw tooLarge(); // grew meanwhile
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

std::string placeText(const std::string& file, const DomException& error)
{
    std::string text = file;
    if (error.line() > 0) text += ":" + std::to_string(error.line()) + ":" + std::to_string(error.column());
    return text + ": " + error.getMessage();
}

// The file's own fault, answered in whichever version a request comes in.
PreparedAnswer prepareFault(const fs::path& file)
{
    const std::string text = readReplyFile(file);
    try {
        const XMLDocument document(text);
        messageNode(document.root());
    } catch (const SoapFault& fault) {
        PreparedAnswer answer;
        for (const SoapVersion version : {SoapVersion::None, SoapVersion::Soap11, SoapVersion::Soap12}) {
            answer.text[static_cast<int>(version)] = writeSoapFault(fault, version);
            answer.status[static_cast<int>(version)] = soapFaultHttpStatus(fault.faultCode(), version);
        }
        return answer;
    } catch (const DomException& error) {
        throw std::runtime_error(placeText(file.string(), error));
    }
    throw std::runtime_error(file.string() + ": holds no SOAP Fault");
}

PreparedAnswer prepareReply(const fs::path& file, const OperationInfo& operation)
{
    const std::string text = readReplyFile(file);
    const SchemaClass& schemaClass = *findSchemaClass(operation.replyClass);
    try {
        // Read whole, so that a malformed file is called that, whatever it begins with.
        const MessageHead head = peekMessage(text, {}, true);
        if (head.name != operation.replyClass) {
            throw std::runtime_error(file.string() + ": holds " + head.name + ", not the " + operation.name +
                                     " reply " + operation.replyClass);
        }
        const AutoPtr<BaseObject> reply = schemaClass.read(text, {});
        PreparedAnswer answer;
        answer.text[static_cast<int>(SoapVersion::None)] = schemaClass.writeDocument(*reply, wi::Envelope::None);
        answer.text[static_cast<int>(SoapVersion::Soap11)] = schemaClass.writeDocument(*reply, wi::Envelope::Soap11);
        answer.text[static_cast<int>(SoapVersion::Soap12)] = schemaClass.writeDocument(*reply, wi::Envelope::Soap12);
        return answer;
    } catch (const DomException& error) {
        throw std::runtime_error(placeText(file.string(), error));
    }
}

std::string whatRepliesHold(const std::string& bundled)
{
    std::string text = "a replies directory holds load-reply.xml or load-fault.xml, and save-reply.xml or "
                       "save-fault.xml: each operation's reply (bare or in a SOAP envelope), or a SOAP Fault "
                       "answered instead";
    if (!bundled.empty()) text += "; the bundled replies in " + bundled + " may be copied to start from";
    return text;
}

// Present, even as a link to nowhere: a fault file that cannot be read must
// not quietly give way to the reply.
bool present(const fs::path& file)
{
    std::error_code error;
    return fs::symlink_status(file, error).type() != fs::file_type::not_found && !error;
}

bool holdsReplies(const fs::path& directory)
{
    std::error_code ignored;
    return fs::is_regular_file(directory / "load-reply.xml", ignored) &&
           fs::is_regular_file(directory / "save-reply.xml", ignored);
}

} // namespace

const OperationInfo& operationInfo(Operation operation)
{
    return operations[static_cast<int>(operation)];
}

MessageHead peekMessage(std::string_view text, const wi::XMLReadLimits& limits, bool whole)
{
    XMLEventReader reader(limits);
    HeadReader head(reader, whole);
    reader.read(text, head);
    return head.head;
}

const char* contentTypeOf(SoapVersion version)
{
    return version == SoapVersion::Soap12 ? "application/soap+xml; charset=utf-8" : "text/xml; charset=utf-8";
}

std::vector<PreparedAnswer> prepareAnswers(const std::string& directory, const std::string& bundled)
{
    std::error_code error;
    if (!fs::is_directory(directory, error)) {
        throw std::runtime_error(directory + ": no such directory; " + whatRepliesHold(bundled));
    }
    std::vector<PreparedAnswer> answers;
    for (const OperationInfo& operation : operations) {
        const fs::path fault = fs::path(directory) / (std::string(operation.name) + "-fault.xml");
        const fs::path reply = fs::path(directory) / (std::string(operation.name) + "-reply.xml");
        if (present(fault)) {
            answers.push_back(prepareFault(fault));
        } else if (present(reply)) {
            answers.push_back(prepareReply(reply, operation));
        } else {
            throw std::runtime_error(directory + " holds neither " + reply.filename().string() + " nor " +
                                     fault.filename().string() + "; " + whatRepliesHold(bundled));
        }
    }
    return answers;
}

std::string findBundledReplies()
{
    std::vector<fs::path> candidates;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) candidates.push_back(self.parent_path() / WIXML_SCHEMA_FROM_BINDIR / ".." / "replies");
    candidates.push_back(fs::path(WIXML_SOURCE_SCHEMA_DIR) / ".." / "examples");
    for (const fs::path& candidate : candidates) {
        if (holdsReplies(candidate)) return fs::weakly_canonical(candidate, error).string();
    }
    return {};
}

} // namespace wixml
