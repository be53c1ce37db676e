#pragma once

// Pseudo-random member values for sample messages, biased towards the texts
// and numbers whose XML forms are easiest to get wrong: markup characters,
// white space that must survive, non-ASCII text, infinities, NaN, negative
// zero, subnormals, the int range ends, time zones and fractional seconds.

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "kvsoa/DateTime.hpp"

class SampleValues {
public:
    explicit SampleValues(std::uint32_t seed) : m_random(seed) {}

    std::size_t count(std::size_t least, std::size_t most) { return pick(least, most); }
    bool chance(int percent) { return pick(0, 99) < static_cast<std::size_t>(percent); }

    std::string text()
    {
        static const char* const texts[] = {
            "", "plain", "a <b> & \"c\" 'd'", "tab\there", "line\nbreak\r\nend", "  padded  ",
            "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x94\xA7", "]]>", "&amp; already", "x:y/z?q=1#f",
        };
        if (chance(30)) return "id-" + std::to_string(pick(0, 99999));
        return texts[pick(0, std::size(texts) - 1)];
    }

    int integer()
    {
        static const int ints[] = {0, 1, -1, 42, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()};
        if (chance(50)) return static_cast<int>(m_random());
        return ints[pick(0, std::size(ints) - 1)];
    }

    bool flag() { return chance(50); }

    double real() { return special<double>(bitsOf<double, std::uint64_t>(wide())); }
    float single() { return special<float>(bitsOf<float, std::uint32_t>(static_cast<std::uint32_t>(m_random()))); }

    Kavella::Soa::Common::DateTime date()
    {
        static const int years[] = {1, 1970, 2010, 2038, 9999, 10000, 123456, -1, -4713};
        const int year = chance(60) ? static_cast<int>(pick(1900, 2100)) : years[pick(0, std::size(years) - 1)];
        const int month = static_cast<int>(pick(1, 12));
        const int day = static_cast<int>(pick(1, 28));
        const int nanosecond = chance(50) ? 0 : static_cast<int>(pick(0, 999999999));
        Kavella::Soa::Common::DateTime value(year, month, day, static_cast<int>(pick(0, 23)),
                                             static_cast<int>(pick(0, 59)), static_cast<int>(pick(0, 59)),
                                             nanosecond);
        if (chance(60)) value.setTimeZoneOffset(static_cast<int>(pick(0, 56)) * 30 - 840);
        return value;
    }

private:
    std::size_t pick(std::size_t least, std::size_t most)
    {
        return std::uniform_int_distribution<std::size_t>(least, most)(m_random);
    }
    std::uint64_t wide() { return (std::uint64_t{m_random()} << 32) | m_random(); }

    template <typename Floating, typename Bits>
    static Floating bitsOf(Bits bits)
    {
        Floating value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // Any bit pattern (so subnormals and NaN payloads too), or one of the edges.
    template <typename Floating>
    Floating special(Floating fromBits)
    {
        using Limits = std::numeric_limits<Floating>;
        const Floating edges[] = {Floating(0),          -Floating(0),        Floating(1) / Floating(3),
                                  Limits::infinity(),   -Limits::infinity(), Limits::quiet_NaN(),
                                  Limits::max(),        Limits::lowest(),    Limits::denorm_min(),
                                  Limits::min(),        Floating(1e7),       Floating(123.5)};
        if (chance(50)) return fromBits;
        return edges[pick(0, std::size(edges) - 1)];
    }

    std::mt19937 m_random;
};
