#pragma once

// The reply body as a std::streambuf, pulled from the transfer as the reader
// asks. An error reply can be read twice: once by the reader, for a fault,
// then again for the start of what it says instead.

#include <streambuf>
#include <string>

#include "Transfer.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

class ReplyStream : public std::streambuf {
public:
    explicit ReplyStream(Transfer& transfer) : m_transfer(transfer) {}

    /// From now on, what is read is kept to be read again.
    void keep() noexcept { m_keeping = true; }
    /// Reads again from where keep() was called; then on as before.
    void rewind();

protected:
    int_type underflow() override;

private:
    Transfer& m_transfer;
    std::string m_piece; // handed over, when not kept
    std::string m_kept;  // handed over since keep()
    bool m_keeping = false;
    bool m_replaying = false;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
