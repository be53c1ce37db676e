#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

#include "kvsoa/AutoPtr.hpp"
#include "kvsoa/ModelObject.hpp"
#include "kvsoa/ServiceData.hpp"
#include "kvsoa/XMLDocument.hpp"
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
