// The floor under readXml: what the object contract forces and nothing else.
// One allocation per object through its class's operator new, an AutoPtr per
// nested object, a std::string per text, the runtime's conversions, and a
// dispatch written by hand for the two messages measured. Whatever readXml
// spends above it is the price of its generality and of its guarantees.

#include "FloorReader.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Benchmarks.hpp"
#include "EmptyParse.hpp"
#include "kvsoa/Conversions.hpp"

namespace kvsoabench
{

namespace
{

using namespace wi;
using ::Kavella::Schemas::Soa::_2006_03::Base::PartialError;
using ::Kavella::Soa::Common::lexical_cast;
using ::Kavella::Soa::Common::MemoryManager;

enum class Kind : std::uint8_t {
    Save,
    SavedObject,
    SavedSub,
    SavedStx,
    Load,
    LoadedObject,
    LoadedSub,
    LoadedStx,
    Create,
    CreateMap,
    TagEntry,
    StringArray,
    DoubleArray,
    FloatArray,
    IntArray,
    BoolArray,
    DateArray,
    TagArray,
    Service,
    Text, // a value of the array in the frame below
    Skip, // nothing in it is read: a reference's or a leaf entry's content
};

struct Frame {
    Kind kind;
    BaseObject* object;
};

// The getters hand arrays out const; the objects are ours and not const, and
// putting a new entry in by move spares the extra reference an adder takes.
template <typename T>
std::vector<T>& owned(const std::vector<T>& entries)
{
    return const_cast<std::vector<T>&>(entries);
}

template <typename Object>
Object* append(const std::vector<AutoPtr<Object>>& entries)
{
    AutoPtr<Object> entry(new Object);
    Object* object = entry.get();
    owned(entries).push_back(std::move(entry));
    return object;
}

bool is(const char* name, const char* expected)
{
    return std::strcmp(name, expected) == 0;
}

class FloorReader : public Libxml2Parse
{
public:
    FloorReader(Kind rootKind, BaseObject* root) : m_rootKind(rootKind), m_root(root) { m_frames.reserve(16); }

    void read(const std::string& text)
    {
        xmlSAXHandler sax{};
        sax.startElementNs = &onStart;
        sax.endElementNs = &onEnd;
        sax.characters = &onText;
        const bool parsed = parseWithLibxml2(text, sax, *this);
        if (m_error) std::rethrow_exception(m_error);
        if (!parsed) throw std::runtime_error("libxml2 refused the document");
    }

private:
    using Attributes = const xmlChar**;

    static FloorReader& self(void* data) { return static_cast<FloorReader&>(*static_cast<Libxml2Parse*>(data)); }

    // libxml2 is C: nothing may unwind through it.
    template <typename Step>
    void guarded(Step step)
    {
        if (m_error) return;
        try {
            step();
        } catch (...) {
            m_error = std::current_exception();
            xmlStopParser(context);
        }
    }

    static void onStart(void* data, const xmlChar* name, const xmlChar*, const xmlChar*, int, const xmlChar**,
                        int count, int, const xmlChar** attributes)
    {
        FloorReader& reader = self(data);
        reader.guarded([&] { reader.start(reinterpret_cast<const char*>(name), count, attributes); });
    }

    static void onEnd(void* data, const xmlChar*, const xmlChar*, const xmlChar*)
    {
        FloorReader& reader = self(data);
        reader.guarded([&] { reader.end(); });
    }

    static void onText(void* data, const xmlChar* text, int size)
    {
        FloorReader& reader = self(data);
        if (!reader.m_frames.empty() && reader.m_frames.back().kind == Kind::Text)
            reader.m_text.append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
    }

    // Calls read(name, value) for each attribute without a namespace, the only
    // ones a class reads.
    template <typename Read>
    void attributes(int count, Attributes at, Read read)
    {
        for (int i = 0; i < count; ++i, at += 5) {
            if (at[2]) continue;
            read(reinterpret_cast<const char*>(at[0]),
                 std::string_view(reinterpret_cast<const char*>(at[3]), static_cast<std::size_t>(at[4] - at[3])));
        }
    }

    // Left unreplaced, libxml2 hands an ampersand in a value on as "&#38;".
    std::string_view decoded(std::string_view value)
    {
        if (value.find('&') == std::string_view::npos) return value;
        m_scratch.clear();
        for (std::size_t at = 0; at < value.size();) {
            const std::size_t amp = value.find("&#38;", at);
            m_scratch.append(value.substr(at, amp - at));
            if (amp == std::string_view::npos) break;
            m_scratch += '&';
            at = amp + 5;
        }
        return m_scratch;
    }

