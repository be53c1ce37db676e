#include <gtest/gtest.h>

#include <algorithm>
#include <ios>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "kvsoa/Conversions.hpp"
#include "kvsoa/XMLDocument.hpp"
#include "kvsoa/XmlStream.hpp"
#include "runtime/RuntimeTestSupport.hpp"
#include "workinstructions/WorkInstructions.hpp"

using namespace Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Schemas::Soa::_2006_03::Base::PartialError;
using Kavella::Soa::Common::Xml::XMLDocument;
using Kavella::Soa::Common::Xml::XMLReadLimits;
using namespace runtime_test;

namespace {

const std::string baseUri = Kavella::Schemas::Soa::_2006_03::Base::NamespaceUri;

template <typename T>
std::string writeRoot(const T& object, const std::string& localName, XmlStream& stream)
{
    object.outputXML(stream, stream.getNamespacePrefix(object.namespaceUri()) + ":" + localName);
    return stream.str();
}

template <typename T>
std::string writeRoot(const T& object, const std::string& localName, int indent = 0)
{
    XmlStream stream;
    stream.setIndent(indent);
    return writeRoot(object, localName, stream);
}

AutoPtr<LoadedObjectsResponse> sampleResponse()
{
    AutoPtr<LoadedObjectsResponse> response(new LoadedObjectsResponse);
    AutoPtr<LoadedObjectInfo> info(new LoadedObjectInfo);
    info->setWorkInstructionFile("wi.xml");
    info->getTargetObject()->setUid("target");
    info->addSymbol(new ModelObject("symbol-1"));
    info->addSymbol(new ModelObject("symbol-2"));
    response->addLoadedObject(info);
    response->getServiceData()->addCreated("c1");
    response->getServiceData()->addPartialError(PartialError{"u", "failed", -7, 2});
    return response;
}

/// A CreateInput whose compound inputs nest `levels` deep: 1 + 2 * levels elements.
AutoPtr<CreateInput> nestedInput(int levels)
{
    AutoPtr<CreateInput> top(new CreateInput);
    CreateInput* current = top.get();
    for (int i = 0; i < levels; ++i) {
        AutoPtr<CreateInputMap> map(new CreateInputMap);
        AutoPtr<CreateInput> inner(new CreateInput);
        map->addValue(inner);
        current->addCompoundCreateInput(map);
        current = inner.get();
    }
    return top;
}

/// Takes the first `room` bytes and refuses the rest, like a full disk; counts
/// what it was offered after the first refusal. The writer uses sputn only.
class RefusingBuffer : public std::streambuf {
public:
    enum class Refusal { ShortWrite, Throw };
    explicit RefusingBuffer(std::size_t room, Refusal refusal = Refusal::ShortWrite, bool syncFails = false)
        : m_room(room), m_refusal(refusal), m_syncFails(syncFails)
    {
    }

    std::string taken;
    int offeredAfterRefusal = 0;
    int syncs = 0;

protected:
    std::streamsize xsputn(const char* data, std::streamsize size) override
    {
        if (m_refused) ++offeredAfterRefusal;
        const std::size_t accepted = std::min(static_cast<std::size_t>(size), m_room - taken.size());
        taken.append(data, accepted);
        if (accepted < static_cast<std::size_t>(size)) {
            m_refused = true;
            if (m_refusal == Refusal::Throw) throw std::runtime_error("device gone");
        }
        return static_cast<std::streamsize>(accepted);
    }
    int sync() override
    {
        ++syncs;
        return m_syncFails ? -1 : 0;
    }

private:
    std::size_t m_room;
    Refusal m_refusal;
    bool m_syncFails;
    bool m_refused = false;
};

} // namespace

TEST(XmlStreamTest, OwnBufferCollectsEverythingWritten)
{
    XmlStream stream;
    stream << "<a" << 42;
    stream.append(std::string_view("/>\0", 2));
    EXPECT_EQ(stream.str(), "<a42/>");
}

TEST(XmlStreamTest, WritesIntoAnotherStream)
{
    const auto response = sampleResponse();
    std::ostringstream target;
    target << "head:";
    {
        XmlStream stream(target);
        writeRoot(*response, "LoadedObjectsResponse", stream);
    }
    EXPECT_EQ(target.str(), "head:" + writeRoot(*response, "LoadedObjectsResponse"));
}

