// The message stream's hold on its publisher: losses noticed (a closed peer,
// a half-open connection, a receive error), counted once, and repaired.
#include <gtest/gtest.h>

#include <boost/asio/error.hpp>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../src/impl/message_stream_callbacks.hpp"
#include "../src/impl/message_stream_health_tracker.hpp"
#include "../src/impl/message_stream_zmq.hpp"
#include "../src/impl/message_stream_zmq_receiver.hpp"
#include "support/core_stream_fixture.hpp"
#include "support/tcp_relay.hpp"

namespace zentu::libs::core {
namespace {

using namespace std::chrono_literals;
using testing::stream_publisher;
using testing::stream_test;
using steady_time = message_stream::steady_time;

TEST(core_stream_health, counts_each_loss_once_and_tells_how_long_it_lasted) {
    const logger log("marovane-test", "stream");
    message_stream_health_tracker tracker(log, "tcp://platform:5556");
    const steady_time t0{};
    EXPECT_FALSE(tracker.health().connected);

    tracker.disconnected(t0);                             // nothing to lose yet
    EXPECT_EQ(tracker.connected(t0 + 1s), std::nullopt);  // the first connection
    EXPECT_EQ(tracker.connected(t0 + 2s), std::nullopt);  // already connected
    tracker.frame_received(t0 + 3s);
    tracker.disconnected(t0 + 4s);
    tracker.disconnected(t0 + 5s);  // a second event for the same loss
    EXPECT_FALSE(tracker.health().connected);
    EXPECT_EQ(tracker.connected(t0 + 7500ms), std::chrono::nanoseconds(3500ms));

    const auto& health = tracker.health();
    EXPECT_TRUE(health.connected);
    EXPECT_EQ(health.disconnects, 1u);
    EXPECT_EQ(health.messages, 1u);
    EXPECT_EQ(health.last_message, t0 + 3s);
}

// Short heartbeats, so that a silent peer is noticed quickly.
zmq_stream_options quick_options() {
    zmq_stream_options options;
    options.heartbeat_interval = 100ms;
    options.heartbeat_timeout = 300ms;
    options.remake_delay = 10ms;
    return options;
}

class core_stream_connection : public stream_test {
protected:
    // Remembers every reconnection the stream tells of.
    void follow(message_stream& stream) {
        stream.on_reconnected(
            [this](std::chrono::nanoseconds down_for) { m_reconnections.push_back(down_for); });
    }

    std::vector<std::chrono::nanoseconds> m_reconnections;
};

TEST_F(core_stream_connection, a_publisher_bound_again_on_its_port_is_followed) {
    auto publisher = std::make_unique<stream_publisher>();
    const std::string endpoint = publisher->endpoint();
    message_stream_zmq stream(m_io, m_logger, endpoint);
    follow(stream);
    std::vector<std::string> received;
    const auto subscription =
        stream.subscribe("n", [&](std::string_view text) { received.emplace_back(text); });
    ASSERT_TRUE(join(stream, *publisher));
    publisher->send("#n{\"before\":1}");
    ASSERT_TRUE(run_until([&] { return received.size() == 1; }));
    EXPECT_TRUE(m_reconnections.empty());  // the first connection is no return

    publisher.reset();
    ASSERT_TRUE(run_until([&] { return !stream.is_connected(); }));
    publisher = std::make_unique<stream_publisher>(stream_publisher::queue::never_drops, endpoint);
    publisher->send("#n{\"nobody listens yet\":1}");
    ASSERT_TRUE(run_until([&] { return m_reconnections.size() == 1; }));
    ASSERT_TRUE(join(stream, *publisher));
    publisher->send("#n{\"after\":1}");
    ASSERT_TRUE(run_until([&] { return received.size() == 2; }));

    EXPECT_EQ(received.back(), "{\"after\":1}");
    EXPECT_GT(m_reconnections.front(), 0ns);
    const auto health = stream.get_health();
    EXPECT_TRUE(health.connected);
    EXPECT_EQ(health.disconnects, 1u);
    EXPECT_TRUE(health.last_message.has_value());
}

// The start waits for the connection before the loop runs, and only as long
// as it is allowed to.
TEST_F(core_stream_connection, the_first_connection_is_waited_for_at_most_as_long_as_allowed) {
    auto publisher = std::make_unique<stream_publisher>();
    const std::string endpoint = publisher->endpoint();
    publisher.reset();
    message_stream_zmq stream(m_io, m_logger, endpoint);
    EXPECT_FALSE(stream.wait_connected(50ms));

    publisher = std::make_unique<stream_publisher>(stream_publisher::queue::never_drops, endpoint);
    EXPECT_TRUE(stream.wait_connected(5s));
    EXPECT_TRUE(stream.is_connected());
}

// Without heartbeats nothing would notice: the relay's kernel keeps
// acknowledging, so TCP sees a healthy connection.
TEST_F(core_stream_connection, a_peer_that_stops_answering_without_closing_is_noticed) {
    testing::tcp_relay relay(m_publisher.port());
    message_stream_zmq_raw stream(m_io, m_logger, "tcp://127.0.0.1:" + std::to_string(relay.port()),
                                  quick_options());
    follow(stream);
    int received = 0;
    const auto subscription = stream.subscribe("h", [&](std::string_view) { ++received; });
    ASSERT_TRUE(join(stream));

    relay.hold();
    const auto held = std::chrono::steady_clock::now();
    ASSERT_TRUE(run_until([&] { return !stream.is_connected(); }));
    // The figure for the record: the bound is one interval plus the time-out.
    std::printf("half-open connection noticed after %lld ms (heartbeat 100 ms, time-out 300 ms)\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - held)
                                           .count()));
    EXPECT_EQ(stream.get_health().disconnects, 1u);

