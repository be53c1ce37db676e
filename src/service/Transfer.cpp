#include "Transfer.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <mutex>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

namespace {

// What the reader asks for at a time; the rest waits in the socket, not in memory.
constexpr std::size_t pendingLimit = 64 * 1024;
// A wait between pumps; libcurl shortens it to its own timers.
constexpr int pollMilliseconds = 1000;

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::runtime_error("libcurl could not be set up");
    });
}

template <typename Value>
void set(CURL* easy, CURLoption option, Value value)
{
    if (curl_easy_setopt(easy, option, value) != CURLE_OK) {
        throw std::invalid_argument(std::string("libcurl refused the option ") + std::to_string(option));
    }
}

// The service's own words go into messages that may be logged: control bytes
// are shown as \xNN, never written raw, and a long phrase is cut.
std::string printable(const std::string& text)
{
    constexpr std::size_t shown = 200;
    std::string out;
    for (const char c : text.substr(0, shown)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '\\') {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return text.size() > shown ? out + "..." : out;
}

std::string milliseconds(std::chrono::milliseconds duration)
{
    return std::to_string(duration.count()) + " ms";
}

} // namespace

Transfer::Transfer(const std::string& url, const ClientOptions& options) : m_url(url), m_options(options)
{
    initialiseOnce();
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    if (!m_multi || !m_easy) {
        curl_easy_cleanup(m_easy);
        curl_multi_cleanup(m_multi);
        throw std::runtime_error("libcurl could not make a handle");
    }
    try {
        set(m_easy, CURLOPT_URL, m_url.c_str());
        set(m_easy, CURLOPT_PROTOCOLS_STR, "http,https");
        set(m_easy, CURLOPT_NOSIGNAL, 1L); // timeouts without SIGALRM, for threaded programs
        // A name lookup that outlives the connect timeout is left to finish on
        // its own thread; without this, ending the call waits for it.
        set(m_easy, CURLOPT_QUICK_EXIT, 1L);
        set(m_easy, CURLOPT_ERRORBUFFER, m_error);
        set(m_easy, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
        set(m_easy, CURLOPT_WRITEDATA, this);
        set(m_easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
        set(m_easy, CURLOPT_HEADERDATA, this);
        set(m_easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_options.connectTimeout.count()));
        set(m_easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_options.maxReplyBytes));
        set(m_easy, CURLOPT_SSL_VERIFYPEER, m_options.verifyTls ? 1L : 0L);
        set(m_easy, CURLOPT_SSL_VERIFYHOST, m_options.verifyTls ? 2L : 0L);
        if (!m_options.caFile.empty()) set(m_easy, CURLOPT_CAINFO, m_options.caFile.c_str());
        if (!m_options.clientCertFile.empty()) {
            set(m_easy, CURLOPT_SSLCERT, m_options.clientCertFile.c_str());
            set(m_easy, CURLOPT_SSLKEY, m_options.clientKeyFile.c_str());
            if (!m_options.clientKeyPassword.empty()) set(m_easy, CURLOPT_KEYPASSWD, m_options.clientKeyPassword.c_str());
        }
        if (!m_options.user.empty()) {
            set(m_easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
            set(m_easy, CURLOPT_USERNAME, m_options.user.c_str());
            set(m_easy, CURLOPT_PASSWORD, m_options.password.c_str());
        }
        set(m_easy, CURLOPT_TCP_NODELAY, 1L);
    } catch (...) {
        curl_easy_cleanup(m_easy);
        curl_multi_cleanup(m_multi);
        throw;
    }
}

Transfer::~Transfer()
{
    stop();
    curl_easy_cleanup(m_easy);
    curl_multi_cleanup(m_multi);
}

void Transfer::start(const std::string& body, const curl_slist* headers, std::chrono::milliseconds timeout)
{
    stop();
    m_done = false;
    m_paused = false;
    m_tooLarge = false;
    m_result = CURLE_OK;
    m_error[0] = '\0';
    m_pending.clear();
    m_received = 0;
    m_elements = 0;
    m_afterOpening = false;
    m_inHeaders = false;
    m_tooManyElements = false;
    m_status = 0;
    m_reason.clear();
    set(m_easy, CURLOPT_POSTFIELDS, body.data());
    set(m_easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    set(m_easy, CURLOPT_HTTPHEADER, headers);
    m_timeout = timeout;
    set(m_easy, CURLOPT_TIMEOUT_MS, static_cast<long>(m_timeout.count()));
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK) throw std::runtime_error("libcurl could not start a call");
    m_running = true;
}

void Transfer::stop() noexcept
{
    if (m_running) curl_multi_remove_handle(m_multi, m_easy);
    m_running = false;
}

void Transfer::awaitReply()
{
    while (m_pending.empty() && !m_done) pump();
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &m_status);
    if (failed() && m_pending.empty()) raise();
}

