#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "kvsoa/XMLDocument.hpp"
#include "runtime/RuntimeTestSupport.hpp"

using Kavella::Soa::Common::MonitorListener;
using Kavella::Soa::Common::Xml::XMLDocument;
using Kavella::Soa::Common::Xml::XMLReadLimits;
using namespace runtime_test;

namespace {

enum class ByteOrder { Little, Big };

/// UTF-8 to UTF-16 with a byte order mark, surrogate pairs included.
std::string toUtf16(const std::string& utf8, ByteOrder order)
{
    std::string out;
    auto unit = [&](unsigned value) {
        const char high = static_cast<char>(value >> 8), low = static_cast<char>(value & 0xFF);
        if (order == ByteOrder::Little) out += {low, high};
        else out += {high, low};
    };
    unit(0xFEFF);
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        unsigned code = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += static_cast<std::size_t>(length);
        if (code < 0x10000) {
            unit(code);
        } else {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string nested(std::size_t depth)
{
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) text += "<e>\n";
    for (std::size_t i = 0; i < depth; ++i) text += "</e>";
    return text;
}

} // namespace

TEST(XMLDocumentTest, NamesAreLocalAndCarryTheirNamespace)
{
    const XMLDocument document(R"(<p:root xmlns:p="urn:a" xmlns="urn:default" xmlns:other="urn:b" plain="1" other:qualified="2">
  <child a="x"/>
  <other:item/>
  <p:rebound xmlns:p="urn:c"/>
  <none xmlns=""/>
  <p:outer/>
</p:root>)");
    const XMLNode& root = document.root();
    EXPECT_EQ(root.name, "root");
    EXPECT_EQ(root.uri, "urn:a");
    EXPECT_EQ(root.getAttr("plain"), "1");
    EXPECT_EQ(root.getAttr("{urn:b}qualified"), "2");
    EXPECT_FALSE(root.hasAttr("xmlns:p")) << "declarations are not attributes";

    EXPECT_EQ(root.prefix, "p");
    EXPECT_EQ(declarations(root), "p=urn:a =urn:default other=urn:b");

    struct Child {
        const char* name;
        const char* uri;
        const char* prefix;
        const char* declared;
    };
    const std::vector<Child> expected = {{"child", "urn:default", "", ""},
                                         {"item", "urn:b", "other", ""},
                                         {"rebound", "urn:c", "p", "p=urn:c"},
                                         {"none", "", "", "="},
                                         {"outer", "urn:a", "p", ""}};
    ASSERT_EQ(root.children.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(root.children[i]->name, expected[i].name);
        EXPECT_EQ(root.children[i]->uri, expected[i].uri) << expected[i].name;
        EXPECT_EQ(root.children[i]->prefix, expected[i].prefix) << expected[i].name;
        EXPECT_EQ(declarations(*root.children[i]), expected[i].declared) << expected[i].name;
    }
    // The default namespace does not apply to attributes.
    EXPECT_EQ(root.children[0]->getAttr("a"), "x");
}

TEST(XMLDocumentTest, ChildrenAreElementsOnlyAndTextHasReferencesResolved)
{
    const XMLDocument document("<?xml version=\"1.0\"?>\n<!-- before --><r>\n  <!-- comment -->\n  <?pi data?>\n"
                               "  <a>x&lt;&#x41;&#66;<![CDATA[<&]]>&amp;&quot;&apos;&gt;<!-- gone --></a>\n"
                               "  <b/>\n</r>\n<!-- after -->\n");
    const XMLNode& root = document.root();
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[0]->name, "a");
    EXPECT_EQ(root.children[1]->name, "b");
    EXPECT_EQ(root.children[0]->text, "x<AB<&&\"'>");
    EXPECT_EQ(shapeOf(root), shapeOf(XMLDocument("<r><a>x&lt;AB&lt;&amp;&amp;\"'&gt;</a><b/></r>").root()));
}

TEST(XMLDocumentTest, AttributeLookupAndReplacement)
{
    XMLDocument document("<r present=\"v\" empty=\"\" spaced=\"a&#9;b&#10;c\" raw=\"a\tb\nc\"/>");
    XMLNode& root = document.root();
    EXPECT_EQ(root.getAttr("missing"), "");
    EXPECT_FALSE(root.hasAttr("missing"));
    EXPECT_TRUE(root.hasAttr("empty"));
    EXPECT_EQ(root.getAttr("spaced"), "a\tb\nc");
    EXPECT_EQ(root.getAttr("raw"), "a b c") << "literal whitespace in attributes is normalised";
    root.setAttr("present", "w");
    root.setAttr("added", "n");
    EXPECT_EQ(root.getAttr("present"), "w");
    EXPECT_EQ(root.getAttr("added"), "n");
    EXPECT_EQ(root.attributes().size(), 5u);
}

