#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kvsoa/AutoPtr.hpp"
#include "kvsoa/ModelObject.hpp"
#include "kvsoa/ServiceData.hpp"
#include "kvsoa/XMLDocument.hpp"
#include "kvsoa/XMLEventReader.hpp"
#include "kvsoa/XmlStream.hpp"
#include "runtime/RuntimeTestSupport.hpp"

using namespace Kavella::Schemas::Soa::_2006_03::Base;
using Kavella::Soa::Common::AutoPtr;
using Kavella::Soa::Common::Xml::XMLDocument;
using Kavella::Soa::Common::Xml::XmlStream;
using namespace runtime_test;

namespace {

const std::string base = "http://kavella.com/Schemas/Soa/2006-03/Base";

std::string written(const ServiceData& data)
{
    XmlStream stream;
    data.outputXML(stream, "ServiceData");
    return stream.str();
}

ServiceData sample()
{
    ServiceData data;
    data.setCreatedArray({"c1", "c <2> & \"3\"", ""});
    data.setUpdatedArray({"u\t1\r\n"});
    data.setDeletedArray({"d1", "d2"});
    data.addPartialError({"uid-1", "failed: <reason>", -1, 0});
    data.addPartialError({"", "", INT_MIN, INT_MAX});
    data.addPartialError({"x", "line one\nline two", 214000, -3});
    return data;
}

void expectSameContent(const ServiceData& actual, const ServiceData& expected)
{
    EXPECT_EQ(actual.getCreatedArray(), expected.getCreatedArray());
    EXPECT_EQ(actual.getUpdatedArray(), expected.getUpdatedArray());
    EXPECT_EQ(actual.getDeletedArray(), expected.getDeletedArray());
    EXPECT_EQ(actual.getPartialErrorArray(), expected.getPartialErrorArray());
}

} // namespace

TEST(BaseSchemaTypesTest, ServiceDataRoundTrip)
{
    const ServiceData data = sample();
    const XMLDocument document(written(data));
    ServiceData back;
    back.parse(document.root());
    expectSameContent(back, data);
    ServiceData empty;
    ServiceData emptyBack;
    emptyBack.parse(XMLDocument(written(empty)).root());
    expectSameContent(emptyBack, empty);
}

TEST(BaseSchemaTypesTest, ServiceDataParseAppends)
{
    const XMLDocument document(written(sample()));
    ServiceData twice = sample();
    twice.parse(document.root());
    const ServiceData once = sample();
    ServiceData expected = sample();
    for (const auto& uid : once.getCreatedArray()) expected.addCreated(uid);
    for (const auto& uid : once.getUpdatedArray()) expected.addUpdated(uid);
    for (const auto& uid : once.getDeletedArray()) expected.addDeleted(uid);
    for (const auto& error : once.getPartialErrorArray()) expected.addPartialError(error);
    expectSameContent(twice, expected);
}

// The node tells how many children of each kind come: a fresh object's lists
// get exactly that room, each its own count (not the children's total).
TEST(BaseSchemaTypesTest, ServiceDataParseSizesFreshListsExactly)
{
    ServiceData data = sample();
    for (int i = 0; i < 4; ++i) data.addUpdated("u" + std::to_string(i));
    const XMLDocument document(written(data));
    ServiceData fresh;
    fresh.parse(document.root());
    expectSameContent(fresh, data);
    EXPECT_EQ(fresh.getCreatedArray().capacity(), 3u);
    EXPECT_EQ(fresh.getUpdatedArray().capacity(), 5u);
    EXPECT_EQ(fresh.getDeletedArray().capacity(), 2u);
    EXPECT_EQ(fresh.getPartialErrorArray().capacity(), 3u);
}

