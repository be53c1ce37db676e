// Very large inputs are read (or refused) completely and correctly. The time
// and the peak memory of each are printed as figures, never asserted: run
// `hostile_tests --gtest_filter='HostileScale*'` to see them.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "HostileSupport.hpp"

namespace {

using namespace hostile;

constexpr std::size_t kMillion = 1000000;
constexpr std::size_t kFiftyMebibytes = std::size_t{50} << 20;

/// Runs work and prints how long it took and the process's peak memory so far.
template <typename Work>
void figure(const char* what, std::size_t inputBytes, Work&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("[ figure   ] %s: %.1f MB input, %.2f s, peak RSS %.0f MB\n", what, inputBytes / 1e6,
                seconds.count(), usage.ru_maxrss / 1024.0);
}

std::string openTag(const char* localName) { return std::string("<wi:") + localName + declarations(); }

TEST(HostileScale, AMillionSiblings)
{
    std::string entries;
    for (std::size_t i = 0; i < kMillion; ++i) entries += "<wi:intProps key=\"k\" value=\"" + std::to_string(i) + "\"/>";
    const std::string text = openTag("CreateInput") + " type=\"many\">" + entries + "</wi:CreateInput>";

    figure("a million siblings, read, parsed and written", text.size(), [&] {
        wi::CreateInput input;
        parseMessage(input, text);
        ASSERT_EQ(input.getIntPropArray().size(), kMillion);
        EXPECT_EQ(input.getIntPropArray().back()->getValue(), static_cast<int>(kMillion - 1));
        const std::string expected = std::string("<wi:CreateInput xmlns:wi=\"") + wi::NamespaceUri +
                                     "\" type=\"many\">" + entries + "</wi:CreateInput>";
        EXPECT_TRUE(writeMessage(input, "CreateInput") == expected);
    });
}

TEST(HostileScale, AMillionUnknownSiblingsAreRefused)
{
    std::string text = openTag("CreateInput") + ">";
    for (std::size_t i = 0; i < kMillion; ++i) text += "<wi:x/>";
    text += "</wi:CreateInput>";

    figure("a million unknown siblings, refused", text.size(), [&] {
        wi::CreateInput input;
        EXPECT_EQ(domError([&] { parseMessage(input, text); }), "Unexpected node name: x");
    });
}

// Past a limit a document is refused at once, naming the limit; raised, the
// limit lets the same shape through.
TEST(HostileScale, AHundredThousandAttributesOnOneElementAreRefused)
{
    const auto element = [](int count) {
        std::string text = openTag("StringMap");
        for (int i = 0; i < count / 2; ++i) text += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
        for (int i = 0; i < count / 2; ++i) text += " base:b" + std::to_string(i) + "=\"x\"";
        return text + " key=\"last\" value=\"found\"/>";
    };
    const std::string text = element(100000);
    figure("100k attributes on one element, refused", text.size(), [&] {
        wi::StringMap entry;
        const std::string error = domError([&] { parseMessage(entry, text); });
        EXPECT_NE(error.find("more attributes than the limit of 256"), std::string::npos) << error;
    });
    XMLReadLimits raised;
    raised.maxAttributes = 1000;
    wi::StringMap entry;
    parseMessage(entry, element(900), raised);
    EXPECT_EQ(entry.getKey(), "last");
    EXPECT_EQ(entry.getValue(), "found");
}

TEST(HostileScale, NamespaceDeclarationsInScopeAreLimited)
{
    // Two hundred levels declaring two each: 402 in scope at the innermost.
    std::string text = openTag("CreateInput") + " type=\"t\">";
    for (int level = 0; level < 200; ++level) {
        text += "<wi:x xmlns:p" + std::to_string(level) + "=\"urn:a" + std::to_string(level) + "\" xmlns:q" +
                std::to_string(level) + "=\"urn:b\">";
    }
    for (int level = 0; level < 200; ++level) text += "</wi:x>";
    text += "</wi:CreateInput>";
    wi::CreateInput input;
    const std::string error = domError([&] { parseMessage(input, text); });
    EXPECT_NE(error.find("namespace declarations in scope than the limit of 256"), std::string::npos) << error;
    XMLReadLimits raised;
    raised.maxNamespaces = 500;
    const XMLDocument document(text, raised);
    EXPECT_EQ(document.size(), 201u);
}

TEST(HostileScale, FiftyMebibyteAttributeValue)
{
    std::string value;
    value.reserve(kFiftyMebibytes);
    while (value.size() < kFiftyMebibytes) value += "0123456789abcde&amp;";
    const std::string text = openTag("StringMap") + " key=\"k\" value=\"" + value + "\"/>";

    figure("50 MiB attribute value, read, parsed, written and read again", text.size(), [&] {
        wi::StringMap entry;
        parseMessage(entry, text);
        EXPECT_EQ(entry.getValue().size(), value.size() / 20 * 16);
        EXPECT_EQ(entry.getValue().substr(0, 32), "0123456789abcde&0123456789abcde&");
        wi::StringMap reread;
        parseMessage(reread, writeMessage(entry, "StringMap"));
        EXPECT_TRUE(reread.getValue() == entry.getValue());
    });
}

TEST(HostileScale, FiftyMebibyteText)
{
    std::string value;
    value.reserve(kFiftyMebibytes);
    while (value.size() < kFiftyMebibytes) value += "line of text &lt;x&gt; <![CDATA[<raw>]]>\n";
    const std::string text =
        openTag("StringVectorMap") + " key=\"k\"><wi:value>" + value + "</wi:value></wi:StringVectorMap>";

    figure("50 MiB element text, read, parsed, written and read again", text.size(), [&] {
        wi::StringVectorMap entry;
        parseMessage(entry, text);
        ASSERT_EQ(entry.getValueArray().size(), 1u);
        const std::string line = "line of text <x> <raw>\n";
        EXPECT_EQ(entry.getValueArray()[0].substr(0, 2 * line.size()), line + line);
        wi::StringVectorMap reread;
        parseMessage(reread, writeMessage(entry, "StringVectorMap"));
        EXPECT_TRUE(reread.getValueArray() == entry.getValueArray());
    });
}

TEST(HostileScale, MegabyteLongNames)
{
    const std::string name(std::size_t{1} << 20, 'n');
    const std::string asRoot = "<wi:" + name + declarations() + " key=\"k\" value=\"v\"/>";
    const std::string asAttribute = openTag("StringMap") + " " + name + "=\"x\" key=\"k\" value=\"v\"/>";
    const std::string asPrefix = "<" + name + ":StringMap xmlns:" + name + "=\"" + wi::NamespaceUri +
                                 "\" key=\"k\" value=\"v\"/>";
    const std::string asNamespace = "<p:StringMap xmlns:p=\"urn:" + name + "\" key=\"k\" value=\"v\"/>";
    const std::string asChild = openTag("CreateInput") + "><wi:" + name + "/></wi:CreateInput>";

    for (const std::string* text : {&asRoot, &asAttribute, &asPrefix, &asChild}) {
        const std::string error = domError([&] { XMLDocument document(*text); });
        EXPECT_NE(error.find("a name longer than the limit of 1024 bytes"), std::string::npos) << error.substr(0, 200);
    }
    const std::string error = domError([&] { XMLDocument document(asNamespace); });
    EXPECT_NE(error.find("a namespace URI longer than the limit of 4096 bytes"), std::string::npos) << error;

    XMLReadLimits raised;
    raised.maxNameLength = raised.maxUriLength = std::size_t{2} << 20;
    figure("megabyte-long names, limits raised", asRoot.size() * 5, [&] {
        for (const std::string* text : {&asRoot, &asAttribute, &asPrefix, &asNamespace}) {
            wi::StringMap entry;
            parseMessage(entry, *text, raised);
            EXPECT_EQ(entry.getValue(), "v");
        }
        wi::CreateInput input;
        const std::string childError = domError([&] { parseMessage(input, asChild, raised); });
        EXPECT_EQ(childError.rfind("Unexpected node name: nnnn", 0), 0u) << childError.substr(0, 100);
    });
}

} // namespace
