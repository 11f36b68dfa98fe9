#include "core/timestamp.hpp"

#include <cmath>
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

}  // namespace

timestamp::timestamp(std::time_t seconds, unsigned int milliseconds_part) noexcept
    : m_time_point(milliseconds(static_cast<std::int64_t>(seconds) * 1000 + milliseconds_part)) {}

timestamp::timestamp(const std::string_view& text) {
    auto parsed = try_parse(text);
    if (!parsed) ZENTU_THROW("timestamp: \"" + std::string(text) + "\" is invalid!");
    *this = *parsed;
}

std::optional<timestamp> timestamp::try_parse(const std::string_view& text) {
    const std::string copy(text);  // sscanf needs a terminated string
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    char separator = 0;
    float seconds = 0;
    if (std::sscanf(copy.c_str(), "%d-%d-%d%c%d:%d:%f", &year, &month, &day, &separator, &hour,
                    &minute, &seconds) != 7)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = static_cast<int>(seconds);
    tm.tm_isdst = -1;
    const std::time_t whole = timegm(&tm);
    // Single precision on purpose: .9995 and above carries into the next second.
    const float fraction = seconds - static_cast<float>(static_cast<int>(seconds));
    const long ms = std::lround(fraction * 1000.0f);
    return timestamp(milliseconds(static_cast<std::int64_t>(whole) * 1000 + ms));
}

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

std::optional<timestamp> timestamp::deserialize(std::string_view text) {
    const std::string copy(text);
    long long seconds = 0;
    unsigned int ms = 0;
    if (std::sscanf(copy.c_str(), "%lld %u", &seconds, &ms) != 2 || ms > 999) return std::nullopt;
    return timestamp(milliseconds(seconds * 1000 + ms));
}

std::string timestamp::to_iso_8601(bool with_milliseconds, char separator, bool with_zone) const {
    std::string text = format_utc(get_ts(), "%Y-%m-%d") + separator +
                       format_utc(get_ts(), "%H:%M:%S");
    if (with_milliseconds) text += "." + three_digits(get_ms());
    if (with_zone) text += "Z";
    return text;
}

std::string timestamp::to_iso_8601_string(bool with_milliseconds) const {
    return to_iso_8601(with_milliseconds, 'T', true);
}

std::string timestamp::to_string() const { return to_iso_8601(true, ' ', false); }

std::string timestamp::to_json_string() const { return "\"" + to_iso_8601_string(true) + "\""; }

}  // namespace zentu::libs::core
