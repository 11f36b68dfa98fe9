#include <string>

#include "core/timestamp.hpp"

namespace zentu::libs::core {
namespace {

constexpr int max_field_digits = 9;

[[noreturn]] void throw_invalid(const std::string& reason, const source_location& location) {
    throw invalid_time("timestamp: " + reason, reason, location);
}

std::string range_text(const char* name, std::int64_t value, std::int64_t low, std::int64_t high) {
    return std::string(name) + " " + std::to_string(value) + " is out of range " +
           std::to_string(low) + ".." + std::to_string(high);
}

bool is_leap_year(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int64_t days_in_month(std::int64_t year, std::int64_t month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to a proleptic Gregorian date, for years from 1970 on.
std::int64_t days_since_epoch(std::int64_t year, std::int64_t month, std::int64_t day) {
    const std::int64_t y = month <= 2 ? year - 1 : year;
    const std::int64_t era = y / 400;
    const std::int64_t year_of_era = y - era * 400;
    const std::int64_t shifted_month = month > 2 ? month - 3 : month + 9;
    const std::int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
    const std::int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

// Milliseconds of a decimal fraction, halves rounded up: 0..1000.
std::int64_t fraction_milliseconds(std::string_view digits) {
    std::int64_t ms = 0;
    for (std::size_t i = 0; i < 3; ++i)
        ms = ms * 10 + (i < digits.size() ? digits[i] - '0' : 0);
    if (digits.size() > 3 && digits[3] >= '5')
        ++ms;
    return ms;
}

void check_field(const char* name, std::int64_t value, std::int64_t low, std::int64_t high) {
    if (value < low || value > high)
        throw_invalid(range_text(name, value, low, high), ZENTU_SOURCE_LOCATION());
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the text "YYYY-MM-DD?hh:mm:ss[.f]" field by field. Each read either
// advances or records why the text is no time.
class time_text_reader {
public:
    explicit time_text_reader(std::string_view text) : m_text(text) {}

    std::optional<calendar_time> read() {
        calendar_time time;
        if (!number(time.year) || !literal('-') || !number(time.month) || !literal('-') ||
            !number(time.day) || !any_character() || !number(time.hour) || !literal(':') ||
            !number(time.minute) || !literal(':') || !number(time.second))
            return std::nullopt;
        if (m_position < m_text.size() && m_text[m_position] == '.') {
            ++m_position;
            const std::size_t begin = m_position;
            skip_digits();
            time.fraction = m_text.substr(begin, m_position - begin);
            if (time.fraction.size() > static_cast<std::size_t>(max_field_digits)) {
                m_too_long = true;
                return std::nullopt;
            }
        }
        return time;
    }

    // The text has the right shape but a field of absurd length.
    bool too_long() const { return m_too_long; }

private:
    bool number(std::int64_t& out) {
        const std::size_t begin = m_position;
        skip_digits();
        const std::size_t length = m_position - begin;
        if (length == 0)
            return false;
        if (length > static_cast<std::size_t>(max_field_digits)) {
            m_too_long = true;
            return false;
        }
        out = 0;
        for (std::size_t i = begin; i < m_position; ++i)
            out = out * 10 + (m_text[i] - '0');
        return true;
    }

    void skip_digits() {
        while (m_position < m_text.size() && is_digit(m_text[m_position]))
            ++m_position;
    }

    bool literal(char c) {
        if (m_position >= m_text.size() || m_text[m_position] != c)
            return false;
        ++m_position;
        return true;
    }

    bool any_character() {
        if (m_position >= m_text.size())
            return false;
        ++m_position;
        return true;
    }

    std::string_view m_text;
    std::size_t m_position = 0;
    bool m_too_long = false;
};

std::string invalid_text_message(std::string_view text) {
    return "timestamp: \"" + std::string(text) + "\" is invalid!";
}

timestamp parse_text(std::string_view text) {
    time_text_reader reader(text);
    const auto time = reader.read();
    if (!time) {
        if (reader.too_long())
            throw invalid_time(invalid_text_message(text) + " (a field has more than 9 digits)",
                               "a field has more than 9 digits", ZENTU_SOURCE_LOCATION());
        throw invalid_time(invalid_text_message(text), "", ZENTU_SOURCE_LOCATION());
    }
    try {
        return timestamp::from_calendar(*time);
    } catch (const invalid_time& e) {
        throw invalid_time(invalid_text_message(text) + " (" + e.reason() + ")", e.reason(),
                           ZENTU_SOURCE_LOCATION());
    }
}

}  // namespace

timestamp timestamp::from_parts(std::int64_t seconds, std::int64_t milliseconds_part) {
    check_field("seconds", seconds, min_seconds, max_seconds);
    check_field("milliseconds", milliseconds_part, 0, 999);
    return timestamp(milliseconds(seconds * 1000 + milliseconds_part));
}

timestamp timestamp::from_calendar(const calendar_time& time) {
    check_field("year", time.year, 1970, 9999);
    check_field("month", time.month, 1, 12);
    check_field("day", time.day, 1, days_in_month(time.year, time.month));
    check_field("hour", time.hour, 0, 23);
    check_field("minute", time.minute, 0, 59);
    check_field("second", time.second, 0, 60);
    if (time.fraction.size() > static_cast<std::size_t>(max_field_digits))
        throw_invalid("fraction of a second longer than 9 digits", ZENTU_SOURCE_LOCATION());
    for (const char c : time.fraction) {
        if (!is_digit(c))
            throw_invalid("fraction of a second is not decimal digits", ZENTU_SOURCE_LOCATION());
    }
    const std::int64_t seconds = days_since_epoch(time.year, time.month, time.day) * 86400 +
                                 time.hour * 3600 + time.minute * 60 + time.second;
    const std::int64_t ms = seconds * 1000 + fraction_milliseconds(time.fraction);
    if (ms > max_seconds * 1000 + 999)
        throw_invalid("time is past 9999-12-31T23:59:59.999Z", ZENTU_SOURCE_LOCATION());
    return timestamp(milliseconds(ms));
}

timestamp::timestamp(const std::string_view& text) : timestamp(parse_text(text)) {}

std::optional<timestamp> timestamp::try_parse(const std::string_view& text) {
    try {
        return parse_text(text);
    } catch (const invalid_time&) {
        return std::nullopt;
    }
}

std::optional<timestamp> timestamp::deserialize(std::string_view text) {
    const auto space = text.find(' ');
    if (space == std::string_view::npos)
        return std::nullopt;
    const auto read = [](std::string_view digits, std::int64_t& out) {
        if (digits.empty() || digits.size() > 12)
            return false;
        out = 0;
        for (const char c : digits) {
            if (!is_digit(c))
                return false;
            out = out * 10 + (c - '0');
        }
        return true;
    };
    std::int64_t seconds = 0;
    std::int64_t ms = 0;
    auto rest = text.substr(space + 1);
    rest = rest.substr(0, rest.find(' '));
    if (!read(text.substr(0, space), seconds) || !read(rest, ms))
        return std::nullopt;
    try {
        return from_parts(seconds, ms);
    } catch (const invalid_time&) {
        return std::nullopt;
    }
}

}  // namespace zentu::libs::core
