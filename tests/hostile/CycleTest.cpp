// A caller can close a loop through compound inputs; writing or collecting
// namespaces must then fail with a clear error instead of recursing forever.

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "HostileSupport.hpp"

namespace {

using namespace hostile;

/// Creation inputs joined in a ring, each holding the next through one compound input.
class Ring {
public:
    explicit Ring(std::size_t length)
    {
        for (std::size_t i = 0; i < length; ++i) m_inputs.emplace_back(new wi::CreateInput);
        for (std::size_t i = 0; i < length; ++i) {
            AutoPtr<wi::CreateInputMap> map(new wi::CreateInputMap);
            map->addValue(m_inputs[(i + 1) % length]);
            m_inputs[i]->addCompoundCreateInput(map);
        }
    }
    // The loop keeps every member alive: cut it so that nothing leaks.
    ~Ring() { m_inputs.front()->setCompoundCreateInputArray({}); }
    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;

    const AutoPtr<wi::CreateInput>& entry() const { return m_inputs.front(); }

private:
    std::vector<AutoPtr<wi::CreateInput>> m_inputs;
};

struct CycleCase {
    const char* where;
    std::function<void(const Ring&, XmlStream&)> write;
    std::function<void(const Ring&, std::set<std::string>&)> collect;
};

std::vector<CycleCase> cycleCases()
{
    return {
        {"creation input at the top",
         [](const Ring& ring, XmlStream& stream) { ring.entry()->outputXML(stream, "wi:CreateInput"); },
         [](const Ring& ring, std::set<std::string>& set) { ring.entry()->getNamespaces(set); }},
        {"below a save request",
         [](const Ring& ring, XmlStream& stream) {
             AutoPtr<wi::SavedSubSTXInfo> dcd(new wi::SavedSubSTXInfo);
             dcd->setObjectData(ring.entry());
             AutoPtr<wi::SavedObjectInfo> saved(new wi::SavedObjectInfo);
             saved->addModifiedDCD(dcd);
             wi::SaveWorkInstructionDocInput request;
             request.addSavedObject(saved);
             request.outputXML(stream, "wi:SaveWorkInstructionDocInput");
         },
         [](const Ring& ring, std::set<std::string>& set) {
             AutoPtr<wi::LoadedSubSTXInfo> pf(new wi::LoadedSubSTXInfo);
             pf->setObjectData(ring.entry());
             AutoPtr<wi::LoadedObjectInfo> loaded(new wi::LoadedObjectInfo);
             loaded->addLoadedPF(pf);
             wi::LoadedObjectsResponse response;
             response.addLoadedObject(loaded);
             response.getNamespaces(set);
         }},
        {"inside an element another writer opened",
         [](const Ring& ring, XmlStream& stream) {
             // The outermost element has been begun already, so no namespace
             // collection runs first: the writer's own depth limit must stop it.
             stream.beginElement("envelope", {wi::NamespaceUri});
             stream.append(stream.writeOpenElementClose("", false));
             ring.entry()->outputXML(stream, "wi:CreateInput");
         },
         [](const Ring& ring, std::set<std::string>& set) {
             set.insert("urn:already-there");
             AutoPtr<wi::SavedSubSTXInfo> dcd(new wi::SavedSubSTXInfo);
             dcd->setObjectData(ring.entry());
             dcd->getNamespaces(set);
         }},
    };
}

void expectCycleRefused(const std::function<void()>& call)
{
    const std::string error = domError(call);
    EXPECT_NE(error.find("cycle"), std::string::npos) << error;
}

TEST(HostileCycle, WritingAndCollectingNamespacesFailCleanlyOnAOneMebibyteStack)
{
    for (const std::size_t length : {std::size_t{1}, std::size_t{2}, std::size_t{7}}) {
        for (const auto& [where, write, collect] : cycleCases()) {
            SCOPED_TRACE(std::string(where) + ", ring of " + std::to_string(length));
            const Ring ring(length);
            runWithStack(kOneMebibyte, [&] {
                XmlStream stream;
                expectCycleRefused([&] { write(ring, stream); });
                std::set<std::string> namespaces;
                expectCycleRefused([&] { collect(ring, namespaces); });
            });
            // Both fail again the same way: no state was left behind.
            XmlStream stream;
            expectCycleRefused([&] { write(ring, stream); });
        }
    }
}

TEST(HostileCycle, SharedSubtreeWithoutALoopIsWritten)
{
    // A diamond is not a cycle: the shared input is written once per holder.
    AutoPtr<wi::CreateInput> shared(new wi::CreateInput);
    shared->setType("shared");
    AutoPtr<wi::CreateInputMap> map(new wi::CreateInputMap);
    map->addValue(shared);
    map->addValue(shared);
    wi::CreateInput top;
    top.addCompoundCreateInput(map);
    top.addCompoundCreateInput(map);

    const std::string written = writeMessage(top, "CreateInput");
    wi::CreateInput reread;
    parseMessage(reread, written);
    ASSERT_EQ(reread.getCompoundCreateInputArray().size(), 2u);
    EXPECT_EQ(reread.getCompoundCreateInputArray()[1]->getValueArray().size(), 2u);
    EXPECT_EQ(reread.getCompoundCreateInputArray()[1]->getValueArray()[1]->getType(), "shared");
}

TEST(HostileCycle, ThreadThatMetACycleWritesSoundTreesAfterwards)
{
    const Ring ring(3);
    XmlStream failed;
    expectCycleRefused([&] { ring.entry()->outputXML(failed, "wi:CreateInput"); });

    wi::IntMap entry;
    entry.setKey("after");
    entry.setValue(5);
    wi::IntMap reread;
    parseMessage(reread, writeMessage(entry, "IntMap"));
    EXPECT_EQ(reread.getKey(), "after");
    EXPECT_EQ(reread.getValue(), 5);
}

} // namespace