    relay.release();
    ASSERT_TRUE(run_until([&] { return m_reconnections.size() == 1; }));
    ASSERT_TRUE(join(stream));
    m_publisher.send("h after");
    EXPECT_TRUE(run_until([&] { return received == 1; }));
}

// What the raw stream owns, driven from below: a receive error cannot be
// provoked on a sound socket, so the test reports one as the drain would.
class receiver_stream final : public message_stream {
public:
    receiver_stream(boost::asio::io_context& io, const component_logger& logger,
                    const std::string& address)
        : m_receiver(std::make_shared<zmq_frame_receiver>(io, logger, address, m_callbacks,
                                                          quick_options())) {
        m_receiver->start();
    }

    subscription::ptr subscribe(std::string_view topic, callback cb) override {
        auto holder = std::make_shared<callback>(std::move(cb));
        if (!m_callbacks->has_topic(topic))
            m_receiver->subscribe(topic);
        m_callbacks->add(topic, holder);
        return std::make_unique<owner>(std::move(holder));
    }
    health get_health() const override { return m_receiver->health(); }
    void on_reconnected(reconnected_callback cb) override {
        m_receiver->on_reconnected(std::move(cb));
    }
    zmq_frame_receiver& receiver() { return *m_receiver; }

private:
    struct owner final : subscription {
        explicit owner(message_stream_callbacks::holder held) : m_held(std::move(held)) {}
        message_stream_callbacks::holder m_held;
    };

    std::shared_ptr<message_stream_callbacks> m_callbacks =
        std::make_shared<message_stream_callbacks>();
    std::shared_ptr<zmq_frame_receiver> m_receiver;
};

TEST_F(core_stream_connection, a_receive_error_makes_the_socket_anew_with_its_subscriptions) {
    receiver_stream stream(m_io, m_logger, m_publisher.endpoint());
    follow(stream);
    std::vector<std::string> received;
    const auto subscription =
        stream.subscribe("e", [&](std::string_view text) { received.emplace_back(text); });
    ASSERT_TRUE(join(stream));

    stream.receiver().remake_after(boost::asio::error::bad_descriptor);
    EXPECT_FALSE(stream.is_connected());
    EXPECT_EQ(stream.get_health().disconnects, 1u);
    ASSERT_TRUE(run_until([&] { return m_reconnections.size() == 1; }));
    ASSERT_TRUE(join(stream));
    m_publisher.send("e after");
    EXPECT_TRUE(run_until([&] { return !received.empty(); }));
    EXPECT_EQ(received, std::vector<std::string>{"e after"});
    EXPECT_EQ(stream.get_health().disconnects, 1u);
}

}  // namespace
}  // namespace zentu::libs::core