TEST(XmlStreamTest, RefusedOutputMarksBothStreamsBadAndStopsThere)
{
    const auto response = sampleResponse();
    const std::string whole = writeRoot(*response, "R");
    for (const std::size_t room : {std::size_t{0}, std::size_t{1}, std::size_t{37}, whole.size() - 1, whole.size()}) {
        SCOPED_TRACE("room for " + std::to_string(room) + " of " + std::to_string(whole.size()));
        RefusingBuffer buffer(room);
        std::ostream target(&buffer);
        XmlStream stream(target);
        EXPECT_NO_THROW(writeRoot(*response, "R", stream));
        const bool fits = room == whole.size();
        EXPECT_EQ(stream.bad(), !fits);
        EXPECT_EQ(target.bad(), !fits);
        EXPECT_EQ(buffer.taken, whole.substr(0, room));
        EXPECT_EQ(buffer.offeredAfterRefusal, 0);
    }
}

TEST(XmlStreamTest, RefusedOutputThrowsOnlyWhenTheStreamAsksForIt)
{
    struct Case { RefusingBuffer::Refusal refusal; bool asks; };
    for (const Case& c : {Case{RefusingBuffer::Refusal::ShortWrite, true}, Case{RefusingBuffer::Refusal::Throw, true},
                          Case{RefusingBuffer::Refusal::Throw, false}}) {
        SCOPED_TRACE(std::string(c.refusal == RefusingBuffer::Refusal::Throw ? "throwing" : "short") +
                     (c.asks ? ", exceptions on" : ", exceptions off"));
        RefusingBuffer buffer(10, c.refusal);
        std::ostream target(&buffer);
        XmlStream stream(target);
        if (c.asks) stream.exceptions(std::ios_base::badbit);
        const auto response = sampleResponse();
        std::string thrown = "nothing";
        try {
            writeRoot(*response, "R", stream);
        } catch (const std::ios_base::failure&) {
            thrown = "failure";
        } catch (const std::runtime_error& error) {
            thrown = error.what(); // the buffer's own exception, passed on as ostream does
        }
        const char* expected =
            !c.asks ? "nothing" : c.refusal == RefusingBuffer::Refusal::Throw ? "device gone" : "failure";
        EXPECT_EQ(thrown, expected);
        EXPECT_TRUE(stream.bad());
        EXPECT_TRUE(target.bad());
        EXPECT_EQ(buffer.taken.size(), 10u);
    }
}

TEST(XmlStreamTest, StreamThatIsNotGoodWritesNoElement)
{
    TagMap entry;
    entry.setKey("k");
    RefusingBuffer buffer(1000);
    std::ostream target(&buffer);

    XmlStream own;
    own.setstate(std::ios_base::badbit);
    writeRoot(entry, "R", own);
    EXPECT_EQ(own.str(), "");

    XmlStream marked(target);
    marked.setstate(std::ios_base::badbit);
    writeRoot(entry, "R", marked);
    EXPECT_EQ(buffer.taken, "");

    target.setstate(std::ios_base::failbit);
    XmlStream overFailedTarget(target);
    EXPECT_TRUE(overFailedTarget.fail());
    writeRoot(entry, "R", overFailedTarget);
    EXPECT_EQ(buffer.taken, "");

    // Cleared, the own buffer writes the whole element again.
    own.clear();
    writeRoot(entry, "R", own);
    EXPECT_EQ(own.str(), writeRoot(entry, "R"));
}

TEST(XmlStreamTest, DestroyedStreamFlushesTheTargetAndReportsAFailedFlush)
{
    for (const bool syncFails : {false, true}) {
        RefusingBuffer buffer(1000, RefusingBuffer::Refusal::ShortWrite, syncFails);
        std::ostream target(&buffer);
        target.exceptions(std::ios_base::badbit); // must not throw out of a destructor
        {
            XmlStream stream(target);
            writeRoot(IntMap(), "R", stream);
        }
        EXPECT_GE(buffer.syncs, 1) << syncFails;
        EXPECT_EQ(target.bad(), syncFails);
    }
}

TEST(XmlStreamTest, PrefixesFollowFirstUseUnlessChosen)
{
    XmlStream stream;
    stream.setNamespacePrefix("urn:chosen", "wi");
    struct Step { const char* uri; const char* prefix; };
    for (const Step& step : {Step{"urn:a", "ns2"}, Step{"urn:b", "ns3"}, Step{"urn:a", "ns2"}, Step{"urn:chosen", "wi"}})
        EXPECT_EQ(stream.getNamespacePrefix(step.uri), step.prefix) << step.uri;

    XmlStream fresh;
    EXPECT_EQ(fresh.getNamespacePrefix("urn:x"), "ns1");
    EXPECT_EQ(fresh.getNamespacePrefix("urn:y"), "ns2");
}

