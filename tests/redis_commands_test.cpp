#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "core/exception.hpp"
#include "redis/redis_context.hpp"
#include "support/redis_server.hpp"
#include "test_kit/error_of.hpp"

namespace zentu::redis {
namespace {

using testing::ElementsAre;
using testing::UnorderedElementsAre;

constexpr unsigned test_db = 5;

using test_kit::error_of;

std::vector<std::string> strings_of(const reply_array& array) {
    std::vector<std::string> result;
    array.for_each_element([&](const reply_element& element) {
        result.push_back(element.to_string());
        return true;
    });
    return result;
}

class redis_commands : public testing::Test {
protected:
    void SetUp() override {
        m_prefix = "marovane-test:" + std::to_string(getpid()) + ":" +
                   testing::UnitTest::GetInstance()->current_test_info()->name() + ":";
        m_redis.emplace("127.0.0.1", test::shared_redis_port(), test_db, "");
    }

    void TearDown() override {
        for (const std::string& key : m_keys)
            m_redis->execute_command_argv({"DEL", key});
    }

    std::string key(const std::string& name) {
        m_keys.push_back(m_prefix + name);
        return m_keys.back();
    }

    std::optional<context> m_redis;

private:
    std::string m_prefix;
    std::vector<std::string> m_keys;
};

TEST_F(redis_commands, hash_round_trip_keeps_values_intact) {
    const std::string table = key("zone");
    m_redis->execute_command("HMSET %s uid %s name %s level %d", table, "u 1",
                             std::string("north hall, floor 2"), 7);
    m_redis->set_to_table(table, {{"empty", ""}, {"percent", "100% %s"}});
    m_redis->set_to_table(table, "binary", std::string("a\0b", 3));

    const reply values = m_redis->get_from_table(
        table, std::vector<std::string>{"uid", "name", "level", "empty", "percent", "missing"});
    const reply_array array = values.as_array();
    ASSERT_EQ(array.size(), 6u);
    EXPECT_EQ(array[0].to_string(), "u 1");
    EXPECT_EQ(array[1].to_string(), "north hall, floor 2");
    EXPECT_EQ(array[2].to_string(), "7");
    EXPECT_EQ(array[3].to_string(), "");
    EXPECT_EQ(array[4].to_string(), "100% %s");
    EXPECT_EQ(array[5].get_type(), reply_type::NIL);
    EXPECT_EQ(m_redis->get_from_table(table, "binary").to_string(), std::string("a\0b", 3));

    EXPECT_EQ(m_redis->increment_in_table(table, "counter", 5).to_integer(), 5);
    EXPECT_EQ(m_redis->increment_in_table(table, "counter", -7).to_integer(), -2);
    EXPECT_EQ(m_redis->delete_from_table(table, "counter").to_integer(), 1);
    EXPECT_EQ(m_redis->get_from_table(table, "counter").get_type(), reply_type::NIL);
}

TEST_F(redis_commands, set_members_and_array_walks) {
    const std::string set = key("set % of things");
    m_redis->execute_command_argv({"SADD", set, "a", "b c", "d"});
    const reply members = m_redis->get_set_members(set);
    EXPECT_THAT(strings_of(members.as_array()), UnorderedElementsAre("a", "b c", "d"));

    int visited = 0;
    EXPECT_FALSE(members.as_array().for_each_element([&](const reply_element&) {
        ++visited;
        return visited < 2;
    }));
    EXPECT_EQ(visited, 2);

    const reply empty = m_redis->get_set_members(key("never-written"));
    EXPECT_TRUE(empty.as_array().for_each_element([](const reply_element&) {
        ADD_FAILURE() << "called for an empty array";
        return true;
    }));
    EXPECT_EQ(empty.as_array().size(), 0u);
}

TEST_F(redis_commands, typed_views_reject_other_types) {
    const std::string table = key("typed");
    const reply count = m_redis->set_to_table(table, "f", "v");
    EXPECT_EQ(count.get_type(), reply_type::INTEGER);
    EXPECT_EQ(error_of([&] { count.to_string(); }), "Reply is not string, actual type: integer");
    EXPECT_EQ(error_of([&] { count.as_array(); }), "Reply is not array, actual type: integer");

    const reply nil = m_redis->get_from_table(table, "absent");
    EXPECT_EQ(error_of([&] { nil.as_array(); }), "Reply is not array, actual type: nil");
    EXPECT_EQ(error_of([&] { nil.to_integer(); }), "Reply is not integer, actual type: nil");

    const reply status = m_redis->execute_command("PING");
    EXPECT_EQ(status.get_type(), reply_type::STATUS);
    EXPECT_EQ(status.to_string(), "PONG");

    m_redis->execute_command_argv({"RPUSH", key("list"), "x", "y"});
    const reply list = m_redis->execute_command("LRANGE %s 0 -1", key("list"));
    EXPECT_THAT(strings_of(list.as_array()), ElementsAre("x", "y"));
    EXPECT_EQ(error_of([&] { list.as_array()[2]; }), "Index out of range");
    EXPECT_EQ(error_of([&] { list.to_string(); }), "Reply is not string, actual type: array");
}

TEST_F(redis_commands, error_replies_throw_with_the_command) {
    const std::string set = key("a-set");
    m_redis->execute_command_argv({"SADD", set, "m"});
    EXPECT_THAT(error_of([&] { m_redis->set_to_table(set, "f", "v"); }),
                testing::StartsWith("Command: HSET, error: WRONGTYPE "));
    EXPECT_EQ(error_of([&] { m_redis->execute_command("HGET %s", set); }),
              "Command: HGET %s, error: ERR wrong number of arguments for 'hget' command");
    EXPECT_THAT(error_of([&] { m_redis->execute_command("NOSUCHCOMMAND"); }),
                testing::StartsWith("Command: NOSUCHCOMMAND, error: ERR unknown command"));
    // An error reply leaves the connection usable.
    EXPECT_FALSE(m_redis->is_broken());
    EXPECT_EQ(m_redis->execute_command("PING").to_string(), "PONG");
}

TEST_F(redis_commands, databases_are_selected) {
    const std::string table = key("per-db");
    m_redis->set_to_table(table, "f", "in five");
    context other_db("127.0.0.1", test::shared_redis_port(), test_db + 1, "");
    EXPECT_EQ(other_db.get_from_table(table, "f").get_type(), reply_type::NIL);
    context same_db("127.0.0.1", test::shared_redis_port(), test_db, "");
    EXPECT_EQ(same_db.get_from_table(table, "f").to_string(), "in five");
}

TEST(redis_reply, views_over_raw_replies) {
    char text[] = "ERR something\0tail";
    redisReply error{};
    error.type = REDIS_REPLY_ERROR;
    error.str = text;
    error.len = sizeof(text) - 1;
    EXPECT_EQ(reply_element(error).to_string(), std::string(text, sizeof(text) - 1));

    redisReply odd{};
    odd.type = 42;
    EXPECT_EQ(reply_element(odd).get_type(), reply_type::UNKNOWN);
    EXPECT_EQ(error_of([&] { reply_element(odd).to_integer(); }),
              "Reply is not integer, actual type: unknown");

    EXPECT_EQ(to_string(reply_type::STATUS), "status");
    EXPECT_THROW(to_string(static_cast<reply_type>(0)), std::out_of_range);
}

}  // namespace
}  // namespace zentu::redis
