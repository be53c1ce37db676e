#pragma once

// The kept-alive connections of one client, for calls on many threads at once:
// a call takes an idle transfer (or makes one), and gives it back when done,
// its connection open for the next call. There are as many as calls ran at
// once; a connection the service closed is opened again by the next call.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Transfer.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail {

class ConnectionPool {
public:
    /// Transfers to url with options; both outlive the pool.
    ConnectionPool(const std::string& url, const ClientOptions& options) : m_url(url), m_options(options) {}
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    /// A transfer held by one call until the lease ends.
    class Lease {
    public:
        Lease(ConnectionPool& pool, std::unique_ptr<Transfer> transfer) : m_pool(pool), m_transfer(std::move(transfer))
        {
        }
        ~Lease() { m_pool.giveBack(std::move(m_transfer)); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Transfer& operator*() const noexcept { return *m_transfer; }

    private:
        ConnectionPool& m_pool;
        std::unique_ptr<Transfer> m_transfer;
    };

    /// The most recently used idle transfer, whose connection is likeliest still open; a new one when none is idle.
    Lease take();

private:
    void giveBack(std::unique_ptr<Transfer> transfer) noexcept;

    const std::string& m_url;
    const ClientOptions& m_options;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Transfer>> m_idle;
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::detail
