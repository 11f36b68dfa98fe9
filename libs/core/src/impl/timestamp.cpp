#include "core/timestamp.hpp"

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
