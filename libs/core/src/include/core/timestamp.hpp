#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace zentu::libs::core {

// Wall-clock time with millisecond resolution (milliseconds since the Unix
// epoch, UTC). Distinct from the steady time points of timers.
class timestamp {
public:
    using milliseconds = std::chrono::milliseconds;
    using time_point = std::chrono::time_point<std::chrono::system_clock, milliseconds>;

    timestamp() noexcept = default;
    timestamp(std::time_t seconds, unsigned int milliseconds_part) noexcept;
    explicit timestamp(milliseconds since_epoch) noexcept : m_time_point(since_epoch) {}
    // Throws exception "timestamp: \"<text>\" is invalid!" when the text does not parse.
    explicit timestamp(const std::string_view& text);

    // An integer is never taken for a timestamp by accident.
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T>>>
    timestamp(T) = delete;

    static std::optional<timestamp> try_parse(const std::string_view& text);
    static timestamp current_time();
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
    timestamp operator+(milliseconds d) const noexcept { return timestamp(get_time_since_epoch() + d); }
    timestamp operator-(milliseconds d) const noexcept { return timestamp(get_time_since_epoch() - d); }

    bool operator==(const timestamp& o) const noexcept { return m_time_point == o.m_time_point; }
    bool operator!=(const timestamp& o) const noexcept { return m_time_point != o.m_time_point; }
    bool operator<(const timestamp& o) const noexcept { return m_time_point < o.m_time_point; }
    bool operator>(const timestamp& o) const noexcept { return m_time_point > o.m_time_point; }
    bool operator<=(const timestamp& o) const noexcept { return m_time_point <= o.m_time_point; }
    bool operator>=(const timestamp& o) const noexcept { return m_time_point >= o.m_time_point; }

private:
    time_point m_time_point{};
};

}  // namespace zentu::libs::core
