#pragma once

#include <cstddef>
#include <string>

struct soap;

namespace kvsoabench
{

/// gSOAP's binding generated from schema/ for the same message, used the way
/// gSOAP is meant to be used: one context that owns everything it read until
/// clear(), text read and written through callbacks over memory.
template <typename Message>
class GsoapPeer
{
public:
    GsoapPeer();
    ~GsoapPeer();
    GsoapPeer(const GsoapPeer&) = delete;
    GsoapPeer& operator=(const GsoapPeer&) = delete;

    /// Reads text into new objects; returns the number of records read. Throws on an error.
    std::size_t read(const std::string& text);
    /// Writes the message read last.
    void write(std::string& out);
    /// Frees everything the context read.
    void clear();

private:
    struct soap* m_soap;
    void* m_message = nullptr;
};

} // namespace kvsoabench
