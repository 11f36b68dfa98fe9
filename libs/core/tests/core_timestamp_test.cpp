#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "core/exception.hpp"
#include "core/timestamp.hpp"
#include "test_kit/error_of.hpp"

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

TEST(core_timestamp_test, nonsense_and_out_of_range_texts_fail) {
    for (const char* text :
         {"2021-13-45T99:99:99.999Z", "2021-00-01T00:00:00", "2021-02-29T00:00:00",
          "2024-04-31T00:00:00", "2024-05-01T24:00:00", "2024-05-01T10:60:00",
          "2024-05-01T10:00:61", "1969-12-31T23:59:59.999Z", "10000-01-01T00:00:00",
          "-2147483648-01-01T00:00:00", "2024--2147483648-01T00:00:00",
          "99999999999999999999-01-01T00:00:00", "2024-05-01T10:00:00.1234567890123456789Z",
          "9999-12-31T23:59:59.9996Z"}) {
        EXPECT_FALSE(timestamp::try_parse(text)) << text;
    }
    EXPECT_EQ(parsed_ms("2024-02-29T00:00:00"), 1709164800000);
    EXPECT_EQ(parsed_ms("9999-12-31T23:59:59.999Z"), timestamp::max_seconds * 1000 + 999);
    EXPECT_EQ(parsed_ms("2024-05-01T10:00:00.000000001"), may_first);
    try {
        timestamp ts(std::string_view("2021-13-01T00:00:00Z"));
        ADD_FAILURE();
    } catch (const invalid_time& e) {
        EXPECT_EQ(
            e.get_string_error(),
            "timestamp: \"2021-13-01T00:00:00Z\" is invalid! (month 13 is out of range 1..12)");
        EXPECT_EQ(e.reason(), "month 13 is out of range 1..12");
    }
}

TEST(core_timestamp_test, parts_are_range_checked) {
    EXPECT_EQ(timestamp::from_parts(1714557600, 7), timestamp(1714557600, 7));
    EXPECT_EQ(timestamp::from_parts(timestamp::max_seconds, 999).get_ts(), timestamp::max_seconds);
    const auto error = [](std::int64_t seconds, std::int64_t ms) {
        return test_kit::error_of<invalid_time>([&] { timestamp::from_parts(seconds, ms); });
    };
    EXPECT_EQ(error(-1, 999), "timestamp: seconds -1 is out of range 0..253402300799");
    EXPECT_EQ(error(9223372036854775807, 0),
              "timestamp: seconds 9223372036854775807 is out of range 0..253402300799");
    EXPECT_EQ(error(0, -1), "timestamp: milliseconds -1 is out of range 0..999");
    EXPECT_EQ(error(0, 1000), "timestamp: milliseconds 1000 is out of range 0..999");
    EXPECT_FALSE(timestamp::deserialize("99999999999999999999 0"));
    EXPECT_FALSE(timestamp::deserialize("-1 0"));
}

// Times are written digit by digit; they must read as strftime writes them,
// over the whole range and at its edges (leap days, centuries, 9999).
TEST(core_timestamp_test, texts_are_those_of_strftime) {
    const auto expected = [](std::int64_t seconds, unsigned ms, bool with_ms, char separator,
                             bool zone) {
        const auto time = static_cast<std::time_t>(seconds);
        std::tm tm{};
        gmtime_r(&time, &tm);
        char date[64];
        char clock[64];
        std::strftime(date, sizeof(date), "%Y-%m-%d", &tm);
        std::strftime(clock, sizeof(clock), "%H:%M:%S", &tm);
        char millis[8];
        std::snprintf(millis, sizeof(millis), ".%03u", ms);
        return std::string(date) + separator + clock + (with_ms ? millis : "") + (zone ? "Z" : "");
    };
    std::vector<std::int64_t> seconds{
        0,         59,         86399,      86400,      951782400,
        951868799, 4107542400, 4102444799, 1714557600, timestamp::max_seconds};
    std::mt19937_64 random(11);
    for (int i = 0; i < 20000; ++i)
        seconds.push_back(static_cast<std::int64_t>(random() % (timestamp::max_seconds + 1)));
    for (const auto s : seconds) {
        const unsigned ms = static_cast<unsigned>(random() % 1000);
        const auto ts = timestamp::from_parts(s, ms);
        ASSERT_EQ(ts.to_iso_8601(true, 'T', true), expected(s, ms, true, 'T', true)) << s;
        ASSERT_EQ(ts.to_iso_8601(false, ' ', false), expected(s, ms, false, ' ', false)) << s;
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