TEST(BaseSchemaTypesTest, ServiceDataRejectsWhatItDoesNotKnow)
{
    struct Case { const char* label; std::string xml; std::string message; int line, column; };
    const std::string open = "<ServiceData xmlns:b=\"" + base + "\">\n";
    for (const Case& c : {
             Case{"unknown child", open + "  <b:created uid=\"1\"/>\n  <b:x/></ServiceData>", "Unexpected node name: x", 3, 3},
             Case{"unknown unprefixed child", open + "\t<ServiceData/></ServiceData>", "Unexpected node name: ServiceData", 2, 2},
             Case{"bad code", open + "  <b:partialErrors code=\"one\" level=\"1\"/></ServiceData>", "one", 2, 3},
             Case{"code overflow", open + "\n <b:partialErrors code=\"2147483648\" level=\"1\"/></ServiceData>", "2147483648", 3, 2},
         }) {
        const auto error = domErrorOf([&] { ServiceData().parse(XMLDocument(c.xml).root()); });
        ASSERT_TRUE(error.has_value()) << c.label;
        EXPECT_NE(error->getMessage().find(c.message), std::string::npos) << c.label << ": " << error->getMessage();
        EXPECT_EQ(error->line(), c.line) << c.label;
        EXPECT_EQ(error->column(), c.column) << c.label;
    }
    const auto unexpected = domErrorOf([&] { ServiceData().parse(XMLDocument(open + "<b:x/></ServiceData>").root()); });
    ASSERT_TRUE(unexpected.has_value());
    EXPECT_EQ(unexpected->getMessage(), "Unexpected node name: x");
}

TEST(BaseSchemaTypesTest, MovedFromObjectsKeepTheirValues)
{
    ServiceData data = sample();
    const std::string before = written(data);
    ServiceData constructed(std::move(data));
    ServiceData assigned;
    assigned = std::move(data);
    for (const ServiceData* object : {&data, &constructed, &assigned}) EXPECT_EQ(written(*object), before);

    ModelObject model("uid-1");
    ModelObject movedModel(std::move(model));
    ModelObject assignedModel;
    assignedModel = std::move(model);
    for (const ModelObject* object : {&model, &movedModel, &assignedModel}) EXPECT_EQ(object->getUid(), "uid-1");
}

TEST(BaseSchemaTypesTest, ClonesShareNothingMutable)
{
    ServiceData original = sample();
    AutoPtr<ServiceData> copy(dynamic_cast<ServiceData*>(original.clone()));
    ASSERT_FALSE(copy.isNull());
    EXPECT_EQ(copy->getRefCount(), 1) << "a clone starts unheld";
    expectSameContent(*copy, sample());
    original.addCreated("later");
    original.setPartialErrorArray({});
    expectSameContent(*copy, sample());

    ModelObject model("m");
    AutoPtr<ModelObject> modelCopy(dynamic_cast<ModelObject*>(model.clone()));
    ASSERT_FALSE(modelCopy.isNull());
    model.setUid("changed");
    EXPECT_EQ(modelCopy->getUid(), "m");
    EXPECT_EQ(modelCopy->namespaceUri(), base);
}

TEST(BaseSchemaTypesTest, GetNamespacesAddsTheBaseNamespace)
{
    const ModelObject model;
    const ServiceData data;
    for (const Kavella::Soa::Common::Xml::BaseObject* object :
         {static_cast<const Kavella::Soa::Common::Xml::BaseObject*>(&model), static_cast<const Kavella::Soa::Common::Xml::BaseObject*>(&data)}) {
        std::set<std::string> namespaces{"urn:already-there"};
        object->getNamespaces(namespaces);
        EXPECT_EQ(namespaces, (std::set<std::string>{"urn:already-there", base}));
        EXPECT_EQ(object->namespaceUri(), base);
    }
}

namespace {

using Kavella::Soa::Common::Xml::XMLEventHandler;
using Kavella::Soa::Common::Xml::XMLEventReader;
using Kavella::Soa::Common::Xml::XMLStartTag;

// Hands each start tag of a document, with its depth (the root is 1), to a callback.
class StartTags final : public XMLEventHandler {
public:
    explicit StartTags(std::function<void(const XMLStartTag&, int)> onTag) : m_onTag(std::move(onTag)) {}
    void startElement(const XMLStartTag& tag) override { m_onTag(tag, ++m_depth); }
    void endElement() override { --m_depth; }
    void characters(std::string_view) override {}

private:
    std::function<void(const XMLStartTag&, int)> m_onTag;
    int m_depth = 0;
};

void readTags(const std::string& xml, std::function<void(const XMLStartTag&, int)> onTag)
{
    XMLEventReader reader;
    StartTags handler(std::move(onTag));
    reader.read(xml, handler);
}

const std::string ns = " xmlns:b=\"" + base + "\" xmlns:x=\"urn:other\"";

} // namespace