TEST(XMLDocumentTest, NodesRecordWhereTheirStartTagBegins)
{
    const XMLDocument document("<r>\n  <a/>\n\t<b>\n   <c/></b><d/></r>");
    const XMLNode& r = document.root();
    const XMLNode& b = *r.children[1];
    struct Where { const XMLNode* node; int line, column; };
    for (const Where& where : {Where{&r, 1, 1}, Where{r.children[0], 2, 3}, Where{&b, 3, 2},
                               Where{b.children[0], 4, 4}, Where{r.children[2], 4, 12}}) {
        EXPECT_EQ(where.node->line, where.line) << where.node->name;
        EXPECT_EQ(where.node->column, where.column) << where.node->name;
    }
}

TEST(XMLDocumentTest, Utf16WithByteOrderMarkReadsAsUtf8)
{
    const std::string text = "\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E <&>";  // é € U+1D11E
    const std::string utf8 = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r a=\"\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E &lt;&amp;>\">"
                             "\n  <c>\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E &lt;&amp;&gt;</c></r>";
    for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const XMLDocument document(toUtf16(utf8, order));
        EXPECT_EQ(document.root().getAttr("a"), text);
        ASSERT_EQ(document.root().children.size(), 1u);
        EXPECT_EQ(document.root().children[0]->text, text);
        EXPECT_EQ(document.root().children[0]->line, 3);
    }
}

struct MalformedCase {
    const char* label;
    std::string text;
    int line;
    int column;
    bool utf8Only = false; // byte-level faults that UTF-16 cannot express
};

void PrintTo(const MalformedCase& c, std::ostream* out) { *out << c.label; }

class MalformedXml : public ::testing::TestWithParam<MalformedCase> {};

