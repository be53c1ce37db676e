// A message never needs a DTD: every DOCTYPE is refused as soon as it starts,
// and no file or URL named by a document is ever opened.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "HostileSupport.hpp"

namespace {

using namespace hostile;

/// A directory holding a DTD that would make the documents read if it were
/// used, watched for any open; and a local port watched for any connection.
class Bait {
public:
    Bait()
    {
        char pattern[] = "/tmp/hostile-doctype-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        m_directory = pattern;
        std::ofstream(dtdPath()) << "<!ENTITY x \"from disk\"><!ENTITY % p \"<!ENTITY y 'z'>\">\n";

        m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_watch < 0 || inotify_add_watch(m_watch, m_directory.c_str(), IN_OPEN | IN_ACCESS) < 0)
            throw std::runtime_error("inotify failed");

        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(m_listener, 4) != 0 || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen on a local port");
        m_port = ntohs(address.sin_port);
    }
    ~Bait()
    {
        close(m_watch);
        close(m_listener);
        std::filesystem::remove_all(m_directory);
    }
    Bait(const Bait&) = delete;
    Bait& operator=(const Bait&) = delete;

    std::string dtdPath() const { return m_directory + "/message.dtd"; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/message.dtd"; }

    /// Replaces FILE, FILEURL and URL in a document template.
    std::string fill(std::string text) const
    {
        replaceAll(text, "FILEURL", "file://" + dtdPath());
        replaceAll(text, "FILE", dtdPath());
        replaceAll(text, "URL", url());
        return text;
    }

    bool fileTouched() const
    {
        char events[4096];
        return read(m_watch, events, sizeof events) > 0;
    }
    bool connectionMade() const
    {
        const int connection = accept(m_listener, nullptr, nullptr);
        if (connection >= 0) close(connection);
        return connection >= 0;
    }

private:
    static void replaceAll(std::string& text, const std::string& from, const std::string& to)
    {
        for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    }

    std::string m_directory;
    int m_watch = -1;
    int m_listener = -1;
    unsigned short m_port = 0;
};

std::string billionLaughs()
{
    std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol0 \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        text += "<!ENTITY lol" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i) text += "&lol" + std::to_string(level - 1) + ";";
        text += "\">\n";
    }
    return text + "]>\n<lolz>&lol9;</lolz>";
}

std::string quadraticBlowup()
{
    std::string text = "<!DOCTYPE r [<!ENTITY a \"" + std::string(50000, 'a') + "\">]>\n<r>";
    for (int i = 0; i < 50000; ++i) text += "&a;";
    return text + "</r>";
}

std::string utf16LittleEndian(const std::string& ascii)
{
    std::string text("\xFF\xFE", 2);
    for (const char c : ascii) {
        text += c;
        text += '\0';
    }
    return text;
}

struct DoctypeCase {
    const char* attack;
    std::string document;
    int doctypeLine;
};

TEST(HostileDoctype, EveryDoctypeIsRefusedWhereItStartsAndNothingIsOpened)
{
    const Bait bait;
    const DoctypeCase cases[] = {
        {"bare DOCTYPE", "<!DOCTYPE r><r/>", 1},
        {"internal subset with a general entity", "<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>", 1},
        {"SYSTEM id naming a local file", "<!DOCTYPE r SYSTEM \"FILE\"><r>&x;</r>", 1},
        {"SYSTEM id as a file URL", "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"FILEURL\"><r>&x;</r>", 2},
        {"PUBLIC id with an http URL", "<!DOCTYPE r PUBLIC \"-//Hostile//DTD//EN\" \"URL\"><r>&x;</r>", 1},
        {"external general entity", "<!DOCTYPE r [<!ENTITY x SYSTEM \"FILEURL\">]><r>&x;</r>", 1},
        {"external parameter entity", "<!DOCTYPE r [<!ENTITY % p SYSTEM \"FILE\"> %p;]><r>&y;</r>", 1},
        {"parameter entity over http", "<!DOCTYPE r [<!ENTITY % p SYSTEM \"URL\"> %p;]><r/>", 1},
        {"billion laughs", billionLaughs(), 2},
        {"quadratic blow-up", quadraticBlowup(), 1},
        {"injected attribute default",
         "<!DOCTYPE wi:IntMap [<!ATTLIST wi:IntMap value CDATA \"7\">]>\n<wi:IntMap" + declarations() +
             " key=\"k\"/>",
         1},
        {"after a comment and a processing instruction",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c -->\n<?pi x?>\n<!DOCTYPE r SYSTEM \"FILE\"><r/>", 4},
        {"in a UTF-16 document", utf16LittleEndian("<!DOCTYPE r SYSTEM \"FILE\"><r>&x;</r>"), 1},
    };
    for (const auto& [attack, document, doctypeLine] : cases) {
        SCOPED_TRACE(attack);
        try {
            XMLDocument read(bait.fill(document));
            ADD_FAILURE() << "read";
        } catch (const DomException& error) {
            EXPECT_NE(error.getMessage().find("DOCTYPE"), std::string::npos) << error.getMessage();
            // Stopped where the declaration starts: no entity was declared or expanded.
            EXPECT_EQ(error.line(), doctypeLine) << error.getMessage();
        }
        EXPECT_FALSE(bait.fileTouched());
        EXPECT_FALSE(bait.connectionMade());
    }
}

TEST(HostileDoctype, EntityTricksWithoutADoctypeAreRefusedOrInert)
{
    const Bait bait;
    // Second: whether the reader must refuse the document.
    const std::pair<const char*, bool> cases[] = {
        {"<r>&x;</r>", true},
        {"<r a=\"&x;\"/>", true},
        {"<!ENTITY x SYSTEM \"FILE\"><r>&x;</r>", true},
        {"<r/><!DOCTYPE r SYSTEM \"FILE\">", true},
        {"<r><!DOCTYPE r SYSTEM \"FILE\"></r>", true},
        {"<!doctype r SYSTEM \"FILE\"><r/>", true},
        {"<?xml version=\"1.0\" encoding=\"UTF-7\"?><r/>", true},
        {"<?xml version=\"1.0\" standalone=\"no\"?><r/>", false},
        {"<?xml-stylesheet href=\"FILEURL\" type=\"text/xsl\"?><r/>", false},
        {"<r xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"FILE\" parse=\"text\"/></r>", false},
        {"<r xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:schemaLocation=\"urn:x URL\"/>", false},
        {"<r xmlns=\"URL\">&#60;&amp;&#x3C;</r>", false},
    };
    for (const auto& [document, refused] : cases) {
        SCOPED_TRACE(document);
        const std::string error = domError([&] { XMLDocument read(bait.fill(document)); });
        EXPECT_EQ(error != "no exception", refused) << error;
        EXPECT_FALSE(bait.fileTouched());
        EXPECT_FALSE(bait.connectionMade());
    }
}

TEST(HostileDoctype, MessagesWithADoctypeNeverReachTheClasses)
{
    // A DTD-injected default would otherwise have set the value.
    const std::string text = "<!DOCTYPE wi:IntMap [<!ATTLIST wi:IntMap value CDATA \"7\">]><wi:IntMap" +
                             declarations() + " key=\"k\"/>";
    wi::IntMap entry;
    entry.setValue(1);
    EXPECT_NE(domError([&] { parseMessage(entry, text); }).find("DOCTYPE"), std::string::npos);
    EXPECT_EQ(entry.getValue(), 1);
    EXPECT_EQ(entry.getKey(), "");
}

} // namespace
