#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "context_utils/context_synchronizer.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "test_kit/http_test_server.hpp"
#include "test_kit/loop_driver.hpp"

namespace zentu::libs::context_utils::testing {

// A real events loop driven by the test's thread, a loopback HTTP server, a
// client pointed at it and a synchroniser over both.
class sync_fixture : public ::testing::Test {
protected:
    using response = test_kit::http_test_server::response;

    sync_fixture()
        : m_core(core::core::create(m_logger)),
          m_loop(m_core->create_events_loop("main loop")),
          m_work(m_loop->create_work()),
          m_client(m_loop->create_http_client(m_server.url(), std::chrono::seconds(5), {}, 2)),
          m_synchronizer(context_synchronizer::create(*m_client, *m_loop, m_logger)) {}

    static response reply(int status, std::string body) {
        return test_kit::reply(status, std::move(body));
    }

    void serve(const std::string& path, std::string body) {
        m_server.set_response(path, reply(200, std::move(body)));
    }

    std::vector<std::string> requested_targets() const {
        std::vector<std::string> targets;
        for (const auto& request : m_server.requests())
            targets.push_back(request.target);
        return targets;
    }

    // Runs the loop until done() holds; false when the time ran out first.
    bool run_until(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return test_kit::run_until(m_loop->get_io_context(), done, timeout);
    }

    void run_for(std::chrono::milliseconds duration) { m_loop->get_io_context().run_for(duration); }

    test_kit::http_test_server m_server;
    core::logger m_logger{"marovane", "test"};
    core::core::ptr m_core;
    core::events_loop::ptr m_loop;
    core::events_loop::work::ptr m_work;
    core::http::client::ptr m_client;
    context_synchronizer::ptr m_synchronizer;
};

}  // namespace zentu::libs::context_utils::testing
