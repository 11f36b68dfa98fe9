#include <gtest/gtest.h>

#include <string>

#include "core/exception.hpp"
#include "core/timestamp.hpp"

namespace zentu::libs::core {
namespace {

using std::chrono::milliseconds;

// 2024-05-01 10:00:00 UTC
constexpr long long may_first = 1714557600LL * 1000;

long long parsed_ms(const char* text) {
    const auto ts = timestamp::try_parse(text);
    EXPECT_TRUE(ts) << text;
    return ts ? ts->get_time_since_epoch().count() : -1;
}

TEST(core_timestamp_test, separator_may_be_t_or_space_and_zone_is_ignored) {
    EXPECT_EQ(parsed_ms("2024-05-01T10:00:00"), may_first);
    EXPECT_EQ(parsed_ms("2024-05-01 10:00:00"), may_first);
    EXPECT_EQ(parsed_ms("2024-05-01T10:00:00Z"), may_first);
    EXPECT_EQ(parsed_ms("2024-05-01T10:00:00+02:00"), may_first);
}

TEST(core_timestamp_test, fractional_seconds_round_to_milliseconds) {
    EXPECT_EQ(parsed_ms("2024-05-01T10:00:00.5"), may_first + 500);
    EXPECT_EQ(parsed_ms("2024-05-01T10:00:12.345"), may_first + 12345);
    // .9996 rounds up to a whole second and carries.
    EXPECT_EQ(parsed_ms("2024-05-01T10:00:59.9996"), may_first + 60000);
    EXPECT_EQ(parsed_ms("2024-05-01T10:00:59.999"), may_first + 59999);
}

TEST(core_timestamp_test, incomplete_text_fails) {
    for (const char* text : {"2024-05-01", "2024-05-01T10:00", "", "garbage"}) {
        EXPECT_FALSE(timestamp::try_parse(text)) << text;
    }
    try {
        timestamp ts(std::string_view("2024-05-01"));
        ADD_FAILURE();
    } catch (const exception& e) {
        EXPECT_EQ(e.get_string_error(), "timestamp: \"2024-05-01\" is invalid!");
    }
}

TEST(core_timestamp_test, serialize) {
    EXPECT_EQ(timestamp().serialize(), "0 0 [1970-01-01T00:00:00.000Z]");
    EXPECT_EQ(timestamp(milliseconds(may_first + 42)).serialize(),
              "1714557600 42 [2024-05-01T10:00:00.042Z]");
    const timestamp ts(milliseconds(may_first + 42));
    EXPECT_EQ(timestamp::deserialize(ts.serialize()), ts);
}

TEST(core_timestamp_test, parts_and_arithmetic) {
    const timestamp ts(1714557600, 7);
    EXPECT_EQ(ts.get_ts(), 1714557600);
    EXPECT_EQ(ts.get_ms(), 7u);
    EXPECT_EQ(ts + milliseconds(993), timestamp(1714557601, 0));
    EXPECT_EQ((ts + milliseconds(5)) - ts, milliseconds(5));
    EXPECT_LT(ts, ts + milliseconds(1));
}

}  // namespace
}  // namespace zentu::libs::core
