#include "core/repeat_limiter.hpp"

namespace zentu::libs::core {

repeat_limiter::repeat_limiter(const clock& clock, std::chrono::nanoseconds period)
    : m_clock(clock), m_period(period) {}

std::string repeat_limiter::held_back_note(std::size_t held_back) {
    if (held_back == 0)
        return {};
    return "; " + std::to_string(held_back) + " more like it held back since the last line";
}

std::string repeat_limiter::verdict::note() const {
    return write ? held_back_note(held_back) : std::string();
}

repeat_limiter::verdict repeat_limiter::admit(std::string_view kind) {
    const auto now = m_clock.current_time_point();
    auto found = m_kinds.find(kind);
    if (found == m_kinds.end()) {
        m_kinds.emplace(std::string(kind), kind_state{now, 0});
        return {true, 0};
    }
    kind_state& state = found->second;
    if (now - state.last_written < m_period) {
        ++state.held_back;
        return {false, 0};
    }
    const verdict written{true, state.held_back};
    state = kind_state{now, 0};
    return written;
}

std::optional<std::size_t> repeat_limiter::forget(std::string_view kind) {
    const auto found = m_kinds.find(kind);
    if (found == m_kinds.end())
        return std::nullopt;
    const std::size_t held_back = found->second.held_back;
    m_kinds.erase(found);
    return held_back;
}

}  // namespace zentu::libs::core