    void assign(std::string& target, std::string_view value) { target.assign(decoded(value)); }

    void push(Kind kind, BaseObject* object) { m_frames.push_back({kind, object}); }

    void reference(ModelObject& object, int count, Attributes at)
    {
        attributes(count, at, [&](const char* name, std::string_view value) {
            if (is(name, "uid")) assign(object.getUid(), value);
        });
        push(Kind::Skip, nullptr);
    }

    // A key and a value, both attributes of an element whose content is not read.
    template <typename Entry>
    void scalar(const std::vector<AutoPtr<Entry>>& entries, int count, Attributes at)
    {
        Entry& entry = *append(entries);
        attributes(count, at, [&](const char* name, std::string_view value) {
            if (is(name, "key")) {
                assign(entry.getKey(), value);
            } else if (is(name, "value")) {
                if constexpr (std::is_same_v<Entry, StringMap>) {
                    assign(entry.getValue(), value);
                } else {
                    entry.setValue(lexical_cast<std::decay_t<decltype(entry.getValue())>>(value));
                }
            }
        });
        push(Kind::Skip, nullptr);
    }

    // A key attribute; the values follow as child elements.
    template <typename Entry>
    void keyed(Kind kind, const std::vector<AutoPtr<Entry>>& entries, int count, Attributes at)
    {
        Entry& entry = *append(entries);
        attributes(count, at, [&](const char* name, std::string_view value) {
            if (is(name, "key")) assign(entry.getKey(), value);
        });
        push(kind, &entry);
    }

    void createInput(CreateInput& input, int count, Attributes at)
    {
        attributes(count, at, [&](const char* name, std::string_view value) {
            if (is(name, "type")) assign(input.getType(), value);
        });
        push(Kind::Create, &input);
    }

    template <typename Sub>
    void subEntry(Kind kind, const std::vector<AutoPtr<Sub>>& entries, int count, Attributes at)
    {
        Sub& entry = *append(entries);
        attributes(count, at, [&](const char* name, std::string_view value) {
            if (is(name, "transientId")) {
                assign(entry.getTransientId(), value);
            } else if (is(name, "persistentId")) {
                assign(entry.getPersistentId(), value);
            } else if (is(name, "owningObjectTransientId")) {
                assign(entry.getOwningObjectTransientId(), value);
            } else if constexpr (std::is_same_v<Sub, LoadedSubSTXInfo>) {
                if (is(name, "objectType")) assign(entry.getObjectType(), value);
            }
        });
        push(kind, &entry);
    }