// Positions count characters from 1; each points at the offending token.
INSTANTIATE_TEST_SUITE_P(
    XMLDocumentTest, MalformedXml,
    ::testing::Values(
        MalformedCase{"empty", "", 1, 1},
        MalformedCase{"whitespace_only", "  \n ", 2, 2},
        MalformedCase{"mismatched_tag", "<a>\n  <b>\n  </c>\n</a>", 3, 5},
        MalformedCase{"unclosed_root", "<a>\n  <b/>\n", 3, 1},
        MalformedCase{"duplicate_attribute", "<a>\n <b x='1' x='2'/></a>", 2, 11},
        MalformedCase{"two_prefixes_one_uri", "<a xmlns:p='u' xmlns:q='u'>\n  <b p:x='1' q:x='2'/></a>", 2, 3},
        MalformedCase{"unbound_element_prefix", "<a>\n\n   <p:b/></a>", 3, 4},
        MalformedCase{"unbound_attribute_prefix", "<a>\n <b p:x='1'/></a>", 2, 2},
        MalformedCase{"undeclared_entity", "<a>\n  x &foo; y</a>", 2, 5},
        MalformedCase{"invalid_utf8", "<a>\n  ok \xC3\x28</a>", 2, 6, true},
        MalformedCase{"utf8_surrogate", "<a>\n\xED\xA0\x80</a>", 2, 1, true},
        MalformedCase{"utf8_overlong", "<a>\n\xC0\xAF</a>", 2, 1, true},
        MalformedCase{"utf8_above_max", "<a>\n\xF4\x90\x80\x80</a>", 2, 1, true},
        MalformedCase{"columns_count_characters", "<a>\n\xC3\xA9\xC3\xA9<b></c></a>", 2, 8},
        MalformedCase{"text_after_root", "<a/>\n  junk", 2, 3},
        MalformedCase{"second_root", "<a/>\n<b/>", 2, 1},
        MalformedCase{"control_character_reference", "<a>\n &#1;</a>", 2, 2},
        MalformedCase{"text_before_root", "\n  x<a/>", 2, 3},
        MalformedCase{"double_hyphen_in_comment", "<r><!-- a -- b --></r>", 1, 13},
        MalformedCase{"cdata_end_in_content", "<r>a]]>b</r>", 1, 7},
        MalformedCase{"space_before_end_tag_name", "<r></ r>", 1, 6},
        MalformedCase{"second_utf8_byte_order_mark", "\xEF\xBB\xBF\xEF\xBB\xBF<a/>", 1, 1, true},
        MalformedCase{"second_utf16_byte_order_mark", std::string("\xFF\xFE\xFF\xFE<\0a\0/\0>\0", 12), 1, 1, true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_P(MalformedXml, RaisesDomExceptionWithLineAndColumn)
{
    const MalformedCase& c = GetParam();
    std::vector<std::string> inputs{c.text};
    // First-line positions after a byte order mark: ByteOrderMarkIsNotAColumn.
    if (!c.utf8Only && c.line > 1) inputs = {c.text, toUtf16(c.text, ByteOrder::Little), toUtf16(c.text, ByteOrder::Big)};
    for (const std::string& input : inputs) {
        const auto error = domErrorOf([&] { XMLDocument document(input); });
        ASSERT_TRUE(error.has_value()) << "accepted";
        EXPECT_EQ(error->line(), c.line) << error->getMessage();
        EXPECT_EQ(error->column(), c.column) << error->getMessage();
        EXPECT_NE(error->getMessage().find("line " + std::to_string(c.line)), std::string::npos);
    }
}

// A byte order mark is invisible in an editor: '<' right after it is column 1.
TEST(XMLDocumentTest, ByteOrderMarkIsNotAColumn)
{
    for (const std::string& bom : {std::string("\xEF\xBB\xBF"), toUtf16("", ByteOrder::Little), toUtf16("", ByteOrder::Big)}) {
        const std::string utf8Bom = "\xEF\xBB\xBF";
        auto encode = [&](const std::string& text) {
            return bom == utf8Bom ? bom + text : toUtf16(text, bom[0] == '\xFF' ? ByteOrder::Little : ByteOrder::Big);
        };
        const XMLDocument document(encode("<a><b/></a>"));
        EXPECT_EQ(document.root().column, 1);
        EXPECT_EQ(document.root().children.at(0)->column, 4);
        const auto error = domErrorOf([&] { XMLDocument broken(encode("<a></b>")); });
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->column(), 6) << error->getMessage();
    }
}

TEST(XMLDocumentTest, DoctypeIsRefusedEvenWithoutDeclarations)
{
    for (const char* text : {"<!DOCTYPE a>\n<a/>", "<?xml version='1.0'?>\n<!DOCTYPE a [<!ENTITY x 'y'>]><a>&x;</a>",
                             "<!DOCTYPE a SYSTEM 'file:///etc/passwd'><a/>"}) {
        const auto error = domErrorOf([&] { XMLDocument document(text); });
        ASSERT_TRUE(error.has_value()) << text;
        EXPECT_NE(error->getMessage().find("DOCTYPE"), std::string::npos) << error->getMessage();
        EXPECT_GT(error->line(), 0);
    }
}

TEST(XMLDocumentTest, DepthLimitIsEnforced)
{
    struct Case { std::size_t limit, depth; bool accepted; };
    for (const Case& c : {Case{1, 1, true}, Case{1, 2, false}, Case{3, 3, true}, Case{3, 4, false},
                          Case{256, 256, true}, Case{256, 257, false}, Case{256, 100000, false}}) {
        const auto error = domErrorOf([&] { XMLDocument document(nested(c.depth), XMLReadLimits{c.limit}); });
        EXPECT_EQ(!error.has_value(), c.accepted) << "limit " << c.limit << ", depth " << c.depth;
        if (error) {
            EXPECT_EQ(error->line(), static_cast<int>(c.limit + 1)) << error->getMessage();
        }
    }
    EXPECT_THROW(XMLDocument{nested(257)}, DomException) << "the default limit is 256";
}

// Whether parse traces is decided when it runs; reading leaves every node traceable.
TEST(XMLDocumentTest, ReadingLeavesTraceSuppressionToTheCaller)
{
    const std::string text = "<r><a><b/></a><c/></r>";
    RecordingListener listener;
    for (MonitorListener* installed : {static_cast<MonitorListener*>(nullptr), static_cast<MonitorListener*>(&listener)}) {
        ListenerGuard guard(installed);
        const XMLDocument document(text);
        std::vector<const XMLNode*> nodes;
        collectNodes(document.root(), nodes);
        ASSERT_EQ(nodes.size(), 4u);
        for (const XMLNode* node : nodes) EXPECT_EQ(node->traceSuppression, 0u) << node->name;
    }
}

// Read nodes view their document's storage; a copy, or anything set by hand,
// owns its texts and outlives the document.
TEST(XMLDocumentTest, CopiesAndHandBuiltNodesOwnTheirTexts)
{
    XMLNode copy;
    {
        const XMLDocument document("<root a=\"1\"><child b=\"2\">some text</child><child/></root>");
        copy = *document.root().children.at(0);
        // Names are kept once per document.
        EXPECT_EQ(document.root().children[0]->name.data(), document.root().children[1]->name.data());
    }
    EXPECT_EQ(copy.name, "child");
    EXPECT_EQ(copy.text, "some text");
    EXPECT_EQ(copy.getAttr("b"), "2");

    XMLNode built;
    built.name = "x";
    built.text = "ab";
    built.text.append("cd");
    built.text = built.text.view().substr(1, 2); // assigned from a view of itself
    built.setAttr("k", "1");
    built.setAttr("k", "2");
    EXPECT_EQ(built.name, "x");
    EXPECT_EQ(built.text, "bc");
    ASSERT_EQ(built.attributes().size(), 1u);
    EXPECT_EQ(built.getAttr("k"), "2");
    XMLNode moved(std::move(built));
    EXPECT_EQ(moved.name + "/" + moved.text, "x/bc");
    EXPECT_EQ(moved.getAttr("k"), "2");
}

// What stands where the document element must start is named, not taken for an empty document.
TEST(XMLDocumentTest, TextBeforeTheRootIsNamed)
{
    struct Case { std::string text; const char* named; };
    for (const Case& c : {Case{"x<a/>", "U+0078 'x'"}, Case{"\xC2\xA0<a/>", "U+00A0"}, Case{"\f<a/>", "U+000C"},
                          Case{"<!-- c -->\n\xE2\x82\xAC<a/>", "U+20AC"}}) {
        const auto error = domErrorOf([&] { XMLDocument document(c.text); });
        ASSERT_TRUE(error.has_value()) << c.text;
        EXPECT_NE(error->getMessage().find(c.named), std::string::npos) << error->getMessage();
        EXPECT_EQ(error->getMessage().find("no element found"), std::string::npos) << error->getMessage();
    }
}

// Copies own all they show, children included; moves leave an empty, usable
// node. Under AddressSanitizer a view into the dead document is a failure.
TEST(XMLDocumentTest, CopiesAndMovesOutliveTheirDocument)
{
    XMLNode copy;
    XMLNode assigned;
    {
        const XMLDocument document("<p:a xmlns:p='urn:x' xmlns:q='urn:q' k='v' q:n='w'>hi<p:b q:m='1'>in<c/></p:b>"
                                   "tail</p:a>");
        copy = document.root();
        const XMLNode constructed(document.root());
        assigned = constructed;
    }
    for (const XMLNode* node : {&copy, &assigned}) {
        EXPECT_EQ(node->uri, "urn:x");
        EXPECT_EQ(node->name, "a");
        EXPECT_EQ(node->prefix, "p");
        EXPECT_EQ(declarations(*node), "p=urn:x q=urn:q");
        EXPECT_EQ(node->text, "hitail");
        EXPECT_EQ(node->getAttr("k"), "v");
        EXPECT_EQ(node->getAttr("{urn:q}n"), "w");
        EXPECT_EQ(node->attributes()[1].uri, "urn:q");
        ASSERT_EQ(node->children.size(), 1u);
        const XMLNode& child = *node->children[0];
        EXPECT_EQ(std::string(child.uri) + ":" + child.name + "=" + child.text, "urn:x:b=in");
        EXPECT_EQ(child.getAttr("{urn:q}m"), "1");
        EXPECT_EQ(child.textOffset(), 2u);
        ASSERT_EQ(child.children.size(), 1u);
        EXPECT_EQ(child.children[0]->name, "c");
        EXPECT_TRUE(child.children[0]->uri.empty());
    }

    // Hand-built trees link nodes the caller keeps; a copy takes its own.
    XMLNode leaf;
    leaf.name = "leaf";
    XMLNode built;
    built.name = "built";
    built.children.push_back(&leaf);
    const XMLNode builtCopy(built);
    leaf.name = "changed";
    ASSERT_EQ(builtCopy.children.size(), 1u);
    EXPECT_NE(builtCopy.children[0], &leaf);
    EXPECT_EQ(builtCopy.children[0]->name, "leaf");

    std::vector<XMLNode> nodes;
    XMLNode node;
    node.setAttr("id", "1");
    node.setAttr("{urn:q}n", "2");
    node.children.push_back(&leaf);
    nodes.push_back(std::move(node));
    EXPECT_TRUE(node.attributes().empty());
    EXPECT_TRUE(node.children.empty());
    node.setAttr("other", "3");
    nodes.clear();
    ASSERT_EQ(node.attributes().size(), 1u);
    EXPECT_EQ(node.getAttr("id"), "");
    EXPECT_EQ(node.getAttr("other"), "3");

    XMLNode target;
    target.setAttr("old", "x");
    target = std::move(copy);
    EXPECT_EQ(target.getAttr("old"), "");
    EXPECT_EQ(target.children.at(0)->children.at(0)->name, "c");
    EXPECT_TRUE(copy.name.empty() && copy.uri.empty() && copy.children.empty() && copy.attributes().empty());

    // A node takes the place of its own parent: what it held is taken before the parent's copies go.
    XMLNode& child = *target.children.at(0);
    target = std::move(child);
    EXPECT_EQ(target.name, "b");
    EXPECT_EQ(target.getAttr("{urn:q}m"), "1");
    EXPECT_EQ(target.children.at(0)->name, "c");
}
