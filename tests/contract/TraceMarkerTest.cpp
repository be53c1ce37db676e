// The trace markers of every class: what a listener hears of writes and
// reads, of reads that fail, and when it is installed during a read.

#include <functional>
#include <sstream>
#include <utility>

#include "ClassModels.hpp"

namespace contract {
namespace {

void suppressAll(XMLNode& node)
{
    node.traceSuppression = 1;
    for (XMLNode* child : node.children) suppressAll(*child);
}

template <typename T>
class TraceMarkers : public ::testing::Test {
protected:
    using Row = Model<T>;
    // Every class that holds objects reaches a ModelObject or a ServiceData once filled.
    static constexpr bool holdsObjects = Row::filledUsesBase;

    static std::string trace(const char* operation) { return classPrefix + Row::name + "::" + operation; }
};
TYPED_TEST_SUITE(TraceMarkers, AllClasses, ClassName);

TYPED_TEST(TraceMarkers, OutputMarkersBracketTheElementAndNestedObjectsNestInside)
{
    TypeParam object;
    fill(object);
    RecordingListener listener;
    write(object);
    ASSERT_FALSE(listener.events.empty());
    EXPECT_EQ(listener.events.front(), "+" + TestFixture::trace("outputXML"));
    EXPECT_EQ(listener.events.back(), "-" + TestFixture::trace("outputXML"));
    EXPECT_EQ(nestingFault(listener.events), "");
    EXPECT_EQ(startedClasses(listener.events, "::outputXML").size() > 1, TestFixture::holdsObjects);
}

TYPED_TEST(TraceMarkers, ParseMarkersFollowTheSameTreeAsTheOutputMarkers)
{
    const std::string text = filledText<TypeParam>();
    RecordingListener listener;
    TypeParam object;
    read(object, text);
    ASSERT_FALSE(listener.events.empty());
    EXPECT_EQ(listener.events.front(), "+" + TestFixture::trace("parse"));
    EXPECT_EQ(listener.events.back(), "-" + TestFixture::trace("parse"));
    EXPECT_EQ(nestingFault(listener.events), "");
    const auto parsed = startedClasses(listener.events, "::parse");

    listener.events.clear();
    write(object);
    EXPECT_EQ(parsed, startedClasses(listener.events, "::outputXML"));
}

TYPED_TEST(TraceMarkers, SuppressedNodesGiveNoParseMarkers)
{
    const std::string text = filledText<TypeParam>();
    RecordingListener listener;
    XMLDocument document(text);
    TypeParam full;
    full.parse(document.root());
    const auto allEvents = listener.events;
    ASSERT_GE(allEvents.size(), 2u);

    listener.events.clear();
    document.root().traceSuppression = 1;
    TypeParam rootQuiet;
    rootQuiet.parse(document.root());
    EXPECT_EQ(listener.events, std::vector<std::string>(allEvents.begin() + 1, allEvents.end() - 1));

    listener.events.clear();
    suppressAll(document.root());
    TypeParam allQuiet;
    allQuiet.parse(document.root());
    EXPECT_TRUE(listener.events.empty());
    EXPECT_EQ(write(allQuiet), text);
}

TYPED_TEST(TraceMarkers, FailedParseEmitsNoEndMarker)
{
    const std::string text = filledText<TypeParam>();
    RecordingListener listener;
    const std::string start = "+" + TestFixture::trace("parse");
    TypeParam object;
    if constexpr (std::is_same_v<TypeParam, wi::StringMap>) {
        XMLDocument document(R"(<Root key="k" value="@"/>)"); // any text is a string
        object.parse(document.root());
        EXPECT_EQ(listener.events, (std::vector<std::string>{start, "-" + TestFixture::trace("parse")}));
    } else if constexpr (attributeOnly<TypeParam>) {
        XMLDocument document(R"(<Root key="k" value="@"/>)");
        EXPECT_THROW(object.parse(document.root()), DomException);
        EXPECT_EQ(listener.events, std::vector<std::string>{start});
        EXPECT_EQ(object.getKey(), "k");
    } else {
        XMLDocument document(text);
        XMLNode stranger;
        stranger.name = "stranger";
        document.root().children.push_back(&stranger);
        EXPECT_EQ(failureOf([&] { object.parse(document.root()); }), "Unexpected node name: stranger");
        ASSERT_FALSE(listener.events.empty());
        EXPECT_EQ(listener.events.front(), start);
        EXPECT_EQ(nestingFault(listener.events), "start never ended: " + TestFixture::trace("parse"));
    }
}

TYPED_TEST(TraceMarkers, ReadXmlSendsTheMarkersParseSends)
{
    TypeParam filled;
    fill(filled);
    const std::string text = wi::writeXml(filled);
    RecordingListener listener;
    TypeParam parsed;
    parsed.parse(XMLDocument(text).root());
    const auto fromTree = listener.events;
    listener.events.clear();
    wi::readXml<TypeParam>(text);
    EXPECT_EQ(listener.events, fromTree);
    std::istringstream stream(text);
    listener.events.clear();
    wi::readXml<TypeParam>(stream);
    EXPECT_EQ(listener.events, fromTree);
}

/// Installs a listener, where none was, as the read makes its first object.
class InstallingManager : public MemoryManager {
public:
    InstallingManager(MonitorListener& listener, int before) : m_listener(listener), m_left(before + 1)
    {
        setMemoryManager(this);
    }
    ~InstallingManager() override { setMemoryManager(nullptr); }
    void* allocate(std::size_t size, const char*) override
    {
        if (--m_left == 0) Monitor::setListener(&m_listener);
        return ::operator new(size);
    }
    void deallocate(void* pointer) override { ::operator delete(pointer); }
    void* placementallocate(std::size_t, void* place) override { return place; }
    void placementdeallocate(void*, void*) override {}
    bool installed() const { return m_left <= 0; }

private:
    MonitorListener& m_listener;
    int m_left;
};

/// Hands over to another listener at the second start marker of an object.
class HandingOver : public MonitorListener {
public:
    explicit HandingOver(MonitorListener& next) : m_next(next) { Monitor::setListener(this); }
    void onStart(const std::string& traceName) override
    {
        if (traceName != XMLEventReader::traceName && ++m_starts == 2) Monitor::setListener(&m_next);
    }

private:
    MonitorListener& m_next;
    int m_starts = 0;
};

TYPED_TEST(TraceMarkers, AListenerInstalledDuringAReadHearsOnlyWholePairs)
{
    TypeParam filled;
    fill(filled);
    const std::string text = wi::writeXml(filled);
    int made = 0; // by new TypeParam, before any reading
    {
        CountingManager counting;
        AutoPtr<TypeParam> fresh(new TypeParam);
        made = static_cast<int>(counting.allocations.size());
    }
    std::size_t starts = 0;
    {
        RecordingListener all;
        wi::readXml<TypeParam>(text);
        starts = startedClasses(all.events, "::parse").size();
    }
    const std::pair<int, std::function<void()>> reads[] = {
        {made, [&] { wi::readXml<TypeParam>(text); }},
        {made - 1, [&] { TypeParam().parse(XMLDocument(text).root()); }}, // on the stack
    };
    for (const auto& [before, read] : reads) {
        RecordingListener late;
        Monitor::setListener(nullptr);
        {
            InstallingManager installing(late, before);
            read();
            // The object being made when it came is heard whole.
            EXPECT_EQ(late.events.empty(), !installing.installed());
        }
        EXPECT_EQ(nestingFault(late.events), "");

        late.events.clear();
        HandingOver first(late);
        read();
        EXPECT_EQ(nestingFault(late.events), "");
        EXPECT_EQ(late.events.empty(), starts <= 2);
    }
}

} // namespace
} // namespace contract