    void start(const char* name, int count, Attributes at)
    {
        if (m_frames.empty()) {
            push(m_rootKind, m_root); // any name, as readXml reads the document element
            return;
        }
        const Frame top = m_frames.back();
        switch (top.kind) {
        case Kind::Save:
            if (is(name, "savedObjects")) {
                auto& record = *append(static_cast<SaveWorkInstructionDocInput*>(top.object)->getSavedObjectArray());
                attributes(count, at, [&](const char* attribute, std::string_view value) {
                    if (is(attribute, "workInstructionFile")) assign(record.getWorkInstructionFile(), value);
                });
                return push(Kind::SavedObject, &record);
            }
            break;
        case Kind::SavedObject: {
            auto& record = *static_cast<SavedObjectInfo*>(top.object);
            if (is(name, "targetObject")) return reference(*record.getTargetObject(), count, at);
            if (is(name, "modifiedDCDs")) return subEntry(Kind::SavedSub, record.getModifiedDCDArray(), count, at);
            if (is(name, "modifiedPFs")) return subEntry(Kind::SavedSub, record.getModifiedPFArray(), count, at);
            if (is(name, "symbols")) return reference(*append(record.getSymbolArray()), count, at);
            if (is(name, "modifiedSTXs")) {
                auto& stx = *append(record.getModifiedSTXArray());
                attributes(count, at, [&](const char* attribute, std::string_view value) {
                    if (is(attribute, "transientId")) assign(stx.getTransientId(), value);
                });
                return push(Kind::SavedStx, &stx);
            }
            break;
        }
        case Kind::SavedSub:
            if (is(name, "objectData"))
                return createInput(*static_cast<SavedSubSTXInfo*>(top.object)->getObjectData(), count, at);
            break;
        case Kind::SavedStx:
            if (is(name, "stxObjectData"))
                return reference(*static_cast<SavedSTXInfo*>(top.object)->getStxObjectData(), count, at);
            break;
        case Kind::Load: {
            auto& reply = *static_cast<LoadedObjectsResponse*>(top.object);
            if (is(name, "loadedObjects")) {
                auto& record = *append(reply.getLoadedObjectArray());
                attributes(count, at, [&](const char* attribute, std::string_view value) {
                    if (is(attribute, "workInstructionFile")) {
                        assign(record.getWorkInstructionFile(), value);
                    } else if (is(attribute, "topObjectDisplayName")) {
                        assign(record.getTopObjectDisplayName(), value);
                    } else if (is(attribute, "targetObjectTransientId")) {
                        assign(record.getTargetObjectTransientId(), value);
                    }
                });
                return push(Kind::LoadedObject, &record);
            }
            if (is(name, "ServiceData")) return push(Kind::Service, reply.getServiceData().get());
            break;
        }
        case Kind::LoadedObject: {
            auto& record = *static_cast<LoadedObjectInfo*>(top.object);
            if (is(name, "targetContext")) return reference(*record.getTargetContext(), count, at);
            if (is(name, "targetObject")) return reference(*record.getTargetObject(), count, at);
            if (is(name, "loadedDCDs")) return subEntry(Kind::LoadedSub, record.getLoadedDCDArray(), count, at);
            if (is(name, "loadedPFs")) return subEntry(Kind::LoadedSub, record.getLoadedPFArray(), count, at);
            if (is(name, "symbols")) return reference(*append(record.getSymbolArray()), count, at);
            if (is(name, "loadedSTXs")) {
                auto& stx = *append(record.getLoadedSTXArray());
                attributes(count, at, [&](const char* attribute, std::string_view value) {
                    if (is(attribute, "transientId")) {
                        assign(stx.getTransientId(), value);
                    } else if (is(attribute, "workInstructionFile")) {
                        assign(stx.getWorkInstructionFile(), value);
                    }
                });
                return push(Kind::LoadedStx, &stx);
            }
            break;
        }
        case Kind::LoadedSub:
            if (is(name, "objectData"))
                return createInput(*static_cast<LoadedSubSTXInfo*>(top.object)->getObjectData(), count, at);
            break;
        case Kind::LoadedStx: {
            auto& stx = *static_cast<LoadedSTXInfo*>(top.object);
            if (is(name, "stxObjectData")) return reference(*stx.getStxObjectData(), count, at);
            if (is(name, "symbols")) return reference(*append(stx.getSymbolArray()), count, at);
            break;
        }
        case Kind::Create:
            if (startInCreateInput(*static_cast<CreateInput*>(top.object), name, count, at)) return;
            break;
        case Kind::CreateMap:
            if (is(name, "value")) return createInput(*append(static_cast<CreateInputMap*>(top.object)->getValueArray()), count, at);
            break;
        case Kind::TagEntry:
            if (is(name, "value")) return reference(*static_cast<TagMap*>(top.object)->getValue(), count, at);
            break;
        case Kind::TagArray:
            if (is(name, "value"))
                return reference(*append(static_cast<TagVectorMap*>(top.object)->getValueArray()), count, at);
            break;
        case Kind::StringArray:
        case Kind::DoubleArray:
        case Kind::FloatArray:
        case Kind::IntArray:
        case Kind::BoolArray:
        case Kind::DateArray:
            if (is(name, "value")) {
                m_text.clear();
                return push(Kind::Text, top.object);
            }
            break;
        case Kind::Service:
            if (startInServiceData(*static_cast<ServiceData*>(top.object), name, count, at)) return;
            break;
        case Kind::Text:
        case Kind::Skip:
            return push(Kind::Skip, nullptr);
        }
        throw std::runtime_error("unexpected element " + std::string(name));
    }

