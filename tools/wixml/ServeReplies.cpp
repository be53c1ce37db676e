#include "ServeReplies.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "ClassRegistry.hpp"
#include "kvsoa/XMLDocument.hpp"
#include "kvsoa/XMLEventReader.hpp"

namespace wixml {

namespace fs = std::filesystem;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::messageNode;
using ::Kavella::Soa::Common::Xml::soapNamespaceUri;
using ::Kavella::Soa::Common::Xml::SoapFault;
using ::Kavella::Soa::Common::Xml::soapVersionOf;
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

// Attribute values and text alike: quotes are escaped too, so one function serves both.
std::string escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\r': out += "&#xD;"; break;
        default: out += c;
        }
    }
    return out;
}

struct HeadReader : XMLEventHandler {
    HeadReader(XMLEventReader& source, bool toEnd) : reader(source), whole(toEnd) {}

    void startElement(const XMLStartTag& tag) override
    {
        ++depth;
        const bool envelope = depth == 1 && tag.name == "Envelope" && soapVersionOf(tag.uri) != SoapVersion::None;
        if (envelope) head.envelope = soapVersionOf(tag.uri);
        if (depth == 2) inBody = tag.name == "Body" && tag.uri == soapNamespaceUri(head.envelope);
        const bool message = depth == 1 ? !envelope : depth == 3 && inBody;
        if (!message || !head.name.empty()) return;
        head.name.assign(tag.name);
        head.uri.assign(tag.uri);
        if (!whole) reader.stop();
    }
    void endElement() override { --depth; }
    void characters(std::string_view) override {}

    XMLEventReader& reader;
    bool whole;
    MessageHead head;
    int depth = 0;
    bool inBody = false;
};

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in || in.bad()) throw std::runtime_error(file.string() + ": cannot read the file");
    return content.str();
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
    const std::string text = readFile(file);
    try {
        const XMLDocument document(text);
        messageNode(document.root());
    } catch (const SoapFault& fault) {
        const std::string code = fault.code().substr(0, fault.code().find('/'));
        const std::string local = code.substr(code.find(':') + 1);
        const FaultSide side = local == "Client" || local == "Sender" ? FaultSide::Client : FaultSide::Server;
        PreparedAnswer answer;
        answer.fault = true;
        for (const SoapVersion version : {SoapVersion::None, SoapVersion::Soap11, SoapVersion::Soap12}) {
            answer.text[static_cast<int>(version)] = writeFault(version, side, fault.reason(), {}, fault.detail());
        }
        return answer;
    } catch (const DomException& error) {
        throw std::runtime_error(placeText(file.string(), error));
    }
    throw std::runtime_error(file.string() + ": holds no SOAP Fault");
}

PreparedAnswer prepareReply(const fs::path& file, const OperationInfo& operation)
{
    const std::string text = readFile(file);
    const SchemaClass& schemaClass = *findSchemaClass(operation.replyClass);
    try {
        const MessageHead head = peekMessage(text, {});
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

std::string writeFault(SoapVersion version, FaultSide side, const std::string& reason,
                       const std::vector<FaultPlace>& places, const std::string& detail)
{
    std::string entries;
    for (const FaultPlace& place : places) {
        entries += "<wixml:error xmlns:wixml=\"urn:wixml:serve\" line=\"" + std::to_string(place.line) +
                   "\" column=\"" + std::to_string(place.column) + "\">" + escaped(place.message) + "</wixml:error>";
    }
    if (!detail.empty()) entries += escaped(detail);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    if (version == SoapVersion::Soap12) {
        out += std::string("<env:Envelope xmlns:env=\"") + soapNamespaceUri(version) +
               "\"><env:Body><env:Fault><env:Code><env:Value>env:" +
               (side == FaultSide::Client ? "Sender" : "Receiver") +
               "</env:Value></env:Code><env:Reason><env:Text xml:lang=\"en\">" + escaped(reason) + "</env:Text></env:Reason>";
        if (!entries.empty()) out += "<env:Detail>" + entries + "</env:Detail>";
        return out + "</env:Fault></env:Body></env:Envelope>\n";
    }
    out += std::string("<soapenv:Envelope xmlns:soapenv=\"") + soapNamespaceUri(SoapVersion::Soap11) +
           "\"><soapenv:Body><soapenv:Fault><faultcode>soapenv:" + (side == FaultSide::Client ? "Client" : "Server") +
           "</faultcode><faultstring>" + escaped(reason) + "</faultstring>";
    if (!entries.empty()) out += "<detail>" + entries + "</detail>";
    return out + "</soapenv:Fault></soapenv:Body></soapenv:Envelope>\n";
}

const char* contentTypeOf(SoapVersion version)
{
    return version == SoapVersion::Soap12 ? "application/soap+xml; charset=utf-8" : "text/xml; charset=utf-8";
}

std::vector<PreparedAnswer> prepareAnswers(const std::string& directory)
{
    std::vector<PreparedAnswer> answers;
    for (const OperationInfo& operation : operations) {
        const fs::path fault = fs::path(directory) / (std::string(operation.name) + "-fault.xml");
        std::error_code ignored;
        if (fs::exists(fault, ignored)) {
            answers.push_back(prepareFault(fault));
        } else {
            answers.push_back(prepareReply(fs::path(directory) / (std::string(operation.name) + "-reply.xml"), operation));
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
