#include "MessageGenerator.hpp"

#include <string>

namespace kvsoabench
{

using namespace wi;

namespace
{

// splitmix64: tiny, and the same sequence on every platform and library.
class Random
{
public:
    /// A brief generator holds one entry of what a record must have and none of
    /// the rest: records of about 1 KB.
    Random(std::uint64_t seed, bool brief) : m_state(seed), m_brief(brief) {}

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int between(int low, int high)
    {
        return low + static_cast<int>(next() % static_cast<std::uint64_t>(high - low + 1));
    }
    /// How many entries of something a record holds.
    int count(int low, int high)
    {
        if (m_brief) return low > 0 ? 1 : 0;
        return between(low, high);
    }
    bool brief() const { return m_brief; }
    bool chance(int percent) { return between(0, 99) < percent; }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N])
    {
        return items[next() % N];
    }

private:
    std::uint64_t m_state;
    bool m_brief;
};

// Shop-floor vocabulary, with the odd character that must be escaped and some
// non-ASCII text, as real work instructions carry.
constexpr const char* kWords[] = {"torque", "seal",   "bracket",  "housing", "flange", "gasket",  "sensor",  "cable",
                                  "bolt",   "washer", "clamp",    "hose",    "valve",  "pump",    "filter",  "bearing",
                                  "shaft",  "cover",  "harness",  "label",   "check",  "tighten", "inspect", "align",
                                  "mount",  "verify", "left",     "right",   "upper",  "lower",   "Prüfmaß", "Ø12 mm",
                                  "±0.05",  "Maße",   "contrôle", "M8x1.25", "25 Nm",  "step",    "fixture", "gauge"};
constexpr const char* kKeys[] = {"inspectionNote", "torqueSpec", "operatorHint", "toolId",       "sampleSize",
                                 "lowerLimit",     "upperLimit", "nominal",      "unit",         "isMandatory",
                                 "validFrom",      "approvedBy", "revision",     "station",      "sequence",
                                 "characteristic", "gaugeType",  "frequency",    "reactionPlan", "checkMethod",
                                 "workCenter",     "batch"};
constexpr const char* kTypes[] = {"DataCollectionDefinition", "ProcessFlowStep", "Characteristic",
                                  "ToolAssignment",           "InspectionPlan",  "PartList"};
constexpr char kUidAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";

std::string uid(Random& random)
{
    std::string text(14, ' ');
    for (char& c : text)
        c = kUidAlphabet[random.next() % 64];
    return text;
}

std::string number(Random& random, int digits)
{
    std::string text = std::to_string(random.next() % 1000000);
    return std::string(text.size() < static_cast<std::size_t>(digits) ? digits - text.size() : 0, '0') + text;
}

std::string transientId(Random& random, const char* kind)
{
    return std::string(kind) + "_" + number(random, 6);
}

std::string sentence(Random& random)
{
    std::string text = random.pick(kWords);
    for (int i = random.between(0, 3); i > 0; --i)
        text.append(" ").append(random.pick(kWords));
    if (random.chance(3)) text.append(" & ").append(random.pick(kWords));
    if (random.chance(1)) text = "\"" + text + "\" < 5 Nm";
    return text;
}

std::string fileName(Random& random)
{
    // One draw per statement: the order of evaluation inside an expression is unspecified.
    std::string text = "wi/plant" + std::to_string(random.between(1, 9));
    text += "/line" + std::to_string(random.between(10, 40));
    text += "/op" + number(random, 4);
    text += "_rev";
    text += static_cast<char>('A' + random.between(0, 7));
    return text + ".xml";
}

double measurement(Random& random)
{
    static constexpr double kScales[] = {1, 10, 100, 1000};
    double value = static_cast<double>(random.between(0, 100000)) / random.pick(kScales);
    if (random.chance(10)) value /= 3; // a computed value, printed with all its digits
    return random.chance(10) ? -value : value;
}

DateTime date(Random& random)
{
    int fields[7];
    fields[0] = random.between(2010, 2014);
    fields[1] = random.between(1, 12);
    fields[2] = random.between(1, 28);
    fields[3] = random.between(0, 23);
    fields[4] = random.between(0, 59);
    fields[5] = random.between(0, 59);
    fields[6] = random.chance(30) ? random.between(0, 999) * 1000000 : 0;
    DateTime value(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]);
    static constexpr int kOffsets[] = {0, 60, 120, -300};
    if (random.chance(80)) value.setTimeZoneOffset(random.pick(kOffsets));
    return value;
}

