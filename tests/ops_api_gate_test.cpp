// The door between the HTTP threads and the events loop: an answer built on
// the loop, a loop that does not answer in time, and a job that runs after its
// asker gave up or after the service went.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "core/events_loop.hpp"
#include "core/logger.hpp"
#include "ops/api_gate.hpp"

namespace zentu::ops {
namespace {

using namespace std::chrono_literals;

class api_gate_test : public ::testing::Test {
protected:
    libs::core::logger m_logger{"marovane-test", "api-gate"};
    libs::core::core::ptr m_core = libs::core::core::create(m_logger);
    libs::core::events_loop::ptr m_loop = m_core->create_events_loop("main loop");
    // Keeps the loop's runs waiting for jobs rather than stopping it.
    libs::core::events_loop::work::ptr m_work = m_loop->create_work();
    // Long enough never to run out where the loop runs.
    std::shared_ptr<api_gate> m_gate = api_gate::create(*m_loop, 60s);
};

TEST_F(api_gate_test, the_answer_is_built_on_the_loop_thread_and_written_by_the_asker) {
    std::thread::id built_on;
    std::thread::id written_on;
    const auto responder = std::make_shared<const api_responder>([&](const api_request& request) {
        built_on = std::this_thread::get_id();
        const std::string text = request.path + "?" + request.query.at("zone");
        return api_answer{200, {}, [&written_on, text] {
                              written_on = std::this_thread::get_id();
                              return text;
                          }};
    });
    m_gate->open(responder);
    auto asked = std::async(std::launch::async, [&] {
        return m_gate->ask({"/v1/alarms", {{"zone", "K"}}});
    });
    // The loop runs here until the asker has its answer.
    while (asked.wait_for(0s) != std::future_status::ready)
        m_loop->get_io_context().run_one_for(10ms);
    const auto answer = asked.get();
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "/v1/alarms?K");
    EXPECT_EQ(built_on, std::this_thread::get_id());
    EXPECT_NE(written_on, std::this_thread::get_id());
}

TEST_F(api_gate_test, a_loop_that_does_not_answer_in_time_is_503_and_its_job_runs_later_safely) {
    m_gate = api_gate::create(*m_loop, 20ms);
    int built = 0;
    const auto responder = std::make_shared<const api_responder>([&](const api_request&) {
        ++built;
        return api_answer{200, "late", nullptr};
    });
    m_gate->open(responder);
    // The loop does not run while it is asked.
    const auto answer = std::async(std::launch::async, [&] {
                            return m_gate->ask({"/v1/status", {}});
                        }).get();
    EXPECT_EQ(answer.status, 503);
    EXPECT_NE(answer.body.find("\"error\""), std::string::npos) << answer.body;
    // The job runs after its asker left, into what they shared, and builds
    // nothing for nobody.
    m_loop->get_io_context().poll();
    EXPECT_EQ(built, 0);
}

TEST_F(api_gate_test, a_responder_gone_is_503_and_not_called) {
    int built = 0;
    auto responder = std::make_shared<const api_responder>([&](const api_request&) {
        ++built;
        return api_answer{200, "answer", nullptr};
    });
    m_gate->open(responder);
    responder.reset();
    auto asked = std::async(std::launch::async, [&] { return m_gate->ask({"/v1/status", {}}); });
    while (asked.wait_for(0s) != std::future_status::ready)
        m_loop->get_io_context().run_one_for(10ms);
    EXPECT_EQ(asked.get().status, 503);
    EXPECT_EQ(built, 0);
}

TEST_F(api_gate_test, a_responder_that_throws_answers_500_with_the_reason) {
    const auto responder = std::make_shared<const api_responder>(
        [](const api_request&) -> api_answer { throw std::runtime_error("broken"); });
    m_gate->open(responder);
    auto asked = std::async(std::launch::async, [&] { return m_gate->ask({"/v1/status", {}}); });
    while (asked.wait_for(0s) != std::future_status::ready)
        m_loop->get_io_context().run_one_for(10ms);
    const auto answer = asked.get();
    EXPECT_EQ(answer.status, 500);
    EXPECT_NE(answer.body.find("broken"), std::string::npos) << answer.body;
}

}  // namespace
}  // namespace zentu::ops
