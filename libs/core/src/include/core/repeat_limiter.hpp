#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/clock.hpp"

namespace zentu::libs::core {

// Keeps a run of like error lines (a malformed message every millisecond, a
// list request failing every few seconds) from flooding the log and, through
// journald's rate limit, from pushing out the lines that matter: the first
// line of a kind is written, then at most one a period, which tells how many
// of its kind were held back since the one before. A kind is the caller's
// name for the trouble (a topic, a request path); the few kinds a caller has
// are kept until forgotten. Never put decision or delivery lines through it.
//
// Threading: not synchronised; one thread at a time. The clock may be a
// fake one (the loop's timers_manager is the service's).
class repeat_limiter {
public:
    static constexpr std::chrono::seconds default_period{60};

    explicit repeat_limiter(const clock& clock, std::chrono::nanoseconds period = default_period);

    struct verdict {
        bool write = true;
        // Lines of the kind held back since the last one written; set only
        // when this one is written.
        std::size_t held_back = 0;

        // held_back_note(held_back) for a line written, else nothing.
        std::string note() const;
    };
    // "; N more like it held back since the last line", or nothing for 0:
    // appended to the line written.
    static std::string held_back_note(std::size_t held_back);

    // Called once per line of the kind that is about to be written.
    verdict admit(std::string_view kind);

    // The trouble of the kind is over: its next line is written at once.
    // Nothing when none of its lines was written since it was last forgotten;
    // otherwise how many were held back since the last one (and not told).
    std::optional<std::size_t> forget(std::string_view kind);

private:
    struct kind_state {
        clock::time_point last_written;
        std::size_t held_back = 0;
    };

    const clock& m_clock;
    const std::chrono::nanoseconds m_period;
    std::map<std::string, kind_state, std::less<>> m_kinds;
};

}  // namespace zentu::libs::core
