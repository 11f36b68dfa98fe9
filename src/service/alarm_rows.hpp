#pragma once

#include <json/value.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "context/alarm_type.hpp"
#include "context/context.hpp"
#include "core/timer.hpp"
#include "core/timestamp.hpp"
#include "delivery/alarms_controller_impl.hpp"

namespace zentu::api {

// The alarms of /v1/alarms in two steps: the events loop copies what it
// holds of each alarm into plain rows (alarm_rows), and the HTTP thread
// writes them as JSON (alarm_list_text), so the loop's share is the copy.

// What /v1/alarms lists.
struct alarm_filter {
    std::optional<std::string> object;
    std::optional<std::string> zone;
    bool undelivered = false;
};

// One alarm held, as the context and the controller hold it at the copy.
struct alarm_row {
    std::string uid;
    // Of the stored record; none for a uid only the controller still holds.
    struct record {
        std::string object;
        std::string zone;
        context::alarm_type kind;
        std::uint32_t level;
        std::string name;
        std::string wanted;
        libs::core::timestamp since;
    };
    std::optional<record> stored;
    std::optional<alarms_controller_impl::alarm_state> state;
    std::optional<std::array<alarms_controller_impl::platform_state, 2>> confirmed;
    std::optional<alarms_controller_impl::request> in_flight;
    libs::core::timestamp sent_at;
    alarms_controller_impl::alarm_info::wait waiting =
        alarms_controller_impl::alarm_info::wait::none;
    libs::core::timestamp next_send;
    std::optional<libs::core::timestamp> undelivered_since;
    unsigned attempts = 0;
    std::string last_failure;
};

using alarm_rows_ptr = std::shared_ptr<const std::vector<alarm_row>>;

// Events loop: the alarms held that pass the filter, by uid (oldest
// unconfirmed first with undelivered).
alarm_rows_ptr alarm_rows(const context::context& ctx, const alarms_controller_impl& controller,
                          const libs::core::timers_manager& timers, const alarm_filter& filter);

// Any thread: {"alarms": [...]} as one line of JSON.
std::string alarm_list_text(const std::vector<alarm_row>& rows);
Json::Value alarm_json(const alarm_row& row);

}  // namespace zentu::api
