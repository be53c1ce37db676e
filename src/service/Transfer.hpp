#pragma once

// One libcurl easy handle in a multi handle of its own, kept by a client for all
// its calls so that the connection stays open between them. The multi
// interface lets the reply be pulled a piece at a time on the caller's thread,
// as the reader asks for it, instead of being pushed whole into a buffer.

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>

#include "workinstructions/Client.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

class Transfer {
public:
    Transfer(const std::string& url, const ClientOptions& options);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    /// Starts posting body (kept by the caller until finished) with headers,
    /// to be over within timeout.
    void start(const std::string& body, const curl_slist* headers, std::chrono::milliseconds timeout);
    /// Waits for the reply's first body bytes or its end, whichever comes
    /// first; raises CallError if the exchange failed before any reply.
    void awaitReply();
    /// The reply's status, its media type (lower case, without parameters) and
    /// reason phrase; known once awaitReply() returned.
    long status() const noexcept { return m_status; }
    std::string contentType() const;
    const std::string& reason() const noexcept { return m_reason; }

    /// Hands over the reply body's next piece; false, with piece empty, at
    /// its end, whether the exchange ended well or failed.
    bool next(std::string& piece);
    /// Whether the exchange has ended in a failure so far.
    bool failed() const noexcept { return m_done && m_result != CURLE_OK; }
    /// Raises the CallError of the failure.
    [[noreturn]] void raise() const;
    /// Ends the exchange: a connection left halfway is closed, a finished one kept.
    void stop() noexcept;

private:
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    void pump();
    bool countElements(const char* data, std::size_t length);
    std::pair<CallError::Kind, std::string> failure() const;

    const std::string& m_url;
    const ClientOptions& m_options;
    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;
    bool m_running = false;
    bool m_done = false;
    bool m_paused = false;
    bool m_tooLarge = false;
    CURLcode m_result = CURLE_OK;
    char m_error[CURL_ERROR_SIZE] = {};
    std::string m_pending; // body bytes received, not yet handed over
    std::size_t m_received = 0;
    std::size_t m_elements = 0; // start tags seen in the reply so far
    bool m_afterOpening = false; // the last piece ended with a '<'
    bool m_tooManyElements = false;
    bool m_inHeaders = false; // a status line came, the blank line after the headers not yet
    std::chrono::milliseconds m_timeout{0};
    long m_status = 0;
    std::string m_reason;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
