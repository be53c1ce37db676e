#pragma once

// A message file or standard input, read a piece at a time, and from its
// start again: the peek at its head chooses the class, the class's reader
// reads it all, and the search for missing members, which needs the markup
// the objects no longer show, reads it all again. A file is read again;
// standard input, which cannot be, is kept in a temporary file as far as it
// was read, never in memory.

#include <fstream>
#include <istream>
#include <streambuf>
#include <string>


namespace wixml {

/// Hands out a stream's bytes, keeping each in a temporary file, so that
/// replay() can hand them out again from the start, then the rest as it comes.
class ReplayBuffer : public std::streambuf {
public:
    /// False, with the reason, when no temporary file can be made.
    bool attach(std::istream& source, std::string& reason);
    void replay();

protected:
    int_type underflow() override;

private:
    std::istream* m_source = nullptr;
    std::fstream m_record;
    std::streamoff m_recorded = 0; // bytes in m_record
    std::streamoff m_at = 0;       // of the next piece, from the start
    std::string m_piece;
};

/// Why file cannot be read as a message, before opening it: for a directory,
/// what to give instead; empty when nothing is known against it.
std::string notAMessageFile(const std::string& file);

class MessageInput {
public:
    /// "-" is standard input. False, with the reason, when it cannot be opened.
    bool open(const std::string& file, std::string& reason);
    std::istream& stream() { return m_stream; }
    /// The stream from the start again.
    void replay();

private:
    std::ifstream m_file;
    ReplayBuffer m_buffer;
    std::istream m_stream{nullptr};
};

} // namespace wixml
