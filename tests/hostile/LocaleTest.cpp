// Messages are written and read the same whatever locale the process has set,
// in C (setlocale) and in C++ (the global std::locale that new streams take).

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <string>
#include <system_error>

#include <unistd.h>

#include "SampleMessages.hpp"

namespace {

using namespace hostile;

/// Decimal comma and grouping dots, as a German process would print numbers.
struct CommaNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
    std::string do_truename() const override { return "wahr"; }
    std::string do_falsename() const override { return "falsch"; }
};

/// Switches the C locale to one with a decimal comma, compiling it into a
/// private directory when the machine has none installed. Empty when impossible.
std::string enterCommaCLocale()
{
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_ALL, name)) return name;
    }
    // glibc remembers a failed lookup: compile first, then ask once.
    const std::filesystem::path directory = std::filesystem::temp_directory_path() / "hostile-locales";
    const std::filesystem::path compiled = directory / "de_DE.UTF-8";
    if (!std::filesystem::exists(compiled / "LC_NUMERIC")) {
        std::error_code ignored;
        std::filesystem::create_directories(directory, ignored);
        // Compiled aside and renamed into place, since tests run in parallel.
        // localedef also exits non-zero for mere warnings: setlocale decides.
        const std::filesystem::path aside = directory / ("building-" + std::to_string(getpid()));
        const std::string command = "localedef -i de_DE -f UTF-8 " + aside.string() + " >/dev/null 2>&1";
        if (std::system(command.c_str()) == -1) return "";
        std::filesystem::rename(aside, compiled, ignored);
        std::filesystem::remove_all(aside, ignored);
    }
    setenv("LOCPATH", directory.c_str(), 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") ? "de_DE.UTF-8 (compiled for the test)" : "";
}

template <typename Sample>
class HostileLocale : public ::testing::Test {
protected:
    void TearDown() override
    {
        std::setlocale(LC_ALL, "C");
        std::locale::global(std::locale::classic());
    }
};
TYPED_TEST_SUITE(HostileLocale, SampleMessages);

TYPED_TEST(HostileLocale, CommaLocaleChangesNothingWrittenOrRead)
{
    using Message = typename TypeParam::Message;
    Message inClassic;
    parseMessage(inClassic, TypeParam::document());
    const std::string expected = writeMessage(inClassic, TypeParam::name);

    const std::string cLocale = enterCommaCLocale();
    std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
    this->RecordProperty("c_locale", cLocale.empty() ? "none available" : cLocale);
    // Without a comma C locale, only the C++ half of the check could run.
    EXPECT_FALSE(cLocale.empty()) << "no locale with a decimal comma could be set up";

    EXPECT_EQ(writeMessage(inClassic, TypeParam::name), expected);
    Message inComma;
    parseMessage(inComma, TypeParam::document());
    EXPECT_EQ(writeMessage(inComma, TypeParam::name), expected);
}

TEST(HostileLocaleValues, CommaFormsStayRefusedUnderACommaLocale)
{
    const std::string cLocale = enterCommaCLocale();
    std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
    wi::DoubleMap entry;
    for (const char* text : {"1,5", "1.234,5", "1.234.567"}) {
        const std::string document = "<wi:DoubleMap" + declarations() + " key=\"k\" value=\"" + text + "\"/>";
        EXPECT_NE(domError([&] { parseMessage(entry, document); }), "no exception") << text;
    }
    const std::string document = "<wi:DoubleMap" + declarations() + " key=\"k\" value=\"1234567.5\"/>";
    parseMessage(entry, document);
    EXPECT_EQ(entry.getValue(), 1234567.5);
    EXPECT_NE(writeMessage(entry, "DoubleMap").find("value=\"1234567.5\""), std::string::npos);
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
}

} // namespace
