#include "MessageInput.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ios>
#include <iostream>
#include <system_error>

#include <unistd.h>

namespace wixml {

bool ReplayBuffer::attach(std::istream& source, std::string& reason)
{
    const char* directory = std::getenv("TMPDIR");
    std::string path = std::string(directory && *directory ? directory : "/tmp") + "/wixml-input-XXXXXX";
    const int descriptor = ::mkstemp(path.data());
    if (descriptor < 0) {
        reason = std::string("cannot make a temporary file to read standard input again: ") + std::strerror(errno);
        return false;
    }
    m_record.open(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    ::close(descriptor);
    std::remove(path.c_str()); // it lives on with the open stream, and goes with it
    if (!m_record) {
        reason = "cannot open a temporary file to read standard input again";
        return false;
    }
    m_source = &source;
    return true;
}

void ReplayBuffer::replay()
{
    m_at = 0;
    setg(nullptr, nullptr, nullptr);
}

ReplayBuffer::int_type ReplayBuffer::underflow()
{
    m_piece.resize(64 * 1024);
    std::streamsize got = 0;
    if (m_at < m_recorded) {
        m_record.clear();
        m_record.seekg(m_at);
        m_record.read(m_piece.data(), std::min<std::streamsize>(m_recorded - m_at, m_piece.size()));
        got = m_record.gcount();
    } else if (m_source && *m_source) {
        m_source->read(m_piece.data(), static_cast<std::streamsize>(m_piece.size()));
        if (m_source->bad()) throw std::ios_base::failure("cannot read the input");
        got = m_source->gcount();
        m_record.clear();
        m_record.seekp(m_recorded);
        m_record.write(m_piece.data(), got);
        if (!m_record) throw std::ios_base::failure("cannot keep the input in a temporary file");
        m_recorded += got;
    }
    if (got <= 0) return traits_type::eof();
    m_at += got;
    setg(m_piece.data(), m_piece.data(), m_piece.data() + got);
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
        if (!m_buffer.attach(std::cin, reason)) return false;
        m_stream.rdbuf(&m_buffer);
        return true;
    }
    reason = notAMessageFile(file);
    if (!reason.empty()) return false;
    m_file.open(file, std::ios::binary);
    if (!m_file) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    std::error_code ignored;
    if (std::filesystem::is_regular_file(file, ignored)) {
        m_stream.rdbuf(m_file.rdbuf());
        return true;
    }
    // A pipe or a device is read once, as standard input is.
    if (!m_buffer.attach(m_file, reason)) return false;
    m_stream.rdbuf(&m_buffer);
    return true;
}

void MessageInput::replay()
{
    if (m_stream.rdbuf() == &m_buffer) {
        m_buffer.replay();
    } else {
        m_file.clear();
        m_file.seekg(0);
    }
    m_stream.clear();
}

} // namespace wixml
