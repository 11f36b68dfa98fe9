#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "support/http_test_server.hpp"

namespace zentu::libs::core::testing {

// A real main loop, driven by the test's thread, and a loopback HTTP server.
class http_client_test : public ::testing::Test {
protected:
    http_client_test()
        : m_core(core::create(m_logger)),
          m_loop(m_core->create_events_loop("main loop")),
          m_work(m_loop->create_work()) {}

    http::client::ptr make_client(const std::string& base_url,
                                  std::chrono::seconds timeout = std::chrono::seconds(5),
                                  const std::vector<http::method>& disabled = {}, int threads = 2) {
        return m_loop->create_http_client(base_url, timeout, disabled, threads);
    }

    // Runs the loop until done() holds; false when the time ran out first.
    bool run_until(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            m_loop->get_io_context().run_one_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    void run_for(std::chrono::milliseconds duration) { m_loop->get_io_context().run_for(duration); }

    logger m_logger{"marovane", "test"};
    core::ptr m_core;
    events_loop::ptr m_loop;
    events_loop::work::ptr m_work;
    test_support::http_test_server m_server;
};

inline test_support::http_test_server::response reply(int status, std::string body = {}) {
    test_support::http_test_server::response r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

}  // namespace zentu::libs::core::testing
