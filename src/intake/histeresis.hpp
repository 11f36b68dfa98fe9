#pragma once

#include <cstdint>
#include <string_view>

#include "core/clock.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"

namespace zentu {

// Re-send periods of set alarms, in seconds, as the platform's alarm types say.
struct histeresis {
    std::uint32_t zone_violation_histeresis = 0;
    std::uint32_t buffer_violation_histeresis = 0;
};

inline constexpr const char* alarm_types_address = "/api/private/alarm_types/";

// Reads the periods from the platform's alarm types, retrying every second
// (on the clock) until an answer comes or a stop signal was received
// ("Interrupted").
histeresis get_histeresis(libs::core::http::client& client, const libs::core::logger& logger,
                          const libs::core::events_loop::signals_handle& signals,
                          libs::core::clock& clock);

// The periods in the body of the alarm types; throws when it is not JSON
// ("Unable to parse histeresis: "), malformed, or lacks one of the two types.
histeresis parse_histeresis(std::string_view body);

}  // namespace zentu