// The event forms read what parse reads: the same attribute, whatever else the
// element carries or holds.
TEST(BaseSchemaTypesTest, ModelObjectReadsFromItsStartTagAsParseDoes)
{
    struct Case { const char* label; std::string xml; std::string uid; };
    for (const Case& c : {
             Case{"uid", "<m" + ns + " uid=\"a1\"/>", "a1"},
             Case{"no uid", "<m" + ns + "/>", ""},
             Case{"namespaced uid is another attribute", "<m" + ns + " x:uid=\"ns\"/>", ""},
             Case{"every attribute", "<m" + ns + " x:uid=\"ns\" b:uid=\"b\" other=\"o\" uid=\"plain\" z=\"\"/>", "plain"},
             Case{"references", "<m" + ns + " uid=\"a &amp; &lt;b&gt;&#x9;\"/>", "a & <b>\t"},
             Case{"content ignored", "<m" + ns + " uid=\"u\">text<b:child uid=\"c\"><deeper uid=\"d\"/></b:child>more</m>", "u"},
         }) {
        ModelObject parsed("before");
        parsed.parse(XMLDocument(c.xml).root());
        ModelObject read("before");
        readTags(c.xml, [&](const XMLStartTag& tag, int depth) {
            if (depth == 1) read.readStartTag(tag);
        });
        EXPECT_EQ(parsed.getUid(), c.uid) << c.label;
        EXPECT_EQ(read.getUid(), c.uid) << c.label;
    }
}

TEST(BaseSchemaTypesTest, ServiceDataReadsChildByChildAsParseDoes)
{
    const std::string xml = "<b:ServiceData" + ns + " uid=\"ignored\">text"
                            "<b:created uid=\"c1\" x:uid=\"no\" extra=\"e\"/>"
                            "<created><deeper uid=\"skipped\"/></created>"
                            "<x:updated uid=\"u &amp; 1\"/>"
                            "<b:deleted uid=\"d1\">inner text</b:deleted>"
                            "<b:partialErrors message=\"m\" level=\" 3 \" code=\"-214\" uid=\"p1\" more=\"1\"/>"
                            "<b:partialErrors code=\"0\" level=\"0\"/>"
                            "</b:ServiceData>";
    ServiceData parsed = sample();
    parsed.parse(XMLDocument(xml).root());
    ServiceData read = sample();
    readTags(xml, [&](const XMLStartTag& tag, int depth) {
        if (depth == 2) read.readChild(tag);
    });

    ServiceData expected = sample(); // appended to, as parse appends
    expected.addCreated("c1");
    expected.addCreated("");
    expected.addUpdated("u & 1");
    expected.addDeleted("d1");
    expected.addPartialError({"p1", "m", -214, 3});
    expected.addPartialError({"", "", 0, 0});
    expectSameContent(parsed, expected);
    expectSameContent(read, expected);
}

// Errors of the event form carry no position: the reader that hands over the
// start tag knows where it is.
TEST(BaseSchemaTypesTest, ServiceDataChildRefusalsLeaveThePositionToTheReader)
{
    struct Case { const char* label; std::string child; std::string message; };
    for (const Case& c : {
             Case{"unknown child", "<b:x uid=\"1\"/>", "Unexpected node name: x"},
             Case{"service data in service data", "<ServiceData/>", "Unexpected node name: ServiceData"},
             Case{"bad code", "<b:partialErrors code=\"one\" level=\"1\"/>", "one"},
             Case{"bad level", "<b:partialErrors code=\"1\" level=\"2147483648\"/>", "2147483648"},
             Case{"missing code", "<b:partialErrors level=\"1\"/>", "Invalid"},
         }) {
        const std::string xml = "<b:ServiceData" + ns + ">\n  " + c.child + "</b:ServiceData>";
        ServiceData data;
        std::optional<DomException> error;
        readTags(xml, [&](const XMLStartTag& tag, int depth) {
            if (depth == 2) error = domErrorOf([&] { data.readChild(tag); });
        });
        ASSERT_TRUE(error.has_value()) << c.label;
        EXPECT_NE(error->getMessage().find(c.message), std::string::npos) << c.label << ": " << error->getMessage();
        EXPECT_EQ(error->line(), 0) << c.label;
        EXPECT_TRUE(data.getPartialErrorArray().empty()) << c.label << ": nothing appended for a refused child";

        // parse places the same refusal at the child.
        const auto placed = domErrorOf([&] { ServiceData().parse(XMLDocument(xml).root()); });
        ASSERT_TRUE(placed.has_value()) << c.label;
        EXPECT_EQ(placed->getMessage(), error->getMessage()) << c.label;
        EXPECT_EQ(placed->line(), 2) << c.label;
        EXPECT_EQ(placed->column(), 3) << c.label;
    }
}