AutoPtr<ModelObject> modelObject(Random& random)
{
    return AutoPtr<ModelObject>(new ModelObject(uid(random)));
}

template <typename Entry, typename Make>
AutoPtr<Entry> scalar(Random& random, Make makeValue)
{
    AutoPtr<Entry> entry(new Entry);
    entry->setKey(random.pick(kKeys));
    entry->setValue(makeValue(random));
    return entry;
}

template <typename Entry, typename Make>
AutoPtr<Entry> array(Random& random, int low, int high, Make makeValue)
{
    AutoPtr<Entry> entry(new Entry);
    entry->setKey(random.pick(kKeys));
    for (int i = random.count(low, high); i > 0; --i)
        entry->addValue(makeValue(random));
    return entry;
}

// Adds count entries, each made by make, through the holder's adder.
template <typename Holder, typename Entry, typename Make>
void addSome(Holder& holder, void (Holder::*add)(const AutoPtr<Entry>&), int count, Make make)
{
    for (int i = 0; i < count; ++i)
        (holder.*add)(make());
}

AutoPtr<CreateInput> createInput(Random& random, int depth)
{
    AutoPtr<CreateInput> input(new CreateInput);
    CreateInput& in = *input;
    in.setType(random.pick(kTypes));
    const auto integer = [](Random& r) { return r.between(-1000, 100000); };
    const auto real = [](Random& r) { return measurement(r); };
    const auto single = [](Random& r) { return static_cast<float>(measurement(r)); };
    const auto flag = [](Random& r) { return r.chance(50); };

    addSome(in, &CreateInput::addStringProp, random.count(2, 6), [&] { return scalar<StringMap>(random, sentence); });
    addSome(in, &CreateInput::addStringArrayProp, random.count(0, 2),
            [&] { return array<StringVectorMap>(random, 2, 6, sentence); });
    addSome(in, &CreateInput::addDoubleProp, random.count(1, 4), [&] { return scalar<DoubleMap>(random, real); });
    addSome(in, &CreateInput::addDoubleArrayProp, random.chance(50),
            [&] { return array<DoubleVectorMap>(random, 3, 10, real); });
    addSome(in, &CreateInput::addFloatProp, random.count(0, 2), [&] { return scalar<FloatMap>(random, single); });
    addSome(in, &CreateInput::addFloatArrayProp, random.chance(20),
            [&] { return array<FloatVectorMap>(random, 2, 6, single); });
    addSome(in, &CreateInput::addIntProp, random.count(1, 3), [&] { return scalar<IntMap>(random, integer); });
    addSome(in, &CreateInput::addIntArrayProp, random.chance(30),
            [&] { return array<IntVectorMap>(random, 2, 8, integer); });
    addSome(in, &CreateInput::addBoolProp, random.count(0, 2), [&] { return scalar<BoolMap>(random, flag); });
    addSome(in, &CreateInput::addBoolArrayProp, random.chance(15),
            [&] { return array<BoolVectorMap>(random, 2, 6, flag); });
    addSome(in, &CreateInput::addDateProp, random.count(0, 2), [&] { return scalar<DateMap>(random, date); });
    addSome(in, &CreateInput::addDateArrayProp, random.chance(15),
            [&] { return array<DateVectorMap>(random, 1, 4, date); });
    addSome(in, &CreateInput::addTagProp, random.count(0, 2), [&] { return scalar<TagMap>(random, modelObject); });
    addSome(in, &CreateInput::addTagArrayProp, random.chance(40),
            [&] { return array<TagVectorMap>(random, 1, 4, modelObject); });
    if (depth == 0 && !random.brief() && random.chance(25)) {
        AutoPtr<CreateInputMap> compound(new CreateInputMap);
        compound->setKey(random.pick(kKeys));
        addSome(*compound, &CreateInputMap::addValue, random.count(1, 2), [&] { return createInput(random, 1); });
        in.addCompoundCreateInput(compound);
    }
    return input;
}

AutoPtr<SavedSubSTXInfo> savedSub(Random& random, const char* kind, const std::string& owner)
{
    AutoPtr<SavedSubSTXInfo> entry(new SavedSubSTXInfo);
    entry->setTransientId(transientId(random, kind));
    entry->setPersistentId(uid(random));
    entry->setOwningObjectTransientId(owner);
    entry->setObjectData(createInput(random, 0));
    return entry;
}

