// The tree builder on its own: fed by hand, and fed from the middle of a document.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "kvsoa/XMLDocument.hpp"
#include "runtime/RuntimeTestSupport.hpp"

using Kavella::Soa::Common::Xml::XMLEventReader;
using Kavella::Soa::Common::Xml::XMLStartTag;
using Kavella::Soa::Common::Xml::XMLTreeBuilder;
using namespace runtime_test;

// A public builder refuses events out of order and never hangs one document under another.
TEST(XMLTreeBuilderTest, RefusesMisuseAndStartsAFreshTreePerDocument)
{
    XMLEventReader reader;
    XMLTreeBuilder builder(reader);
    EXPECT_THROW(builder.characters("x"), std::logic_error);
    EXPECT_THROW(builder.endElement(), std::logic_error);
    EXPECT_EQ(builder.root(), nullptr);

    EXPECT_THROW(reader.read("<a><b><c>", builder), DomException);
    reader.read("<z><y/></z>", builder);
    ASSERT_NE(builder.root(), nullptr);
    EXPECT_EQ(builder.root()->name, "z");
    EXPECT_EQ(builder.size(), 2u);
    // Names of an earlier tree, prefixes too, are not taken for a later one's.
    for (const char* prefix : {"p", "q", "p"}) {
        reader.read(std::string("<") + prefix + ":z xmlns:" + prefix + "='urn:" + prefix + "'><" + prefix + ":y/></" +
                        prefix + ":z>",
                    builder);
        EXPECT_EQ(builder.root()->prefix, prefix);
        EXPECT_EQ(builder.root()->children.at(0)->prefix, prefix);
        EXPECT_EQ(declarations(*builder.root()), std::string(prefix) + "=urn:" + prefix);
    }

    // Events fed by hand: a second root begins a second tree.
    XMLStartTag tag;
    tag.name = "first";
    builder.clear();
    builder.startElement(tag);
    builder.endElement();
    tag.name = "second";
    builder.startElement(tag);
    builder.endElement();
    EXPECT_EQ(builder.root()->name, "second");
    EXPECT_EQ(builder.size(), 1u);
}

// A tree begun inside a document (as a fault is captured) keeps at its root
// the declarations of the elements around it, so its prefixes resolve alone.
TEST(XMLTreeBuilderTest, ATreeFromInsideADocumentCarriesTheDeclarationsInScope)
{
    class Inner final : public Kavella::Soa::Common::Xml::XMLEventHandler {
    public:
        explicit Inner(XMLEventReader& reader) : builder(reader) {}
        void startElement(const XMLStartTag& tag) override
        {
            if (++depth >= 3) builder.startElement(tag);
        }
        void endElement() override
        {
            if (depth-- >= 3) builder.endElement();
        }
        void characters(std::string_view text) override
        {
            if (depth >= 3) builder.characters(text);
        }
        XMLTreeBuilder builder;
        int depth = 0;
    };
    XMLEventReader reader;
    Inner inner(reader);
    reader.read("<a xmlns:x='urn:x' xmlns='urn:d'><b xmlns:x='urn:y' xmlns:z='urn:z'><c xmlns:w='urn:w'>"
                "<x:d xmlns:v='urn:v'/></c></b></a>",
                inner);
    const XMLNode& root = *inner.builder.root();
    EXPECT_EQ(declarations(root), "x=urn:x =urn:d x=urn:y z=urn:z w=urn:w");
    EXPECT_EQ(declarations(*root.children.at(0)), "v=urn:v");
    EXPECT_EQ(root.children.at(0)->prefix, "x");
    EXPECT_EQ(root.children.at(0)->uri, "urn:y");
}
