#include "RandomTree.hpp"

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace roundtrip {

namespace {

// Pieces that texts are made of: what an escaper must handle, what a parser
// would normalise, and characters of every UTF-8 length.
const char* const textPieces[] = {
    "torque", "M8", " ", "  ", "<", ">", "&", "\"", "'", "]]>", "&amp;", "<!--", "?>", "\t", "\r", "\n", "\r\n",
    "\x7F", "\xC3\xA9", "\xC3\x9F", "\xC2\x85", "\xC2\xA0", "\xE2\x80\xA8", "\xE4\xB8\xAD\xE6\x96\x87", "\xEF\xBF\xBD",
    "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBD", "N\xC2\xB7m",
};

template <typename F, typename Bits>
F fromBits(Bits bits)
{
    F value;
    std::memcpy(&value, &bits, sizeof value);
    return std::isnan(value) ? std::numeric_limits<F>::quiet_NaN() : value;
}

// The edges of a floating type; a random bit pattern otherwise, which covers
// every exponent and the shortest-text cases.
template <typename F, typename Bits, typename Random>
F randomFloating(Random& random, bool edge)
{
    using limits = std::numeric_limits<F>;
    const F edges[] = {F(0), -F(0), limits::denorm_min(), -limits::denorm_min(), limits::min(), -limits::min(),
                       limits::max(), limits::lowest(), limits::infinity(), -limits::infinity(),
                       limits::quiet_NaN(), limits::epsilon(), F(0.1), F(-1) / F(3), F(1e-7), F(123456789)};
    if (edge) return edges[std::uniform_int_distribution<std::size_t>(0, std::size(edges) - 1)(random)];
    return fromBits<F>(static_cast<Bits>(random()));
}

bool isLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

} // namespace

std::size_t RandomTree::length()
{
    if (m_objects > 80 || chance(4)) return 0;
    return static_cast<std::size_t>(chance(8) ? between(4, 9) : between(1, 3));
}

std::string RandomTree::text()
{
    if (chance(8)) return {};
    std::string text;
    for (int pieces = between(1, 8); pieces > 0; --pieces) text += pick(textPieces);
    return text;
}

int RandomTree::integer()
{
    switch (between(0, 5)) {
    case 0: return INT_MIN;
    case 1: return INT_MAX;
    case 2: return between(-1, 1);
    case 3: return between(-1000, 1000);
    default: return static_cast<int>(static_cast<std::uint32_t>(m_random()));
    }
}

float RandomTree::singleFloat()
{
    return randomFloating<float, std::uint32_t>(m_random, chance(2));
}

double RandomTree::doubleFloat()
{
    return randomFloating<double, std::uint64_t>(m_random, chance(2));
}

DateTime RandomTree::dateTime()
{
    int year = between(1970, 2100);
    if (chance(4)) {
        const int years[] = {1, 9999, 10000, -1, -9999, INT_MAX, INT_MIN, between(-100000, 100000)};
        year = pick(years);
        if (year == 0) year = 2000; // xsd:dateTime has no year zero
    }
    const int month = between(1, 12);
    // The runtime's leap rule for negative years is its own business: stay clear of it.
    const int monthDays[] = {31, year > 0 && isLeapYear(year) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int day = chance(3) ? monthDays[month - 1] : between(1, 28);
    const int nanoseconds[] = {0, 0, 0, 500000000, 1, 999999999, 120000000, between(0, 999999999)};
    const int nanosecond = pick(nanoseconds);
    DateTime time = chance(20) ? DateTime(year, month, day, 24, 0, 0)
                               : DateTime(year, month, day, between(0, 23), between(0, 59), between(0, 59), nanosecond);
    if (chance(3)) return time;
    const int offsets[] = {0, 0, 60, -300, 330, 840, -840, between(-840, 840)};
    time.setTimeZoneOffset(pick(offsets));
    return time;
}

void RandomTree::fill(ServiceData& data)
{
    for (std::size_t i = length(); i > 0; --i) data.addCreated(text());
    for (std::size_t i = length(); i > 0; --i) data.addUpdated(text());
    for (std::size_t i = length(); i > 0; --i) data.addDeleted(text());
    for (std::size_t i = length(); i > 0; --i) {
        data.addPartialError({text(), text(), integer(), integer()});
    }
}

void RandomTree::fill(wi::CreateInput& input)
{
    input.setType(text());
    // A few kinds of property per input, so that the size limit leaves room for nesting.
    const auto some = [&](auto add) {
        if (chance(3)) add();
    };
    some([&] { addSome<wi::StringMap>([&](auto entry) { input.addStringProp(entry); }); });
    some([&] { addSome<wi::StringVectorMap>([&](auto entry) { input.addStringArrayProp(entry); }); });
    some([&] { addSome<wi::DoubleMap>([&](auto entry) { input.addDoubleProp(entry); }); });
    some([&] { addSome<wi::DoubleVectorMap>([&](auto entry) { input.addDoubleArrayProp(entry); }); });
    some([&] { addSome<wi::FloatMap>([&](auto entry) { input.addFloatProp(entry); }); });
    some([&] { addSome<wi::FloatVectorMap>([&](auto entry) { input.addFloatArrayProp(entry); }); });
    some([&] { addSome<wi::IntMap>([&](auto entry) { input.addIntProp(entry); }); });
    some([&] { addSome<wi::IntVectorMap>([&](auto entry) { input.addIntArrayProp(entry); }); });
    some([&] { addSome<wi::BoolMap>([&](auto entry) { input.addBoolProp(entry); }); });
    some([&] { addSome<wi::BoolVectorMap>([&](auto entry) { input.addBoolArrayProp(entry); }); });
    some([&] { addSome<wi::DateMap>([&](auto entry) { input.addDateProp(entry); }); });
    some([&] { addSome<wi::DateVectorMap>([&](auto entry) { input.addDateArrayProp(entry); }); });
    some([&] { addSome<wi::TagMap>([&](auto entry) { input.addTagProp(entry); }); });
    some([&] { addSome<wi::TagVectorMap>([&](auto entry) { input.addTagArrayProp(entry); }); });
    // Compound inputs nest a few levels deep, less often the deeper they are.
    if (m_compoundDepth < 4 && chance(m_compoundDepth + 1)) {
        ++m_compoundDepth;
        addSome<wi::CreateInputMap>([&](auto map) { input.addCompoundCreateInput(map); });
        --m_compoundDepth;
    }
}

void RandomTree::fill(wi::CreateInputMap& map)
{
    map.setKey(text());
    if (chance(2)) {
        std::vector<AutoPtr<wi::CreateInput>> inputs;
        addSome<wi::CreateInput>([&](auto input) { inputs.push_back(input); });
        map.setValueArray(inputs);
    } else {
        addSome<wi::CreateInput>([&](auto input) { map.addValue(input); });
    }
}

void RandomTree::fill(wi::ObjectsReferenced& reference)
{
    reference.setTargetContext(make<ModelObject>());
    if (chance(2)) {
        reference.setTargetObject(make<ModelObject>());
    } else {
        reference.getTargetObject()->setUid(text()); // the object held from construction
    }
}

void RandomTree::fill(wi::LoadWorkInstructionDocInput& request)
{
    addSome<wi::ObjectsReferenced>([&](auto info) { request.addLoadedInfo(info); });
}

void RandomTree::fill(wi::LoadedSTXInfo& info)
{
    info.setTransientId(text());
    info.setWorkInstructionFile(text());
    info.setStxObjectData(make<ModelObject>());
    addSome<ModelObject>([&](auto symbol) { info.addSymbol(symbol); });
}

void RandomTree::fill(wi::LoadedSubSTXInfo& info)
{
    info.setTransientId(text());
    info.setObjectType(text());
    info.setPersistentId(text());
    info.setOwningObjectTransientId(text());
    info.setObjectData(make<wi::CreateInput>());
}

void RandomTree::fill(wi::LoadedObjectInfo& info)
{
    info.setWorkInstructionFile(text());
    info.setTopObjectDisplayName(text());
    info.setTargetObjectTransientId(text());
    info.setTargetContext(make<ModelObject>());
    info.setTargetObject(make<ModelObject>());
    addSome<wi::LoadedSubSTXInfo>([&](auto dcd) { info.addLoadedDCD(dcd); });
    addSome<wi::LoadedSubSTXInfo>([&](auto pf) { info.addLoadedPF(pf); });
    addSome<ModelObject>([&](auto symbol) { info.addSymbol(symbol); });
    addSome<wi::LoadedSTXInfo>([&](auto stx) { info.addLoadedSTX(stx); });
}

void RandomTree::fill(wi::LoadedObjectsResponse& reply)
{
    addSome<wi::LoadedObjectInfo>([&](auto info) { reply.addLoadedObject(info); });
    reply.setServiceData(make<ServiceData>());
}

void RandomTree::fill(wi::SavedSTXInfo& info)
{
    info.setTransientId(text());
    info.setStxObjectData(make<ModelObject>());
}

void RandomTree::fill(wi::SavedSubSTXInfo& info)
{
    info.setTransientId(text());
    info.setPersistentId(text());
    info.setOwningObjectTransientId(text());
    if (chance(2)) {
        info.setObjectData(make<wi::CreateInput>());
    } else {
        fill(*info.getObjectData()); // the input held from construction
    }
}

void RandomTree::fill(wi::SavedObjectInfo& info)
{
    info.setWorkInstructionFile(text());
    info.setTargetObject(make<ModelObject>());
    addSome<wi::SavedSubSTXInfo>([&](auto dcd) { info.addModifiedDCD(dcd); });
    addSome<wi::SavedSubSTXInfo>([&](auto pf) { info.addModifiedPF(pf); });
    addSome<ModelObject>([&](auto symbol) { info.addSymbol(symbol); });
    addSome<wi::SavedSTXInfo>([&](auto stx) { info.addModifiedSTX(stx); });
}

void RandomTree::fill(wi::SaveWorkInstructionDocInput& request)
{
    addSome<wi::SavedObjectInfo>([&](auto info) { request.addSavedObject(info); });
}

void RandomTree::fill(wi::SavedObjectsResponse& reply)
{
    fill(*reply.getServiceData());
}

} // namespace roundtrip