AutoPtr<SavedObjectInfo> savedObject(Random& random)
{
    AutoPtr<SavedObjectInfo> record(new SavedObjectInfo);
    record->setWorkInstructionFile(fileName(random));
    record->setTargetObject(modelObject(random));
    const std::string owner = transientId(random, "WI");
    addSome(*record, &SavedObjectInfo::addModifiedDCD, random.count(2, 6),
            [&] { return savedSub(random, "DCD", owner); });
    addSome(*record, &SavedObjectInfo::addModifiedPF, random.count(1, 3),
            [&] { return savedSub(random, "PF", owner); });
    addSome(*record, &SavedObjectInfo::addSymbol, random.count(2, 8), [&] { return modelObject(random); });
    addSome(*record, &SavedObjectInfo::addModifiedSTX, random.count(1, 5), [&] {
        AutoPtr<SavedSTXInfo> stx(new SavedSTXInfo);
        stx->setTransientId(transientId(random, "STX"));
        stx->setStxObjectData(modelObject(random));
        return stx;
    });
    return record;
}

AutoPtr<LoadedSubSTXInfo> loadedSub(Random& random, const char* kind, const std::string& owner)
{
    AutoPtr<LoadedSubSTXInfo> entry(new LoadedSubSTXInfo);
    entry->setTransientId(transientId(random, kind));
    entry->setObjectType(random.pick(kTypes));
    entry->setPersistentId(uid(random));
    entry->setOwningObjectTransientId(owner);
    entry->setObjectData(createInput(random, 0));
    return entry;
}

AutoPtr<LoadedObjectInfo> loadedObject(Random& random)
{
    AutoPtr<LoadedObjectInfo> record(new LoadedObjectInfo);
    record->setWorkInstructionFile(fileName(random));
    record->setTopObjectDisplayName(sentence(random));
    const std::string owner = transientId(random, "WI");
    record->setTargetObjectTransientId(owner);
    record->setTargetContext(modelObject(random));
    record->setTargetObject(modelObject(random));
    addSome(*record, &LoadedObjectInfo::addLoadedDCD, random.count(2, 6),
            [&] { return loadedSub(random, "DCD", owner); });
    addSome(*record, &LoadedObjectInfo::addLoadedPF, random.count(1, 3),
            [&] { return loadedSub(random, "PF", owner); });
    addSome(*record, &LoadedObjectInfo::addSymbol, random.count(2, 8), [&] { return modelObject(random); });
    addSome(*record, &LoadedObjectInfo::addLoadedSTX, random.count(1, 5), [&] {
        AutoPtr<LoadedSTXInfo> stx(new LoadedSTXInfo);
        stx->setTransientId(transientId(random, "STX"));
        stx->setWorkInstructionFile(fileName(random));
        stx->setStxObjectData(modelObject(random));
        addSome(*stx, &LoadedSTXInfo::addSymbol, random.count(0, 3), [&] { return modelObject(random); });
        return stx;
    });
    return record;
}

} // namespace

AutoPtr<SaveWorkInstructionDocInput> makeSaveRequest(std::uint64_t seed, std::size_t records, bool brief)
{
    Random random(seed, brief);
    AutoPtr<SaveWorkInstructionDocInput> request(new SaveWorkInstructionDocInput);
    for (std::size_t i = 0; i < records; ++i)
        request->addSavedObject(savedObject(random));
    return request;
}

AutoPtr<LoadedObjectsResponse> makeLoadReply(std::uint64_t seed, std::size_t records, bool brief)
{
    Random random(seed, brief);
    AutoPtr<LoadedObjectsResponse> reply(new LoadedObjectsResponse);
    ServiceData& serviceData = *reply->getServiceData();
    for (std::size_t i = 0; i < records; ++i) {
        AutoPtr<LoadedObjectInfo> record = loadedObject(random);
        serviceData.addUpdated(record->getTargetObject()->getUid());
        if (random.chance(5)) {
            serviceData.addPartialError(
                {record->getTargetObject()->getUid(),
                 "Document " + record->getWorkInstructionFile() + " is checked out by another user", 214014, 3});
        }
        reply->addLoadedObject(record);
    }
    return reply;
}

} // namespace kvsoabench