TEST(XmlStreamTest, ChosenPrefixIsUsedInTheOutput)
{
    TagMap entry;
    entry.setKey("k");
    entry.getValue()->setUid("u");
    XmlStream stream;
    stream.setNamespacePrefix(NamespaceUri, "wi");
    const std::string xml = writeRoot(entry, "TagMap", stream);
    EXPECT_EQ(xml.rfind("<wi:TagMap ", 0), 0u) << xml;
    const XMLDocument document(xml);
    EXPECT_EQ(document.root().uri, NamespaceUri);
    EXPECT_EQ(document.root().children.at(0)->uri, NamespaceUri);
}

// Choosing "ns2" for one namespace must not make the stream hand out "ns2"
// again for the next one: both would be declared on the root.
TEST(XmlStreamTest, ChosenPrefixNeverCollidesWithGeneratedOne)
{
    TagMap entry;
    XmlStream stream;
    stream.setNamespacePrefix(NamespaceUri, "ns2");
    const std::string xml = writeRoot(entry, "TagMap", stream);
    EXPECT_FALSE(domErrorOf([&] { XMLDocument document(xml); }).has_value()) << xml;
}

TEST(XmlStreamTest, OutermostElementDeclaresEveryNamespaceTheTreeUses)
{
    AutoPtr<CreateInput> input(new CreateInput);
    AutoPtr<TagVectorMap> tags(new TagVectorMap);
    tags->addValue(new ModelObject("t"));
    input->addTagArrayProp(tags);
    const AutoPtr<LoadedObjectsResponse> response = sampleResponse();
    const AutoPtr<TagMap> tag(new TagMap);
    const std::vector<std::pair<const BaseObject*, std::string>> written = {
        {response.get(), writeRoot(*response, "R")}, {input.get(), writeRoot(*input, "R")}, {tag.get(), writeRoot(*tag, "R")}};
    for (const auto& [object, xml] : written) {
        std::set<std::string> expected;
        object->getNamespaces(expected);
        const XMLDocument document(xml); // an unbound prefix would throw here
        std::vector<const XMLNode*> nodes;
        collectNodes(document.root(), nodes);
        for (const XMLNode* node : nodes) {
            if (node->name == "ServiceData") continue; // written bare, in no namespace
            EXPECT_EQ(expected.count(std::string(node->uri)), 1u) << node->name;
        }
        std::size_t declarations = 0;
        for (auto at = xml.find(" xmlns:"); at != std::string::npos; at = xml.find(" xmlns:", at + 1)) ++declarations;
        EXPECT_EQ(declarations, expected.size()) << xml;
        EXPECT_EQ(document.root().uri, NamespaceUri);
    }
}

TEST(XmlStreamTest, ServiceDataChildrenLieInTheBaseNamespace)
{
    const XMLDocument document(writeRoot(*sampleResponse(), "R"));
    const XMLNode& serviceData = *document.root().children.at(1);
    ASSERT_EQ(serviceData.name, "ServiceData");
    EXPECT_EQ(serviceData.uri, "");
    ASSERT_EQ(serviceData.children.size(), 2u);
    for (const XMLNode* child : serviceData.children) EXPECT_EQ(child->uri, baseUri) << child->name;
}

TEST(XmlStreamTest, UndeclaredNamespaceInsideAnElementIsRefused)
{
    XmlStream stream;
    stream.beginElement("ns1:r", {"urn:declared"});
    EXPECT_EQ(stream.getNamespacePrefix("urn:declared"), "ns1");
    EXPECT_THROW(stream.getNamespacePrefix("urn:late"), DomException);

    // A base-namespace object under a root that never declared that namespace.
    XmlStream foreign;
    foreign.beginElement("r", {});
    ServiceData data;
    data.addCreated("x");
    EXPECT_THROW(data.outputXML(foreign, "ServiceData"), DomException);
}

TEST(XmlStreamTest, IndentedOutputReadsBackAsTheCompactTree)
{
    const auto response = sampleResponse();
    const std::string compact = writeRoot(*response, "R");
    EXPECT_EQ(compact.find('\n'), std::string::npos);
    for (int indent : {1, 2, 4}) {
        const std::string pretty = writeRoot(*response, "R", indent);
        EXPECT_NE(pretty.find("\n" + std::string(static_cast<std::size_t>(indent), ' ') + "<"), std::string::npos);
        EXPECT_EQ(shapeOf(XMLDocument(pretty).root()), shapeOf(XMLDocument(compact).root())) << pretty;
    }
}

