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

// Reads a text of the layout field by field. Each read either advances or
// records why the text is no time.
class time_text_reader {
public:
    time_text_reader(std::string_view text, iso_layout layout)
        : m_text(text), m_fixed(layout == iso_layout::fixed_width) {}

    std::optional<calendar_time> read() {
        constexpr std::size_t fixed_min_length = 24;
        if (m_fixed && m_text.size() < fixed_min_length)
            return std::nullopt;
        calendar_time time;
        if (!number(time.year, 4) || !separator('-') || !number(time.month, 2) || !separator('-') ||
            !number(time.day, 2) || !any_character() || !number(time.hour, 2) || !separator(':') ||
            !number(time.minute, 2) || !separator(':') || !number(time.second, 2))
            return std::nullopt;
        if (!fraction(time.fraction))
            return std::nullopt;
        return time;
    }

    // Why a text of the right shape is no time; empty when it has no such shape.
    const char* reason() const { return m_reason; }

private:
    // Flexible: 1 to 9 digits; fixed width: exactly width digits.
    bool number(std::int64_t& out, std::size_t width) {
        const std::size_t begin = m_position;
        if (m_fixed) {
            for (std::size_t i = 0; i < width; ++i)
                if (begin + i >= m_text.size() || !is_digit(m_text[begin + i]))
                    return false;
            m_position += width;
        } else {
            skip_digits();
        }
        const std::size_t length = m_position - begin;
        if (length == 0)
            return false;
        if (length > static_cast<std::size_t>(max_field_digits)) {
            m_reason = "a field has more than 9 digits";
            return false;
        }
        out = 0;
        for (std::size_t i = begin; i < m_position; ++i)
            out = out * 10 + (m_text[i] - '0');
        return true;
    }

    // Flexible: an optional "." and at most 9 digits; fixed width: whatever
    // character, then 1 to 9 digits.
    bool fraction(std::string_view& out) {
        if (m_fixed) {
            if (!any_character())
                return false;
        } else if (m_position >= m_text.size() || m_text[m_position] != '.') {
            return true;
        } else {
            ++m_position;
        }
        const std::size_t begin = m_position;
        skip_digits();
        out = m_text.substr(begin, m_position - begin);
        if (m_fixed && out.empty())
            return false;
        if (out.size() > static_cast<std::size_t>(max_field_digits)) {
            m_reason = m_fixed ? "fraction of a second longer than 9 digits"
                               : "a field has more than 9 digits";
            return false;
        }
        return true;
    }

    void skip_digits() {
        while (m_position < m_text.size() && is_digit(m_text[m_position]))
            ++m_position;
    }

    // Flexible: exactly c; fixed width: whatever stands there.
    bool separator(char c) {
        if (m_fixed)
            return any_character();
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
    bool m_fixed;
    std::size_t m_position = 0;
    const char* m_reason = "";
};

std::string invalid_text_message(std::string_view text) {
    return "timestamp: \"" + std::string(text) + "\" is invalid!";
}

timestamp parse_text(std::string_view text) {
    const auto reading = timestamp::read_iso_8601(text, iso_layout::flexible);
    if (reading.time)
        return *reading.time;
    throw invalid_time(
        invalid_text_message(text) + (reading.reason.empty() ? "" : " (" + reading.reason + ")"),
        reading.reason, ZENTU_SOURCE_LOCATION());
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
    return read_iso_8601(text, iso_layout::flexible).time;
}

iso_reading timestamp::read_iso_8601(std::string_view text, iso_layout layout) {
    time_text_reader reader(text, layout);
    const auto time = reader.read();
    if (!time)
        return {std::nullopt, reader.reason()};
    try {
        return {from_calendar(*time), {}};
    } catch (const invalid_time& e) {
        return {std::nullopt, e.reason()};
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
