#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "test_kit/http_test_server.hpp"
#include "test_kit/loop_driver.hpp"

namespace zentu::libs::core::testing {

// A real main loop, driven by the test's thread, and a loopback HTTP server.
class http_client_test : public ::testing::Test {
protected:
    http_client_test()
        : m_core(core::create(m_logger)),
          m_loop(m_core->create_events_loop("main loop")),
          m_work(m_loop->create_work()) {}

    static http::client_settings settings_of(const std::string& base_url,
                                             std::chrono::seconds timeout = std::chrono::seconds(5),
                                             const std::vector<http::method>& disabled = {},
                                             int threads = 2) {
        http::client_settings settings;
        settings.address = base_url;
        settings.timeout = timeout;
        settings.disabled_methods = disabled;
        settings.max_transfers = threads;
        return settings;
    }

    http::client::ptr make_client(const std::string& base_url,
                                  std::chrono::seconds timeout = std::chrono::seconds(5),
                                  const std::vector<http::method>& disabled = {}, int threads = 2) {
        return m_loop->create_http_client(base_url, timeout, disabled, threads);
    }
    http::client::ptr make_client(const http::client_settings& settings) {
        return m_loop->create_http_client(settings);
    }

    // Runs the loop until done() holds; false when the time ran out first.
    bool run_until(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return test_kit::run_until(m_loop->get_io_context(), done, timeout);
    }

    void run_for(std::chrono::milliseconds duration) { m_loop->get_io_context().run_for(duration); }

    logger m_logger{"marovane", "test"};
    core::ptr m_core;
    events_loop::ptr m_loop;
    events_loop::work::ptr m_work;
    test_kit::http_test_server m_server;
};

using test_kit::reply;

}  // namespace zentu::libs::core::testing
