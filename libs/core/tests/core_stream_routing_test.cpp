#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../src/impl/message_stream_callbacks.hpp"
#include "../src/impl/message_stream_zmq.hpp"
#include "../src/impl/message_stream_zmq_raw.hpp"
#include "support/core_stream_fixture.hpp"

namespace zentu::libs::core {
namespace {

using testing::stream_test;
using calls = std::vector<std::string>;

message_stream::callback record(calls& log, std::string name) {
    return [&log, name](std::string_view text) { log.push_back(name + ":" + std::string(text)); };
}

TEST(core_stream_callbacks, dispatches_to_the_first_prefix_in_byte_order_only) {
    message_stream_callbacks table;
    calls log;
    auto a = std::make_shared<message_stream::callback>(record(log, "a"));
    auto ab = std::make_shared<message_stream::callback>(record(log, "ab"));
    auto high = std::make_shared<message_stream::callback>(record(log, "high"));
    table.add("ab", ab);
    table.add("a", a);
    table.add("\xc3", high);  // sorts after every ASCII topic as a byte
    const auto owner = std::make_shared<int>();

    table.dispatch("abc", owner);
    table.dispatch("b", owner);
    table.dispatch("\xc3\xa9", owner);
    EXPECT_EQ(log, (calls{"a:abc", "high:\xc3\xa9"}));
}

TEST(core_stream_callbacks, forgets_expired_callbacks_after_a_dispatch) {
    message_stream_callbacks table;
    calls log;
    auto first = std::make_shared<message_stream::callback>(record(log, "1"));
    auto second = std::make_shared<message_stream::callback>(record(log, "2"));
    table.add("t", first);
    table.add("t", second);
    const auto owner = std::make_shared<int>();

    first.reset();
    EXPECT_EQ(table.size("t"), 2u);
    table.dispatch("t!", owner);
    EXPECT_EQ(table.size("t"), 1u);
    EXPECT_EQ(log, (calls{"2:t!"}));
}

TEST(core_stream_callbacks, stops_when_the_owner_goes_away_during_a_callback) {
    message_stream_callbacks table;
    calls log;
    auto owner = std::make_shared<int>();
    auto killer = std::make_shared<message_stream::callback>([&](std::string_view) {
        log.push_back("killer");
        owner.reset();
    });
    auto next = std::make_shared<message_stream::callback>(record(log, "next"));
    table.add("t", killer);
    table.add("t", next);
    table.dispatch("t", std::weak_ptr<int>(owner));
    EXPECT_EQ(log, (calls{"killer"}));
}

TEST(core_stream_callbacks, a_callback_subscribed_during_dispatch_waits_for_the_next_frame) {
    message_stream_callbacks table;
    calls log;
    std::vector<message_stream_callbacks::holder> added;
    auto adder = std::make_shared<message_stream::callback>([&](std::string_view text) {
        log.push_back("adder:" + std::string(text));
        // Enough to make the vector reallocate under the walk.
        for (int i = 0; i < 64; ++i) {
            added.push_back(std::make_shared<message_stream::callback>(record(log, "new")));
            table.add("t", added.back());
        }
    });
    table.add("t", adder);
    const auto owner = std::make_shared<int>();
    table.dispatch("t1", owner);
    EXPECT_EQ(log, (calls{"adder:t1"}));
    added.resize(1);
    log.clear();
    table.dispatch("t2", owner);
    // The one kept from the first frame is called; this frame's 64 are not.
    EXPECT_EQ(log, (calls{"adder:t2", "new:t2"}));
    EXPECT_EQ(table.size("t"), 1u + 1u + 64u);
}

TEST_F(stream_test, raw_stream_hands_whole_frames_to_every_subscriber_in_order) {
    message_stream_zmq_raw stream(m_io, m_logger, m_publisher.endpoint());
    calls log;
    const auto first = stream.subscribe("top", record(log, "first"));
    const auto second = stream.subscribe("top", record(log, "second"));
    const auto longer = stream.subscribe("topic", record(log, "longer"));
    ASSERT_TRUE(join(stream));

    m_publisher.send("top 1");
    m_publisher.send("topic 2");
    m_publisher.send("other 3");
    ASSERT_TRUE(flush(stream));
    EXPECT_EQ(log, (calls{"first:top 1", "second:top 1", "first:topic 2", "second:topic 2"}));
}

TEST_F(stream_test, platform_stream_routes_by_wire_topic_and_passes_the_json_part) {
    message_stream_zmq stream(m_io, m_logger, m_publisher.endpoint());
    calls log;
    const auto notify = stream.subscribe("notify", record(log, "notify"));
    const auto zone_event = stream.subscribe("zone_event", record(log, "zone_event"));
    const auto digits = stream.subscribe("42", record(log, "42"));
    ASSERT_TRUE(join(stream));

    m_publisher.send("#notify {\"a\":{\"b\":1}}");
    m_publisher.send("#notify no document");
    m_publisher.send("#zone_event{}");
    m_publisher.send("notify{\"bare\":1}");
    m_publisher.send("42 x{\"n\":42}");
    m_publisher.send("#42{\"hashed\":1}");
    ASSERT_TRUE(flush(stream));
    EXPECT_EQ(log, (calls{"notify:{\"a\":{\"b\":1}}", "zone_event:{}", "42:{\"n\":42}"}));
}

TEST(core_stream_wire_topic, prefixes_only_topics_that_start_with_a_letter) {
    EXPECT_EQ(message_stream_zmq::wire_topic("notify"), "#notify");
    EXPECT_EQ(message_stream_zmq::wire_topic("Zone"), "#Zone");
    EXPECT_EQ(message_stream_zmq::wire_topic("7up"), "7up");
    EXPECT_EQ(message_stream_zmq::wire_topic("_x"), "_x");
    EXPECT_EQ(message_stream_zmq::wire_topic("\xc3\xa9t\xc3\xa9"), "\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(message_stream_zmq::wire_topic(""), "");
}

TEST_F(stream_test, dropped_subscriptions_stop_delivery_even_from_inside_a_callback) {
    message_stream_zmq stream(m_io, m_logger, m_publisher.endpoint());
    calls log;
    message_stream::subscription::ptr self_dropping;
    self_dropping = stream.subscribe("t", [&](std::string_view text) {
        log.push_back("self:" + std::string(text));
        self_dropping.reset();
    });
    auto dropped_later = stream.subscribe("t", record(log, "later"));
    const auto kept = stream.subscribe("t", record(log, "kept"));
    ASSERT_TRUE(join(stream));

    m_publisher.send("#t{1}");
    ASSERT_TRUE(flush(stream));
    dropped_later.reset();
    m_publisher.send("#t{2}");
    ASSERT_TRUE(flush(stream));
    EXPECT_EQ(log, (calls{"self:{1}", "later:{1}", "kept:{1}", "kept:{2}"}));
}

TEST_F(stream_test, a_callback_may_destroy_the_stream) {
    auto stream = std::make_unique<message_stream_zmq_raw>(m_io, m_logger, m_publisher.endpoint());
    calls log;
    const auto killer = stream->subscribe("t", [&](std::string_view text) {
        log.push_back("killer:" + std::string(text));
        stream.reset();
    });
    const auto next = stream->subscribe("t", record(log, "next"));
    ASSERT_TRUE(join(*stream));

    for (int i = 0; i < 500; ++i)
        m_publisher.send("t" + std::to_string(i));
    ASSERT_TRUE(run_until([&] { return !stream; }));
    run_for(std::chrono::milliseconds(100));
    EXPECT_EQ(log, (calls{"killer:t0"}));
}

TEST_F(stream_test, subscriptions_may_outlive_their_stream) {
    auto stream = std::make_unique<message_stream_zmq>(m_io, m_logger, m_publisher.endpoint());
    int calls_count = 0;
    auto subscription = stream->subscribe("t", [&](std::string_view) { ++calls_count; });
    ASSERT_TRUE(join(*stream));
    for (int i = 0; i < 1000; ++i)
        m_publisher.send("#t{}");
    // Past one turn's share of frames, so a continuation is pending too.
    ASSERT_TRUE(run_until([&] { return calls_count > 300; }));
    stream.reset();
    const int seen = calls_count;
    run_for(std::chrono::milliseconds(100));
    EXPECT_EQ(calls_count, seen);
    subscription.reset();
}

}  // namespace
}  // namespace zentu::libs::core
