// The writer's shortcuts against the plain ways they replace: names formed
// once per prefix and shared between threads, the namespace search that
// replaced the full walk, and a result string that is moved out, not copied.

#include <string>
#include <thread>
#include <vector>

#include "ClassModels.hpp"

namespace contract {
namespace {

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

/// plain, written with ns1 for the schema namespace, as if prefix had been chosen.
std::string withPrefix(const std::string& plain, const std::string& prefix)
{
    return replaceAll(replaceAll(plain, "xmlns:ns1=", "xmlns:" + prefix + "="), "ns1:", prefix + ":");
}

/// object written with prefix chosen for the schema namespace.
template <typename T>
std::string writtenWithPrefix(const T& object, const std::string& prefix)
{
    XmlStream stream;
    stream.setNamespacePrefix(schemaUri, prefix);
    object.outputXML(stream, prefix + ":Root");
    return stream.str();
}

TEST(Writer, EveryPrefixNamesItsOwnElementsBeyondTheSharedTables)
{
    // More prefixes than the tables shared per namespace: the later ones are
    // formed per write, and none borrows another's names.
    const auto object = filled<wi::LoadedObjectsResponse>();
    const std::string plain = write(*object);
    ASSERT_NE(plain.find("<ns1:loadedObjects"), std::string::npos);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 9; ++i) {
            const std::string prefix = "p" + std::to_string(i);
            SCOPED_TRACE(prefix);
            EXPECT_EQ(writtenWithPrefix(*object, prefix), withPrefix(plain, prefix));
        }
    }
}

TEST(Writer, ThreadsWritingUnderDifferentPrefixesAtOnceEachGetTheirOwn)
{
    const auto object = filled<wi::SaveWorkInstructionDocInput>();
    const std::string plain = write(*object);
    constexpr int kThreads = 6;
    std::vector<std::string> faults(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string prefix = "t" + std::to_string(t);
            const std::string expected = withPrefix(plain, prefix);
            for (int i = 0; i < 200 && faults[t].empty(); ++i) {
                if (writtenWithPrefix(*object, prefix) != expected) faults[t] = prefix + " wrote other names";
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& fault : faults) EXPECT_EQ(fault, "");
}

struct ReachRow {
    const char* shape;
    AutoPtr<BaseObject> (*make)();
    bool usesBase;
};

AutoPtr<wi::CreateInput> holding(AutoPtr<wi::CreateInput> inner)
{
    auto map = make<wi::CreateInputMap>();
    map->addValue(inner);
    auto outer = make<wi::CreateInput>();
    outer->addCompoundCreateInput(map);
    return outer;
}

TEST(Writer, OutermostElementDeclaresWhatTheFullCollectionFinds)
{
    // The search looks only where the base namespace can be and stops at the
    // first find; the declarations must still be those getNamespaces gives.
    const ReachRow rows[] = {
        {"empty input", [] { return AutoPtr<BaseObject>(make<wi::CreateInput>()); }, false},
        {"tag four levels down",
         [] {
             auto deepest = make<wi::CreateInput>();
             deepest->addTagProp(make<wi::TagMap>());
             return AutoPtr<BaseObject>(holding(holding(holding(deepest))));
         },
         true},
        {"empty tag arrays only",
         [] {
             auto inner = make<wi::CreateInput>();
             inner->addTagArrayProp(make<wi::TagVectorMap>());
             inner->addStringProp(make<wi::StringMap>());
             return AutoPtr<BaseObject>(holding(holding(inner)));
         },
         false},
        {"tag in the last of many entries",
         [] {
             auto map = make<wi::CreateInputMap>();
             for (int i = 0; i < 50; ++i) map->addValue(make<wi::CreateInput>());
             auto last = make<wi::CreateInput>();
             auto tags = make<wi::TagVectorMap>();
             tags->addValue(model("late"));
             last->addTagArrayProp(tags);
             map->addValue(last);
             auto top = make<wi::CreateInput>();
             top->addCompoundCreateInput(map);
             return AutoPtr<BaseObject>(top);
         },
         true},
    };
    for (const ReachRow& row : rows) {
        SCOPED_TRACE(row.shape);
        const AutoPtr<BaseObject> object = row.make();
        std::set<std::string> collected;
        object->getNamespaces(collected);
        EXPECT_EQ(collected.count(baseUri) == 1, row.usesBase);
        const std::string text = write(static_cast<const wi::CreateInput&>(*object));
        const std::string start = text.substr(0, text.find('>'));
        EXPECT_EQ(start.find(baseUri) != std::string::npos, row.usesBase) << start;
    }
}

TEST(Writer, TakenTextIsTheWrittenTextAndTheStreamStartsAfresh)
{
    // Several megabytes: the buffer grows by doubling, then by half, zeroed a step at a time.
    for (const std::size_t size : {std::size_t{0}, std::size_t{100}, std::size_t{5000}, std::size_t{3} << 20}) {
        SCOPED_TRACE(size);
        wi::StringMap entry;
        entry.setKey("big");
        std::string value(size, 'x');
        for (std::size_t i = 0; i < size; i += 997) value[i] = '&';
        entry.setValue(value);
        const std::string expected = "<ns1:StringMap xmlns:ns1=\"" + schemaUri + "\" key=\"big\" value=\"" +
                                     replaceAll(value, "&", "&amp;") + "\"/>";
        EXPECT_EQ(wi::writeXml(entry), expected);

        XmlStream stream;
        entry.outputXML(stream, stream.getNamespacePrefix(schemaUri) + ":StringMap");
        EXPECT_EQ(stream.str(), expected);
        EXPECT_EQ(stream.take(), expected);
        EXPECT_EQ(stream.str(), "");
        stream.append("<after/>");
        EXPECT_EQ(stream.take(), "<after/>");
    }
}

} // namespace
} // namespace contract