TEST(XmlStreamTest, IndentedDocumentEndsWithTheRootEndTagOnALineOfItsOwn)
{
    const auto response = sampleResponse();
    for (int indent : {1, 2, 4}) {
        const std::string pretty = writeRoot(*response, "R", indent);
        EXPECT_EQ(pretty.substr(pretty.rfind('\n') + 1), "</ns1:R>") << pretty;

        // The same through the texts a caller inserts by hand.
        XmlStream stream;
        stream.setIndent(indent);
        stream.beginElement("r", {});
        stream << stream.writeOpenElementClose("", false);
        stream.beginElement("c", {});
        stream << stream.writeOpenElementClose("", true);
        stream << stream.writeCloseElement("", "r");
        EXPECT_EQ(stream.str(), "<r>\n" + std::string(static_cast<std::size_t>(indent), ' ') + "<c/>\n</r>");
    }
    // A root without child elements stays one line.
    EXPECT_EQ(writeRoot(IntMap(), "R", 2).find('\n'), std::string::npos);
}

TEST(XmlStreamTest, DepthLimitOnWriting)
{
    // Namespace collection for the outermost element follows the same limit,
    // also where it lies beyond collection's own default.
    struct Case { std::size_t limit; int levels; bool accepted; };
    for (const Case& c : {Case{3, 1, true}, Case{3, 2, false}, Case{5, 2, true}, Case{5, 3, false},
                          Case{XmlStream::defaultMaxDepth, 127, true}, Case{XmlStream::defaultMaxDepth, 128, false},
                          Case{XmlStream::defaultMaxDepth, 130, false}, Case{261, 130, true}, Case{1201, 600, true},
                          Case{1200, 600, false}, Case{4001, 2000, true}}) {
        const auto input = nestedInput(c.levels);
        XmlStream stream;
        stream.setMaxDepth(c.limit);
        const auto error = domErrorOf([&] { writeRoot(*input, "CreateInput", stream); });
        EXPECT_EQ(!error.has_value(), c.accepted) << "limit " << c.limit << ", levels " << c.levels;
        EXPECT_EQ(BaseObject::collectionDepthLimit(), BaseObject::defaultCollectionDepth);
        if (error) {
            EXPECT_NE(error->getMessage().find("limit of " + std::to_string(c.limit)), std::string::npos)
                << error->getMessage();
            continue;
        }
        const XMLDocument document(stream.str(), XMLReadLimits{c.limit});
        std::size_t depth = 0;
        for (const XMLNode* node = &document.root(); node; node = node->children.empty() ? nullptr : node->children[0])
            ++depth;
        EXPECT_EQ(depth, static_cast<std::size_t>(1 + 2 * c.levels));
    }
}

TEST(XmlStreamTest, CyclicTreeIsRefusedNotFollowed)
{
    AutoPtr<CreateInput> input(new CreateInput);
    AutoPtr<CreateInputMap> map(new CreateInputMap);
    input->addCompoundCreateInput(map);
    map->addValue(input);
    std::set<std::string> namespaces;
    EXPECT_THROW(input->getNamespaces(namespaces), DomException);
    XmlStream stream;
    EXPECT_THROW(writeRoot(*input, "CreateInput", stream), DomException);
    map->setValueArray({}); // break the cycle so both are freed
}

// Numbers are formatted straight into the output; what arrives must be the
// text lexical_cast gives, extremes and specials included.
TEST(XmlStreamTest, NumbersWrittenInPlaceAreLexicalCastsText)
{
    using Kavella::Soa::Common::lexical_cast;
    const auto expectSame = [](auto value) {
        XmlStream stream;
        stream.appendAttribute("v", value);
        stream.appendValue(value);
        const std::string text = lexical_cast<std::string>(value);
        EXPECT_EQ(stream.str(), " v=\"" + text + "\"" + text);
    };
    for (int value : {0, -1, 42, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) expectSame(value);
    for (double value : {0.0, -0.0, 0.1, -1e300, std::numeric_limits<double>::denorm_min(),
                         std::numeric_limits<double>::max(), std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        expectSame(value);
    for (float value : {0.0f, -0.0f, 0.1f, std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::max(),
                        -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()})
        expectSame(value);
    expectSame(true);
    expectSame(false);
}
