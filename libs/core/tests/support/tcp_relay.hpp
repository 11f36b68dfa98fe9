#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace zentu::libs::core::testing {

// A socket descriptor, closed with its owner.
class owned_fd {
public:
    explicit owned_fd(int fd = -1) : m_fd(fd) {}
    ~owned_fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    owned_fd(owned_fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    owned_fd& operator=(owned_fd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    owned_fd(const owned_fd&) = delete;
    owned_fd& operator=(const owned_fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Forwards every TCP connection made to a loopback port of its own to a
// target port, on a thread of its own. hold() makes it a dead link without a
// close: every connection stays open and no byte moves either way, nor is a
// new connection taken in (the kernel still completes its TCP handshake), as
// when a firewall forgets a connection or a host vanishes. release() lets
// everything flow again, the connections made meanwhile included.
class tcp_relay {
public:
    explicit tcp_relay(std::uint16_t target_port) : m_target_port(target_port) {
        m_listener = owned_fd(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof(address);
        if (m_listener.get() < 0 ||
            ::bind(m_listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listener.get(), 16) != 0 ||
            ::getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("tcp_relay: cannot listen on a loopback port");
        m_port = ntohs(address.sin_port);
        m_wake = owned_fd(::eventfd(0, 0));
        if (m_wake.get() < 0)
            throw std::runtime_error("tcp_relay: no eventfd");
        m_thread = std::thread([this] { run(); });
    }

    ~tcp_relay() {
        m_stop = true;
        wake();
        m_thread.join();
    }
    tcp_relay(const tcp_relay&) = delete;
    tcp_relay& operator=(const tcp_relay&) = delete;

    std::uint16_t port() const { return m_port; }
    void hold() {
        m_holding = true;
        wake();
    }
    void release() {
        m_holding = false;
        wake();
    }

private:
    struct pair {
        owned_fd near;
        owned_fd far;
    };

    static sockaddr_in loopback(std::uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    void wake() {
        const std::uint64_t one = 1;
        (void)!::write(m_wake.get(), &one, sizeof(one));
    }

    void run() {
        while (!m_stop) {
            const bool flowing = !m_holding;
            std::vector<pollfd> polled{{m_wake.get(), POLLIN, 0}};
            if (flowing) {
                polled.push_back({m_listener.get(), POLLIN, 0});
                for (const auto& p : m_pairs) {
                    polled.push_back({p.near.get(), POLLIN, 0});
                    polled.push_back({p.far.get(), POLLIN, 0});
                }
            }
            if (::poll(polled.data(), polled.size(), -1) < 0)
                continue;
            if (polled[0].revents) {
                std::uint64_t count = 0;
                (void)!::read(m_wake.get(), &count, sizeof(count));
            }
            if (!flowing || m_holding)
                continue;
            // Pairs first: accepting appends to m_pairs, whose entries the
            // descriptors polled above follow in order.
            std::vector<bool> closed(m_pairs.size(), false);
            for (std::size_t i = 0; i < m_pairs.size(); ++i) {
                const auto& near = polled[2 + 2 * i];
                const auto& far = polled[3 + 2 * i];
                if (near.revents && !forward(m_pairs[i].near.get(), m_pairs[i].far.get()))
                    closed[i] = true;
                if (far.revents && !forward(m_pairs[i].far.get(), m_pairs[i].near.get()))
                    closed[i] = true;
            }
            for (std::size_t i = closed.size(); i-- > 0;)
                if (closed[i])
                    m_pairs.erase(m_pairs.begin() + static_cast<std::ptrdiff_t>(i));
            if (polled[1].revents)
                accept_one();
        }
    }

    void accept_one() {
        owned_fd near(::accept(m_listener.get(), nullptr, nullptr));
        owned_fd far(::socket(AF_INET, SOCK_STREAM, 0));
        const sockaddr_in target = loopback(m_target_port);
        if (near.get() < 0 || far.get() < 0 ||
            ::connect(far.get(), reinterpret_cast<const sockaddr*>(&target), sizeof(target)) != 0)
            return;
        m_pairs.push_back({std::move(near), std::move(far)});
    }

    // Moves what is readable on `from` to `to`; false once either is closed.
    static bool forward(int from, int to) {
        std::array<char, 65536> buffer{};
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got <= 0)
            return false;
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t n =
                ::write(to, buffer.data() + sent, static_cast<std::size_t>(got - sent));
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }

    const std::uint16_t m_target_port;
    std::uint16_t m_port = 0;
    owned_fd m_listener;
    owned_fd m_wake;
    std::vector<pair> m_pairs;
    std::atomic<bool> m_holding{false};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace zentu::libs::core::testing
