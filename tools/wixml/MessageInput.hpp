#pragma once

// A message file or standard input, read a piece at a time. Choosing a class
// reads the start of a message, and the class's reader then reads it all: the
// start is kept and read again, and the rest is never held.

#include <fstream>
#include <istream>
#include <streambuf>
#include <string>

namespace wixml {

/// Hands out a stream's bytes, keeping them while recording, so that a reader
/// can go through them again before the rest follows.
class ReplayBuffer : public std::streambuf {
public:
    void attach(std::istream& source);
    /// From the start again: what was read so far, then the rest, kept no longer.
    void replay();

protected:
    int_type underflow() override;

private:
    std::istream* m_source = nullptr;
    bool m_recording = false;
    std::string m_record;
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
    std::istream m_stream{&m_buffer};
};

} // namespace wixml
