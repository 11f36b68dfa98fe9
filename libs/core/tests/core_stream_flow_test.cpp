#include <gtest/gtest.h>

#include <boost/asio/steady_timer.hpp>
#include <boost/system/system_error.hpp>
#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "../src/impl/factories.hpp"
#include "../src/impl/message_stream_zmq.hpp"
#include "../src/impl/message_stream_zmq_raw.hpp"
#include "core/exception.hpp"
#include "support/core_stream_fixture.hpp"

namespace zentu::libs::core {
namespace {

using namespace std::chrono_literals;
using testing::stream_test;

void spin_for(std::chrono::microseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < until) {
    }
}

// ZMQ_FD only signals edges: a stream that does not read everything ready on
// each wake-up stalls long before the end of a burst.
TEST_F(stream_test, delivers_a_whole_burst_in_order) {
    message_stream_zmq_raw stream(m_io, m_logger, m_publisher.endpoint());
    constexpr int total = 20000;
    int received = 0;
    bool in_order = true;
    const auto subscription = stream.subscribe("n", [&](std::string_view frame) {
        in_order = in_order && frame == "n" + std::to_string(received);
        ++received;
    });
    ASSERT_TRUE(join(stream));

    for (int i = 0; i < total; ++i)
        m_publisher.send("n" + std::to_string(i));
    EXPECT_TRUE(run_until([&] { return received == total; }, 30s)) << received;
    EXPECT_TRUE(in_order);
}

TEST_F(stream_test, frames_sent_while_the_loop_is_busy_arrive_afterwards) {
    message_stream_zmq stream(m_io, m_logger, m_publisher.endpoint());
    constexpr int total = 3000;
    int received = 0;
    const auto busy = stream.subscribe("busy", [&](std::string_view) {
        for (int i = 0; i < total; ++i)
            m_publisher.send("#work{}");
        std::this_thread::sleep_for(150ms);
    });
    const auto work = stream.subscribe("work", [&](std::string_view) { ++received; });
    ASSERT_TRUE(join(stream));

    m_publisher.send("#busy{}");
    EXPECT_TRUE(run_until([&] { return received == total; }, 30s)) << received;
}

TEST_F(stream_test, timers_get_their_turn_during_a_flood) {
    message_stream_zmq_raw stream(m_io, m_logger, m_publisher.endpoint());
    constexpr int total = 20000;
    int received = 0;
    // Slow enough that the socket never runs dry while the flood lasts.
    const auto subscription = stream.subscribe("f", [&](std::string_view) {
        ++received;
        spin_for(5us);
    });
    ASSERT_TRUE(join(stream));

    for (int i = 0; i < total; ++i)
        m_publisher.send("f");
    ASSERT_TRUE(run_until([&] { return received > 0; }));
    std::optional<int> received_at_expiry;
    boost::asio::steady_timer timer(m_io, 2ms);
    timer.async_wait([&](const boost::system::error_code&) { received_at_expiry = received; });
    EXPECT_TRUE(run_until([&] { return received == total; }, 30s)) << received;
    ASSERT_TRUE(received_at_expiry.has_value());
    EXPECT_LT(*received_at_expiry, total / 2);
}

TEST_F(stream_test, a_throwing_callback_leaves_run_and_the_stream_goes_on) {
    message_stream_zmq stream(m_io, m_logger, m_publisher.endpoint());
    std::vector<std::string> received;
    const auto subscription = stream.subscribe("t", [&](std::string_view text) {
        if (text == "{boom}")
            throw std::runtime_error("boom");
        received.emplace_back(text);
    });
    ASSERT_TRUE(join(stream));

    m_publisher.send("#t{1}");
    m_publisher.send("#t{boom}");
    m_publisher.send("#t{2}");
    m_publisher.send("#t{boom}");
    m_publisher.send("#t{3}");
    for (int expected_throws = 2; expected_throws > 0; --expected_throws) {
        try {
            run_until([] { return false; }, 5s);
            ADD_FAILURE() << "the callback's exception did not leave run";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "boom");
        }
    }
    EXPECT_TRUE(run_until([&] { return received.size() == 3; }));
    EXPECT_EQ(received, (std::vector<std::string>{"{1}", "{2}", "{3}"}));
}

TEST_F(stream_test, connect_failures_carry_the_zmq_error) {
    const auto connect_error = [&](const std::string& address) {
        try {
            message_stream_zmq stream(m_io, m_logger, address);
        } catch (const boost::system::system_error& e) {
            EXPECT_STREQ(e.code().category().name(), "zmq");
            EXPECT_NE(std::string(e.what()).find(address), std::string::npos) << e.what();
            return e.code().value();
        }
        return 0;
    };
    EXPECT_EQ(connect_error("nowhere://127.0.0.1:1"), EPROTONOSUPPORT);
    EXPECT_EQ(connect_error("tcp://127.0.0.1"), EINVAL);
    EXPECT_EQ(connect_error(""), EINVAL);
}

// What leaves the library is its own exception, with the transport's text.
TEST_F(stream_test, factory_reports_connect_failures_as_the_library_exception) {
    for (const bool raw : {false, true}) {
        try {
            detail::make_zmq_message_stream(m_io, m_logger, "nowhere://127.0.0.1:1", raw);
            ADD_FAILURE() << "connected to nowhere";
        } catch (const exception& e) {
            EXPECT_EQ(e.get_string_error(), "connect to nowhere://127.0.0.1:1: " +
                                                std::string(zmq_strerror(EPROTONOSUPPORT)));
        }
    }
}

TEST_F(stream_test, factory_builds_either_framing) {
    const auto platform =
        detail::make_zmq_message_stream(m_io, m_logger, m_publisher.endpoint(), false);
    const auto raw = detail::make_zmq_message_stream(m_io, m_logger, m_publisher.endpoint(), true);
    std::string from_platform;
    std::string from_raw;
    const auto a =
        platform->subscribe("notify", [&](std::string_view text) { from_platform = text; });
    const auto b = raw->subscribe("#notify", [&](std::string_view text) { from_raw = text; });
    ASSERT_TRUE(join(*platform));
    ASSERT_TRUE(join(*raw));

    m_publisher.send("#notify {}");
    EXPECT_TRUE(run_until([&] { return !from_platform.empty() && !from_raw.empty(); }));
    EXPECT_EQ(from_platform, "{}");
    EXPECT_EQ(from_raw, "#notify {}");
}

TEST_F(stream_test, connection_state_follows_the_publisher) {
    auto publisher = std::make_unique<testing::stream_publisher>();
    message_stream_zmq stream(m_io, m_logger, publisher->endpoint());
    EXPECT_FALSE(stream.is_connected());
    EXPECT_TRUE(run_until([&] { return stream.is_connected(); }));
    publisher.reset();
    EXPECT_TRUE(run_until([&] { return !stream.is_connected(); }));
}

}  // namespace
}  // namespace zentu::libs::core
