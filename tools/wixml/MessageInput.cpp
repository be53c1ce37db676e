#include "MessageInput.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ios>
#include <iostream>
#include <system_error>

namespace wixml {

void ReplayBuffer::attach(std::istream& source)
{
    m_source = &source;
    m_recording = true;
    m_record.clear();
    setg(nullptr, nullptr, nullptr);
}

void ReplayBuffer::replay()
{
    m_recording = false;
    char* start = m_record.data();
    setg(start, start, start + m_record.size());
}

ReplayBuffer::int_type ReplayBuffer::underflow()
{
    if (!m_source || !*m_source) return traits_type::eof();
    m_piece.resize(64 * 1024);
    m_source->read(m_piece.data(), static_cast<std::streamsize>(m_piece.size()));
    if (m_source->bad()) throw std::ios_base::failure("cannot read the input");
    m_piece.resize(static_cast<std::size_t>(m_source->gcount()));
    if (m_piece.empty()) return traits_type::eof();
    if (m_recording) m_record += m_piece;
    setg(m_piece.data(), m_piece.data(), m_piece.data() + m_piece.size());
    return traits_type::to_int_type(m_piece[0]);
}

std::string notAMessageFile(const std::string& file)
{
    std::error_code ignored;
    if (!std::filesystem::is_directory(file, ignored)) return {};
    std::string files = file;
    if (files.back() != '/') files += '/';
    return "is a directory; give the message files in it, such as " + files + "*.xml";
}

bool MessageInput::open(const std::string& file, std::string& reason)
{
    if (file == "-") {
        m_buffer.attach(std::cin);
        return true;
    }
    reason = notAMessageFile(file);
    if (!reason.empty()) return false;
    m_file.open(file, std::ios::binary);
    if (!m_file) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    m_buffer.attach(m_file);
    return true;
}

void MessageInput::replay()
{
    m_buffer.replay();
    m_stream.clear();
}

} // namespace wixml
