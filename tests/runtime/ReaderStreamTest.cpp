// A document read from a stream as it arrives: its events come without waiting
// for what has not arrived yet, and an error stops the read where it stands,
// however much of the stream is left.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <fstream>
#include <functional>
#include <istream>
#include <mutex>
#include <streambuf>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kvsoa/DomException.hpp"
#include "kvsoa/XMLEventReader.hpp"

using namespace Kavella::Soa::Common::Xml;

namespace {

constexpr std::size_t piece = 64 * 1024;

/// Counts start tags; the first one is announced.
class Starts : public XMLEventHandler {
public:
    std::function<void()> onFirst;
    int count = 0;

    void startElement(const XMLStartTag&) override
    {
        if (count++ == 0 && onFirst) onFirst();
    }
    void endElement() override {}
    void characters(std::string_view) override {}
};

/// A document of size bytes made up as it is read: head, then filler to the
/// end. Counts what the reader took.
class EndlessBuffer : public std::streambuf {
public:
    EndlessBuffer(std::string head, char filler, std::size_t size) : m_head(std::move(head)), m_filler(filler), m_size(size) {}
    std::size_t taken = 0;

protected:
    int_type underflow() override
    {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (taken >= m_size) return traits_type::eof();
        m_piece.assign(std::min<std::size_t>(8192, m_size - taken), m_filler);
        if (taken < m_head.size()) m_piece.replace(0, m_head.size() - taken, m_head.substr(taken));
        taken += m_piece.size();
        setg(m_piece.data(), m_piece.data(), m_piece.data() + m_piece.size());
        return traits_type::to_int_type(*gptr());
    }

private:
    std::string m_head;
    char m_filler;
    std::size_t m_size;
    std::string m_piece;
};

// An error early in a start tag, comment, CDATA section or processing
// instruction that goes on for 64 MiB stops the read there: the stream is not
// read on to the construct's end, nor held.
TEST(ReaderStream, AnErrorInAConstructThatHasNotEndedStopsAStreamThere)
{
    struct Case {
        const char* name;
        std::string head;
        char filler;
        std::string refusal;
    };
    const std::vector<Case> cases = {
        {"an attribute value", "<r a='x<", 'v', "line 1, column 8: "},
        {"a misspelt reference in an attribute value", "<r a='1' b='&#1a", 'v', "line 1, column 16: "},
        {"a comment", "<r><!-- -- ", 'c', "line 1, column 11: "},
        {"a CDATA section", "<r><![CDATA[\x01", 'd', "line 1, column 13: "},
        {"a processing instruction", "<r><?p \x01", 'p', "line 1, column 8: "},
    };
    constexpr std::size_t size = std::size_t{64} << 20;
    for (const Case& c : cases) {
        EndlessBuffer buffer(c.head, c.filler, size);
        std::istream stream(&buffer);
        XMLEventReader reader;
        Starts handler;
        std::string what = "read";
        try {
            reader.read(stream, handler);
        } catch (const DomException& error) {
            what = error.what();
        }
        EXPECT_NE(what.find(c.refusal), std::string::npos) << c.name << ": " << what;
        EXPECT_LT(buffer.taken, 4 * piece) << c.name;
    }
}

// A reply over a slow network: a complete message on a pipe that stays open
// gives its events before the pipe ends.
TEST(ReaderStream, AStreamGivesItsEventsAsTheyArrive)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::string message = "<Envelope><Body><reply>";
    while (message.size() < 1900) message += "<value key='k'>v</value>";
    message += "</reply></Body></Envelope>";

    std::mutex mutex;
    std::condition_variable arrived;
    bool started = false;
    bool startedBeforeTheEnd = false;
    std::thread writer([&] {
        EXPECT_EQ(::write(ends[1], message.data(), message.size()), static_cast<ssize_t>(message.size()));
        std::unique_lock<std::mutex> lock(mutex);
        startedBeforeTheEnd = arrived.wait_for(lock, std::chrono::seconds(20), [&] { return started; });
        lock.unlock();
        ::close(ends[1]);
    });
    {
        std::ifstream pipe("/proc/self/fd/" + std::to_string(ends[0]), std::ios::binary);
        ::close(ends[0]);
        XMLEventReader reader;
        Starts handler;
        handler.onFirst = [&] {
            const std::lock_guard<std::mutex> lock(mutex);
            started = true;
            arrived.notify_one();
        };
        EXPECT_NO_THROW(reader.read(pipe, handler));
    }
    writer.join();
    EXPECT_TRUE(startedBeforeTheEnd);
}

} // namespace
