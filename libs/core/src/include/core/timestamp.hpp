#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "core/exception.hpp"

namespace zentu::libs::core {

// A time that cannot be a platform time: a value out of range, a calendar
// field out of range, or text that is not a date and time. what() is
// "timestamp: ..."; reason() is the bare cause, e.g. "month 13 is out of
// range 1..12", for callers that name the field themselves, and empty when
// the text is simply no date and time.
class invalid_time : public exception {
public:
    invalid_time(std::string message, std::string reason, source_location location)
        : exception(std::move(message), location), m_reason(std::move(reason)) {}
    const std::string& reason() const noexcept { return m_reason; }

private:
    std::string m_reason;
};

// A UTC calendar date and time of day as read from text, not yet checked.
struct calendar_time {
    std::int64_t year = 1970;
    std::int64_t month = 1;
    std::int64_t day = 1;
    std::int64_t hour = 0;
    std::int64_t minute = 0;
    std::int64_t second = 0;
    // The decimal digits after the point of the seconds, at most 9; rounded
    // to milliseconds, halves away from zero (.9995 carries into the next second).
    std::string_view fraction;
};

// The two layouts of the one ISO-8601 reader (timestamp::read_iso_8601).
enum class iso_layout {
    // "YYYY-MM-DD?hh:mm:ss[.f]": fields of 1 to 9 digits, "-" and ":" between
    // them, any one character (normally T or a space) between date and time,
    // the fraction optional (at most 9 digits).
    flexible,
    // The platform's records, "YYYY-MM-DDThh:mm:ss.f": exactly 4, 2, 2, 2, 2
    // and 2 digits at their places, whatever stands between them, a fraction
    // of 1 to 9 digits from the 21st character; at least 24 characters.
    fixed_width,
};

struct iso_reading;

// Wall-clock time with millisecond resolution (milliseconds since the Unix
// epoch, UTC). Distinct from the steady time points of timers.
class timestamp {
public:
    using milliseconds = std::chrono::milliseconds;
    using time_point = std::chrono::time_point<std::chrono::system_clock, milliseconds>;

    // Every checked form below accepts exactly the times from
    // 1970-01-01T00:00:00.000Z to 9999-12-31T23:59:59.999Z: the platform has
    // no earlier times, four-digit years end there, and within these bounds
    // seconds × 1000 + milliseconds can never overflow.
    static constexpr std::int64_t min_seconds = 0;
    static constexpr std::int64_t max_seconds = 253402300799;  // 9999-12-31T23:59:59Z

    timestamp() noexcept = default;
    // Unchecked: for values the service made itself. Input from outside goes
    // through from_parts, from_calendar or try_parse.
    timestamp(std::time_t seconds, unsigned int milliseconds_part) noexcept;
    explicit timestamp(milliseconds since_epoch) noexcept : m_time_point(since_epoch) {}
    // Parses like try_parse. Throws invalid_time "timestamp: \"<text>\" is
    // invalid!" when the text is no date and time, followed by " (<reason>)"
    // when a field or the value is out of range.
    explicit timestamp(const std::string_view& text);

    // An integer is never taken for a timestamp by accident.
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
    timestamp(T) = delete;

    // Seconds in min_seconds..max_seconds, milliseconds in 0..999; otherwise
    // throws invalid_time, e.g. "timestamp: seconds -1 is out of range 0..253402300799".
    static timestamp from_parts(std::int64_t seconds, std::int64_t milliseconds_part);
    // Year 1970..9999, month 1..12, day 1..days of that month, hour 0..23,
    // minute 0..59, second 0..60 (60, a leap second, is the next minute's
    // first second, as timegm reads it); otherwise throws invalid_time.
    static timestamp from_calendar(const calendar_time& time);

    // "YYYY-MM-DD?hh:mm:ss[.f]" where ? is any one character (normally T or a
    // space), fields are decimal digits (at most 9 each; the fraction at most
    // 9 digits) and anything after the seconds, such as a zone designator, is
    // ignored: the time is read as UTC. Empty when the text is no such time or
    // is out of range (see from_calendar).
    static std::optional<timestamp> try_parse(const std::string_view& text);
    // The one reader of ISO-8601 texts, in either layout (see iso_reading).
    static iso_reading read_iso_8601(std::string_view text, iso_layout layout);
    static timestamp current_time();
    // Empty unless the text is "<seconds> <ms>" of a time within the bounds.
    static std::optional<timestamp> deserialize(std::string_view text);

    // "<seconds> <ms> [YYYY-MM-DDTHH:MM:SS.mmmZ]"
    std::string serialize() const;
    std::string to_string() const;
    std::string to_json_string() const;
    std::string to_iso_8601_string(bool with_milliseconds = true) const;
    std::string to_iso_8601(bool with_milliseconds, char separator, bool with_zone) const;

    std::time_t get_ts() const noexcept;
    unsigned int get_ms() const noexcept;
    milliseconds get_time_since_epoch() const noexcept { return m_time_point.time_since_epoch(); }

    milliseconds operator-(const timestamp& other) const noexcept {
        return m_time_point - other.m_time_point;
    }
    timestamp& operator+=(milliseconds d) noexcept {
        m_time_point += d;
        return *this;
    }
    timestamp& operator-=(milliseconds d) noexcept {
        m_time_point -= d;
        return *this;
    }
    timestamp operator+(milliseconds d) const noexcept {
        return timestamp(get_time_since_epoch() + d);
    }
    timestamp operator-(milliseconds d) const noexcept {
        return timestamp(get_time_since_epoch() - d);
    }

    bool operator==(const timestamp& o) const noexcept { return m_time_point == o.m_time_point; }
    bool operator!=(const timestamp& o) const noexcept { return m_time_point != o.m_time_point; }
    bool operator<(const timestamp& o) const noexcept { return m_time_point < o.m_time_point; }
    bool operator>(const timestamp& o) const noexcept { return m_time_point > o.m_time_point; }
    bool operator<=(const timestamp& o) const noexcept { return m_time_point <= o.m_time_point; }
    bool operator>=(const timestamp& o) const noexcept { return m_time_point >= o.m_time_point; }

private:
    time_point m_time_point{};
};

// What timestamp::read_iso_8601 read. Anything after the seconds' fraction (a
// zone designator) is ignored and the time read as UTC, in the ranges of
// from_calendar. Without a time, reason says why when the text has the shape
// of one ("month 13 is out of range 1..12", "a field has more than 9 digits"
// or, fixed width, "fraction of a second longer than 9 digits"), and is empty
// when the text is simply no time.
struct iso_reading {
    std::optional<timestamp> time;
    std::string reason;
};

}  // namespace zentu::libs::core
