#include "SchemaCheck.hpp"

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

namespace wixml {

namespace fs = std::filesystem;
using ::Kavella::Soa::Common::Xml::XMLNode;

namespace {

bool holdsSchema(const fs::path& directory)
{
    std::error_code ignored;
    return fs::is_regular_file(directory / "WorkInstructions.xsd", ignored) &&
           fs::is_regular_file(directory / "Base.xsd", ignored);
}

struct Collected {
    std::vector<Violation>* violations = nullptr;
    std::size_t keep = 0;
    std::size_t count = 0;
    const std::unordered_map<const void*, const XMLNode*>* positions = nullptr;
    std::string schemaProblem;
};

std::string trimmedMessage(const char* message)
{
    std::string text = message ? message : "schema violation";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    // Messages quote names from the request, which may be long: cut on a character boundary.
    if (text.size() > SchemaValidator::maxMessageBytes) {
        std::size_t cut = SchemaValidator::maxMessageBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
        text += "...";
    }
    return text;
}

void collectViolation(void* context, xmlErrorPtr error)
{
    auto& collected = *static_cast<Collected*>(context);
    if (!collected.violations) {
        if (collected.schemaProblem.empty()) collected.schemaProblem = trimmedMessage(error->message);
        return;
    }
    if (collected.count++ >= collected.keep) return;
    Violation violation{error->line, error->int2, trimmedMessage(error->message)};
    // libxml2 knows lines only, and those cut at 65535: our reader's positions are exact.
    if (collected.positions && error->node) {
        const auto found = collected.positions->find(error->node);
        if (found != collected.positions->end()) {
            violation.line = found->second->line;
            violation.column = found->second->column;
        }
    }
    collected.violations->push_back(std::move(violation));
}

void ignoreError(void*, xmlErrorPtr) {}

// Without a byte order mark libxml2 reads UTF-16 only when the declaration
// names it; our reader tells it from a zero in the first two bytes, as expat
// does. Naming the encoding makes libxml2 read every text that ours reads.
const char* unmarkedUtf16(std::string_view text)
{
    if (text.size() < 2) return nullptr;
    const auto first = static_cast<unsigned char>(text[0]);
    const auto second = static_cast<unsigned char>(text[1]);
    if ((first == 0xFE && second == 0xFF) || (first == 0xFF && second == 0xFE)) return nullptr;
    if (first == 0) return "UTF-16BE";
    if (second == 0) return "UTF-16LE";
    return nullptr;
}

xmlNodePtr firstElement(xmlNodePtr node)
{
    while (node && node->type != XML_ELEMENT_NODE) node = node->next;
    return node;
}

// Both readers saw the same text, so their element trees match one to one.
void mapPositions(xmlNodePtr theirs, const XMLNode& ours, const XMLNode& message, xmlNodePtr& theirMessage,
                  std::unordered_map<const void*, const XMLNode*>& positions)
{
    positions[theirs] = &ours;
    if (&ours == &message) theirMessage = theirs;
    xmlNodePtr child = firstElement(theirs->children);
    for (const XMLNode* ourChild : ours.children) {
        if (!child) return;
        mapPositions(child, *ourChild, message, theirMessage, positions);
        child = firstElement(child->next);
    }
}

} // namespace

struct SchemaValidator::State {
    xmlSchemaPtr schema = nullptr;
    ~State()
    {
        if (schema) xmlSchemaFree(schema);
    }
};

std::string findSchemaDirectory()
{
    std::vector<fs::path> candidates;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) candidates.push_back(self.parent_path() / WIXML_SCHEMA_FROM_BINDIR);
    candidates.emplace_back(WIXML_SOURCE_SCHEMA_DIR);
    for (const fs::path& candidate : candidates) {
        if (holdsSchema(candidate)) return fs::weakly_canonical(candidate, error).string();
    }
    return {};
}

SchemaValidator::SchemaValidator(const std::string& directory) : m_state(std::make_unique<State>())
{
    // Errors come through the structured handlers only; nothing goes to stderr by itself.
    xmlSetStructuredErrorFunc(nullptr, ignoreError);
    const std::string path = (fs::path(directory) / "WorkInstructions.xsd").string();
    Collected collected;
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(path.c_str());
    if (!parser) throw std::runtime_error("cannot read the schema " + path);
    xmlSchemaSetParserStructuredErrors(parser, collectViolation, &collected);
    m_state->schema = xmlSchemaParse(parser);
    xmlSchemaFreeParserCtxt(parser);
    if (!m_state->schema) {
        throw std::runtime_error("cannot read the schema " + path +
                                 (collected.schemaProblem.empty() ? "" : ": " + collected.schemaProblem));
    }
}

SchemaValidator::~SchemaValidator() = default;

std::vector<Violation> SchemaValidator::validate(std::string_view text, const XMLNode& root,
                                                 const XMLNode& message) const
{
    return validate(text, root, message, static_cast<std::size_t>(-1)).first;
}

SchemaValidator::Verdict SchemaValidator::validate(std::string_view text, const XMLNode& root, const XMLNode& message,
                                                   std::size_t keep) const
{
    Verdict verdict;
    std::vector<Violation>& violations = verdict.first;
    // Our reader has accepted the text already (no DOCTYPE, bounded depth), so
    // libxml2 reads a plain document; it must not reach the network anyway.
    xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, unmarkedUtf16(text),
                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!document || !xmlDocGetRootElement(document)) {
        if (document) xmlFreeDoc(document);
        violations.push_back({message.line, message.column, "libxml2 cannot read the document"});
        verdict.count = 1;
        return verdict;
    }
    std::unordered_map<const void*, const XMLNode*> positions;
    xmlNodePtr theirMessage = nullptr;
    mapPositions(xmlDocGetRootElement(document), root, message, theirMessage, positions);

    Collected collected;
    collected.violations = &violations;
    collected.positions = &positions;
    collected.keep = keep;
    xmlSchemaValidCtxtPtr validator = xmlSchemaNewValidCtxt(m_state->schema);
    xmlSchemaSetValidStructuredErrors(validator, collectViolation, &collected);
    const int result = theirMessage ? xmlSchemaValidateOneElement(validator, theirMessage) : -1;
    xmlSchemaFreeValidCtxt(validator);
    xmlFreeDoc(document);
    verdict.count = collected.count;
    if (result != 0 && collected.count == 0) {
        violations.push_back({message.line, message.column, "the schema validator failed without saying why"});
        verdict.count = 1;
    }
    return verdict;
}

} // namespace wixml