std::string Transfer::contentType() const
{
    const char* type = nullptr;
    curl_easy_getinfo(m_easy, CURLINFO_CONTENT_TYPE, &type);
    return type ? type : "";
}

bool Transfer::next(std::string& piece)
{
    piece.clear();
    while (m_pending.empty() && !m_done) pump();
    piece.swap(m_pending);
    return !piece.empty();
}

void Transfer::pump()
{
    if (m_paused) {
        // Delivers what libcurl held back, through onBody, before reading more.
        m_paused = false;
        curl_easy_pause(m_easy, CURLPAUSE_CONT);
        if (!m_pending.empty()) return;
    }
    int running = 0;
    CURLMcode code = curl_multi_perform(m_multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy) {
            m_done = true;
            m_result = message->data.result;
        }
    }
    if (code == CURLM_OK && !m_done && m_pending.empty()) code = curl_multi_poll(m_multi, nullptr, 0, pollMilliseconds, nullptr);
    if (code != CURLM_OK) {
        m_done = true;
        m_result = CURLE_RECV_ERROR;
        std::snprintf(m_error, sizeof m_error, "%s", curl_multi_strerror(code));
    }
}

std::size_t Transfer::onBody(char* data, std::size_t size, std::size_t count, void* self)
{
    Transfer& transfer = *static_cast<Transfer*>(self);
    const std::size_t length = size * count;
    if (!transfer.m_pending.empty() && transfer.m_pending.size() + length > pendingLimit) {
        transfer.m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    transfer.m_received += length;
    if (transfer.m_received > transfer.m_options.maxReplyBytes) {
        transfer.m_tooLarge = true;
        return 0; // libcurl ends the exchange with a write error
    }
    if (!transfer.countElements(data, length)) {
        transfer.m_tooManyElements = true;
        return 0;
    }
    transfer.m_pending.append(data, length);
    return length;
}

bool Transfer::countElements(const char* data, std::size_t length)
{
    // Text and attribute values hold no raw '<', so each '<' opens markup; a
    // start tag is one whose next byte is not '/', '!' or '?'. Comments and
    // CDATA sections may hold what looks like one: counted too, on the safe side.
    const char* const end = data + length;
    for (const char* at = data; at < end; ++at) {
        if (m_afterOpening) {
            m_afterOpening = false;
            if (*at != '/' && *at != '!' && *at != '?' && ++m_elements > m_options.maxReplyElements) return false;
        }
        at = static_cast<const char*>(std::memchr(at, '<', static_cast<std::size_t>(end - at)));
        if (!at) break;
        m_afterOpening = true;
    }
    return true;
}

std::size_t Transfer::onHeader(char* data, std::size_t size, std::size_t count, void* self)
{
    Transfer& transfer = *static_cast<Transfer*>(self);
    const std::string line(data, size * count);
    // "HTTP/1.1 503 Service Unavailable": the last status line's reason wins (after a 100 Continue).
    if (line == "\r\n" || line == "\n") transfer.m_inHeaders = false;
    if (line.compare(0, 5, "HTTP/") == 0) {
        transfer.m_inHeaders = true;
        const std::size_t code = line.find(' ');
        const std::size_t reason = code == std::string::npos ? code : line.find(' ', code + 1);
        std::string text = reason == std::string::npos ? std::string() : line.substr(reason + 1);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
        transfer.m_reason = printable(text);
    }
    return size * count;
}

void Transfer::raise() const
{
    const auto [kind, what] = failure();
    throw CallError(kind, m_url, m_status, m_url + ": " + what);
}

std::pair<CallError::Kind, std::string> Transfer::failure() const
{
    using Kind = CallError::Kind;
    long osError = 0;
    curl_off_t sent = 0;
    curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osError);
    curl_easy_getinfo(m_easy, CURLINFO_SIZE_UPLOAD_T, &sent);
    const std::string detail = m_error[0] ? std::string(" (") + m_error + ")" : std::string();
    const std::string received = std::to_string(m_received) + " bytes of reply";
    const std::string limit = std::to_string(m_options.maxReplyBytes) + " bytes";
    switch (m_result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return {Kind::Unreachable, "the host name did not resolve" + detail};
    case CURLE_COULDNT_CONNECT:
        if (osError == ECONNREFUSED) return {Kind::Refused, "connection refused: nothing listens there"};
        return {Kind::Unreachable, "cannot connect" + detail};
    case CURLE_OPERATION_TIMEDOUT:
        // Connected when a byte of the request went out or a status came back.
        if (sent == 0 && m_status == 0) {
            return {Kind::ConnectTimeout,
                    "no connection within the connect timeout of " + milliseconds(m_options.connectTimeout)};
        }
        return {Kind::Timeout, "no complete reply within the timeout of " + milliseconds(m_timeout) + " (" +
                                   received + " had come)"};
    case CURLE_OUT_OF_MEMORY:
    case CURLE_RECV_ERROR:
        // libcurl refuses a header line over 100 KiB as "out of memory" and a
        // header section over 300 KiB as a receive error: the reply, not the
        // connection or the memory, is at fault.
        if (m_inHeaders && (m_result == CURLE_OUT_OF_MEMORY || std::strstr(m_error, "header"))) {
            return {Kind::ReplyTooLarge, "the reply's headers are larger than libcurl takes (100 KiB a line, "
                                         "300 KiB in all)" + detail};
        }
        if (m_result == CURLE_OUT_OF_MEMORY) break;
        // Under TLS 1.3 a service that refuses the client's certificate (or
        // its absence) says so with an alert after the handshake, at the first read.
        if (std::strstr(m_error, "alert")) return {Kind::Tls, "TLS failed: the service sent an alert" + detail};
        return {Kind::Closed,
                "the service closed the connection before the reply was complete (" + received + " had come)" + detail};
    case CURLE_GOT_NOTHING:
        return {Kind::Closed, "the service closed the connection without replying"};
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
        return {Kind::Closed,
                "the service closed the connection before the reply was complete (" + received + " had come)" + detail};
    case CURLE_FILESIZE_EXCEEDED:
        return {Kind::ReplyTooLarge, "the reply is longer than the limit of " + limit};
    case CURLE_WRITE_ERROR:
        if (m_tooLarge) return {Kind::ReplyTooLarge, "the reply grew past the limit of " + limit};
        if (m_tooManyElements) {
            return {Kind::ReplyTooLarge, "the reply holds more than " + std::to_string(m_options.maxReplyElements) +
                                             " elements (ClientOptions::maxReplyElements)"};
        }
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return {Kind::Tls, std::string("TLS failed: ") + curl_easy_strerror(m_result) + detail};
    default:
        break;
    }
    return {Kind::Other, curl_easy_strerror(m_result) + detail};
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
