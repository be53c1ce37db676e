#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kvsoa/Monitor.hpp"
#include "kvsoa/XMLDocument.hpp"
#include "kvsoa/XmlStream.hpp"
#include "runtime/RuntimeTestSupport.hpp"
#include "workinstructions/WorkInstructions.hpp"

using namespace Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::Xml::XMLDocument;
using Kavella::Soa::Common::Xml::XMLEventReader;
using namespace runtime_test;

namespace {

const std::string base = "Kavella::Schemas::Soa::_2006_03::Base::";
const std::string schema = "Velmora::Schemas::Mes::_2010_09::Workinstructions::";

std::vector<std::string> bracket(const std::string& name, std::vector<std::string> inner = {})
{
    std::vector<std::string> events{"+" + name};
    events.insert(events.end(), inner.begin(), inner.end());
    events.push_back("-" + name);
    return events;
}

struct TraceCase {
    const char* label;
    std::function<void()> action;
    std::vector<std::string> expected;
};

void write(const BaseObject& object, const std::function<void(XmlStream&)>& output)
{
    XmlStream stream;
    stream.getNamespacePrefix(object.namespaceUri());
    output(stream);
}

} // namespace

TEST(MonitorTest, ListenerSeesMarkersInNestingOrder)
{
    ModelObject model("m");
    ServiceData data;
    data.addCreated("c");
    TagMap tag;
    AutoPtr<LoadedObjectsResponse> response(new LoadedObjectsResponse);
    const std::string modelOut = base + "ModelObject::outputXML", dataOut = base + "ServiceData::outputXML";

    const std::vector<TraceCase> cases = {
        {"ModelObject", [&] { write(model, [&](XmlStream& s) { model.outputXML(s, "ns1:m"); }); }, bracket(modelOut)},
        {"ServiceData", [&] { write(data, [&](XmlStream& s) { data.outputXML(s, "ServiceData"); }); }, bracket(dataOut)},
        {"TagMap", [&] { write(tag, [&](XmlStream& s) { tag.outputXML(s, "ns1:t"); }); },
         bracket(schema + "TagMap::outputXML", bracket(modelOut))},
        {"LoadedObjectsResponse", [&] { write(*response, [&](XmlStream& s) { response->outputXML(s, "ns1:r"); }); },
         bracket(schema + "LoadedObjectsResponse::outputXML", bracket(dataOut))},
    };
    for (const TraceCase& c : cases) {
        RecordingListener listener;
        ListenerGuard guard(&listener);
        c.action();
        EXPECT_EQ(listener.events, c.expected) << c.label;
    }
}

// Markers follow the listener installed when parse runs, not when the text was read.
TEST(MonitorTest, ParseIsTracedUnderTheListenerInstalledWhenItRuns)
{
    const std::string xml = "<b:sd xmlns:b=\"http://kavella.com/Schemas/Soa/2006-03/Base\"><b:created uid=\"1\"/></b:sd>";
    const XMLDocument readBeforeTheListener(xml);
    ServiceData data;
    ModelObject model;
    RecordingListener listener;
    {
        ListenerGuard guard(&listener);
        data.parse(readBeforeTheListener.root());
        model.parse(readBeforeTheListener.root());
    }
    std::vector<std::string> expected = bracket(base + "ServiceData::parse");
    for (const std::string& event : bracket(base + "ModelObject::parse")) expected.push_back(event);
    EXPECT_EQ(listener.events, expected);

    // Read under a listener, parsed after it is gone: only the read is heard.
    listener.events.clear();
    std::unique_ptr<XMLDocument> readUnderTheListener;
    {
        ListenerGuard guard(&listener);
        readUnderTheListener = std::make_unique<XMLDocument>(xml);
    }
    data.parse(readUnderTheListener->root());
    const std::string read = XMLEventReader::traceName;
    EXPECT_EQ(listener.events, (std::vector<std::string>{"+" + read, "-" + read}));
}

TEST(MonitorTest, NoEndMarkerWhenAnExceptionInterrupts)
{
    ModelObject badUid("bad \x01");
    ServiceData badError;
    badError.addPartialError({"", "bad \x02", 0, 0});
    TagMap badNested;
    badNested.getValue()->setUid("\xFF");
    const std::string modelOut = base + "ModelObject::outputXML";

    RecordingListener listener;
    ListenerGuard guard(&listener);
    const XMLDocument unexpected("<sd>\n  <bogus/></sd>");
    const std::vector<TraceCase> cases = {
        {"ModelObject", [&] { write(badUid, [&](XmlStream& s) { badUid.outputXML(s, "ns1:m"); }); }, {"+" + modelOut}},
        {"ServiceData", [&] { write(badError, [&](XmlStream& s) { badError.outputXML(s, "ServiceData"); }); },
         {"+" + base + "ServiceData::outputXML"}},
        {"TagMap", [&] { write(badNested, [&](XmlStream& s) { badNested.outputXML(s, "ns1:t"); }); },
         {"+" + schema + "TagMap::outputXML", "+" + modelOut}},
        {"ServiceData parse", [&] { ServiceData().parse(unexpected.root()); }, {"+" + base + "ServiceData::parse"}},
    };
    for (const TraceCase& c : cases) {
        listener.events.clear();
        EXPECT_THROW(c.action(), DomException) << c.label;
        EXPECT_EQ(listener.events, c.expected) << c.label;
    }
}

TEST(MonitorTest, RemovedListenerHearsNothing)
{
    RecordingListener listener;
    Monitor::setListener(&listener);
    Monitor::setListener(nullptr);
    EXPECT_FALSE(Monitor::isActive());
    ServiceData data;
    XmlStream stream;
    data.outputXML(stream, "ServiceData");
    Monitor::markStart("direct");
    Monitor::markEnd("direct");
    EXPECT_TRUE(listener.events.empty());
}