    bool startInCreateInput(CreateInput& input, const char* name, int count, Attributes at)
    {
        // Each of the fifteen names is told apart by its first letter and length.
        switch (name[0]) {
        case 's':
            if (is(name, "stringProps")) return scalar(input.getStringPropArray(), count, at), true;
            if (is(name, "stringArrayProps")) return keyed(Kind::StringArray, input.getStringArrayPropArray(), count, at), true;
            break;
        case 'd':
            if (is(name, "doubleProps")) return scalar(input.getDoublePropArray(), count, at), true;
            if (is(name, "doubleArrayProps")) return keyed(Kind::DoubleArray, input.getDoubleArrayPropArray(), count, at), true;
            if (is(name, "dateProps")) return scalar(input.getDatePropArray(), count, at), true;
            if (is(name, "dateArrayProps")) return keyed(Kind::DateArray, input.getDateArrayPropArray(), count, at), true;
            break;
        case 'f':
            if (is(name, "floatProps")) return scalar(input.getFloatPropArray(), count, at), true;
            if (is(name, "floatArrayProps")) return keyed(Kind::FloatArray, input.getFloatArrayPropArray(), count, at), true;
            break;
        case 'i':
            if (is(name, "intProps")) return scalar(input.getIntPropArray(), count, at), true;
            if (is(name, "intArrayProps")) return keyed(Kind::IntArray, input.getIntArrayPropArray(), count, at), true;
            break;
        case 'b':
            if (is(name, "boolProps")) return scalar(input.getBoolPropArray(), count, at), true;
            if (is(name, "boolArrayProps")) return keyed(Kind::BoolArray, input.getBoolArrayPropArray(), count, at), true;
            break;
        case 't':
            if (is(name, "tagProps")) return keyed(Kind::TagEntry, input.getTagPropArray(), count, at), true;
            if (is(name, "tagArrayProps")) return keyed(Kind::TagArray, input.getTagArrayPropArray(), count, at), true;
            break;
        case 'c':
            if (is(name, "compoundCreateInput")) return keyed(Kind::CreateMap, input.getCompoundCreateInputArray(), count, at), true;
            break;
        default:
            break;
        }
        return false;
    }

    bool startInServiceData(ServiceData& data, const char* name, int count, Attributes at)
    {
        const std::vector<std::string>* uids = is(name, "created") ? &data.getCreatedArray()
                                               : is(name, "updated") ? &data.getUpdatedArray()
                                               : is(name, "deleted") ? &data.getDeletedArray()
                                                                     : nullptr;
        if (uids) {
            std::string& uid = owned(*uids).emplace_back();
            attributes(count, at, [&](const char* attribute, std::string_view value) {
                if (is(attribute, "uid")) assign(uid, value);
            });
        } else if (is(name, "partialErrors")) {
            PartialError& error = owned(data.getPartialErrorArray()).emplace_back();
            attributes(count, at, [&](const char* attribute, std::string_view value) {
                if (is(attribute, "uid")) {
                    assign(error.uid, value);
                } else if (is(attribute, "code")) {
                    error.code = lexical_cast<int>(value);
                } else if (is(attribute, "level")) {
                    error.level = lexical_cast<int>(value);
                } else if (is(attribute, "message")) {
                    assign(error.message, value);
                }
            });
        } else {
            return false;
        }
        push(Kind::Skip, nullptr);
        return true;
    }

    void end()
    {
        const Frame frame = m_frames.back();
        m_frames.pop_back();
        if (frame.kind != Kind::Text) return;
        const std::string_view text = m_text;
        switch (m_frames.back().kind) {
        case Kind::StringArray: owned(static_cast<StringVectorMap*>(frame.object)->getValueArray()).push_back(m_text); break;
        case Kind::DoubleArray: values<DoubleVectorMap, double>(frame, text); break;
        case Kind::FloatArray: values<FloatVectorMap, float>(frame, text); break;
        case Kind::IntArray: values<IntVectorMap, int>(frame, text); break;
        case Kind::BoolArray: values<BoolVectorMap, bool>(frame, text); break;
        case Kind::DateArray: values<DateVectorMap, DateTime>(frame, text); break;
        default: break;
        }
    }

    template <typename Entry, typename Value>
    static void values(const Frame& frame, std::string_view text)
    {
        owned(static_cast<Entry*>(frame.object)->getValueArray()).push_back(lexical_cast<Value>(text));
    }

    const Kind m_rootKind;
    BaseObject* const m_root;
    std::vector<Frame> m_frames;
    std::string m_text;    // of the open value element
    std::string m_scratch; // an attribute value with a reference in it, decoded
    std::exception_ptr m_error;
};

template <typename Message>
constexpr Kind rootKind = std::is_same_v<Message, SaveWorkInstructionDocInput> ? Kind::Save : Kind::Load;

// Counts the objects made, class by class, and those freed.
class CountingManager : public MemoryManager
{
public:
    void* allocate(std::size_t size, const char* tag) override
    {
        ++made[tag];
        return std::malloc(size);
    }
    void deallocate(void* pointer) override
    {
        ++freed;
        std::free(pointer);
    }
    void* placementallocate(std::size_t, void* place) override { return place; }
    void placementdeallocate(void*, void*) override {}

