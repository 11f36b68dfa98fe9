#include "core/timestamp.hpp"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "core/exception.hpp"

namespace zentu::libs::core {
namespace {

std::string format_utc(std::time_t seconds, const char* format) {
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char buffer[64];
    const auto n = std::strftime(buffer, sizeof(buffer), format, &tm);
    return std::string(buffer, n);
}

std::string three_digits(unsigned int value) {
    char buffer[8];
    std::snprintf(buffer, sizeof(buffer), "%03u", value);
    return buffer;
}

// Days since 1970-01-01 to the civil date (proleptic Gregorian), as in
// H. Hinnant's "chrono-compatible low-level date algorithms".
void civil_from_days(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto day_of_era = static_cast<unsigned>(days - era * 146097);
    const unsigned year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const unsigned day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const unsigned shifted_month = (5 * day_of_year + 2) / 153;
    day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
    month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
    year = static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2 ? 1 : 0);
}

char* put_digits(char* out, unsigned value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = static_cast<char>('0' + value % 10);
    return out + width;
}

}  // namespace

timestamp::timestamp(std::time_t seconds, unsigned int milliseconds_part) noexcept
    : m_time_point(milliseconds(static_cast<std::int64_t>(seconds) * 1000 + milliseconds_part)) {}

timestamp timestamp::current_time() {
    return timestamp(std::chrono::duration_cast<milliseconds>(
        std::chrono::system_clock::now().time_since_epoch()));
}

std::time_t timestamp::get_ts() const noexcept {
    return static_cast<std::time_t>(get_time_since_epoch().count() / 1000);
}

unsigned int timestamp::get_ms() const noexcept {
    return static_cast<unsigned int>(get_time_since_epoch().count() % 1000);
}

std::string timestamp::serialize() const {
    return std::to_string(get_ts()) + " " + std::to_string(get_ms()) + " [" +
           to_iso_8601(true, 'T', true) + "]";
}

std::string timestamp::to_iso_8601(bool with_milliseconds, char separator, bool with_zone) const {
    // Written digit by digit within the checked range (four-digit years), as
    // strftime writes it, at a fraction of its cost: every mirror write and
    // alarm line has times. Anything else takes the library's way.
    const std::int64_t count = get_time_since_epoch().count();
    if (count >= 0 && count / 1000 <= max_seconds) {
        const std::int64_t seconds = count / 1000;
        std::int64_t year = 0;
        unsigned month = 0;
        unsigned day = 0;
        civil_from_days(seconds / 86400, year, month, day);
        const auto of_day = static_cast<unsigned>(seconds % 86400);
        char buffer[32];
        char* out = put_digits(buffer, static_cast<unsigned>(year), 4);
        *out++ = '-';
        out = put_digits(out, month, 2);
        *out++ = '-';
        out = put_digits(out, day, 2);
        *out++ = separator;
        out = put_digits(out, of_day / 3600, 2);
        *out++ = ':';
        out = put_digits(out, of_day / 60 % 60, 2);
        *out++ = ':';
        out = put_digits(out, of_day % 60, 2);
        if (with_milliseconds) {
            *out++ = '.';
            out = put_digits(out, static_cast<unsigned>(count % 1000), 3);
        }
        if (with_zone)
            *out++ = 'Z';
        return std::string(buffer, out);
    }
    std::string text =
        format_utc(get_ts(), "%Y-%m-%d") + separator + format_utc(get_ts(), "%H:%M:%S");
    if (with_milliseconds)
        text += "." + three_digits(get_ms());
    if (with_zone)
        text += "Z";
    return text;
}

std::string timestamp::to_iso_8601_string(bool with_milliseconds) const {
    return to_iso_8601(with_milliseconds, 'T', true);
}

std::string timestamp::to_string() const {
    return to_iso_8601(true, ' ', false);
}

std::string timestamp::to_json_string() const {
    return "\"" + to_iso_8601_string(true) + "\"";
}

}  // namespace zentu::libs::core