    std::map<std::string, long> made;
    long freed = 0;
};

long total(const std::map<std::string, long>& counts)
{
    long sum = 0;
    for (const auto& [tag, count] : counts) sum += count;
    return sum;
}

struct Made {
    std::map<std::string, long> counts;
    long freed = 0;
    std::string text;
};

template <typename Read>
Made countMade(Read read)
{
    CountingManager counting;
    MemoryManager::setMemoryManager(&counting);
    Made result;
    try {
        result.text = writeXml(*read());
    } catch (...) {
        MemoryManager::setMemoryManager(nullptr);
        throw;
    }
    MemoryManager::setMemoryManager(nullptr);
    result.counts = std::move(counting.made);
    result.freed = counting.freed;
    return result;
}

} // namespace

template <typename Message>
AutoPtr<Message> readAtFloor(const std::string& text)
{
    AutoPtr<Message> message(new Message);
    FloorReader(rootKind<Message>, message.get()).read(text);
    return message;
}

template <typename Message>
std::string floorMismatch(const std::string& text)
{
    Made read, floor;
    try {
        read = countMade([&] { return readXml<Message>(text); });
        floor = countMade([&] { return readAtFloor<Message>(text); });
    } catch (const std::exception& error) {
        return std::string("the document was not read: ") + error.what();
    }
    const long made = total(floor.counts);
    if (floor.freed != made)
        return "the floor freed " + std::to_string(floor.freed) + " of its " + std::to_string(made) + " objects";
    if (floor.counts != read.counts) {
        for (const auto* counts : {&read.counts, &floor.counts}) {
            for (const auto& [tag, count] : *counts) {
                const auto other = (counts == &read.counts ? floor.counts : read.counts).find(tag);
                const long readCount = counts == &read.counts ? count : other == read.counts.end() ? 0 : other->second;
                const long floorCount = counts == &floor.counts ? count : other == floor.counts.end() ? 0 : other->second;
                if (readCount != floorCount)
                    return tag + ": readXml made " + std::to_string(readCount) + ", the floor " +
                           std::to_string(floorCount);
            }
        }
    }
    if (floor.text != read.text) return "the floor's objects write another text than readXml's";
    return {};
}

namespace
{

// One check per document, shared by its benchmarks; a failure makes the run fail.
template <typename Message>
bool checkedOnce(benchmark::State& state, const Document& doc)
{
    static std::map<const Document*, std::string> checked;
    auto found = checked.find(&doc);
    if (found == checked.end()) found = checked.emplace(&doc, floorMismatch<Message>(doc.text)).first;
    if (found->second.empty()) return true;
    floorCheckFailures() += 1;
    state.SkipWithError(("the floor does not match readXml: " + found->second).c_str());
    return false;
}

// The floor against read: the release is not part of it.
template <typename Message>
void benchFloor(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    if (!checkedOnce<Message>(state, doc)) return;
    for (auto _ : state) {
        const Stopwatch watch;
        AutoPtr<Message> message = readAtFloor<Message>(doc.text);
        state.SetIterationTime(watch.stop());
    }
    countBytes(state, doc);
}

// The floor against read+release, timed as the parse is.
template <typename Message>
void benchFloorRelease(benchmark::State& state, Choice choice)
{
    const Document& doc = document<Message>(choice.bytes, choice.indented);
    if (!checkedOnce<Message>(state, doc)) return;
    for (auto _ : state) {
        AutoPtr<Message> message = readAtFloor<Message>(doc.text);
        message = AutoPtr<Message>();
    }
    countBytes(state, doc);
}

} // namespace

int& floorCheckFailures()
{
    static int failures = 0;
    return failures;
}

template <typename Message>
void registerFloor(Choice choice)
{
    sized(benchmark::RegisterBenchmark(benchmarkName<Message>("floor", choice).c_str(), &benchFloor<Message>, choice),
          choice)
        ->UseManualTime();
    sized(benchmark::RegisterBenchmark(benchmarkName<Message>("floor+release", choice).c_str(),
                                       &benchFloorRelease<Message>, choice),
          choice);
}

template AutoPtr<SaveWorkInstructionDocInput> readAtFloor(const std::string&);
template AutoPtr<LoadedObjectsResponse> readAtFloor(const std::string&);
template std::string floorMismatch<SaveWorkInstructionDocInput>(const std::string&);
template std::string floorMismatch<LoadedObjectsResponse>(const std::string&);
template void registerFloor<SaveWorkInstructionDocInput>(Choice);
template void registerFloor<LoadedObjectsResponse>(Choice);

} // namespace kvsoabench
