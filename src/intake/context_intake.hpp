#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "context/context.hpp"
#include "context_utils/context_initializer.hpp"
#include "context_utils/context_synchronizer.hpp"
#include "context_utils/json_template.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/json.hpp"
#include "core/json_members.hpp"
#include "core/logger.hpp"
#include "core/repeat_limiter.hpp"
#include "ops/metrics.hpp"

namespace zentu {

// Everything the platform says, applied to one context: its REST lists (the
// load that fills a context), its "notify" messages (zones, trackable objects
// and group memberships created, updated, deleted) and its "zone_event"
// messages. Every change goes through the context's repositories, so their
// observers learn of it.
//
// The running service has one for its context; a rebuild has one for the
// context it builds, on the builder's thread for the lists and on the loop
// for the messages it catches up with.
//
// Threading: one thread at a time (the owner's); it keeps a JSON reader.
class context_intake {
public:
    using zone_record = libs::context_utils::parsers::zone;
    using object_record = libs::context_utils::parsers::trackable_object;

    // http_client and events_loop are only kept by the notification dispatch
    // of the context-utils library, which makes no request here.
    // metrics counts the messages.
    context_intake(context::writable_context& context, libs::core::http::client& http_client,
                   libs::core::events_loop& events_loop, const libs::core::logger& logger,
                   ops::service_metrics& metrics = ops::unread_metrics());

    context_intake(const context_intake&) = delete;
    context_intake& operator=(const context_intake&) = delete;

    // The parsed REST lists, in this order: trackable objects, zones (whose
    // occupancy lists become zone events as they are added), open alarms.
    // Each bad record is logged and skipped.
    void load_trackable_objects(const libs::context_utils::json_answer& answer);
    void load_zones(const libs::context_utils::json_answer& answer);
    void load_alarms(const libs::context_utils::json_answer& answer);
    // The same from the texts of the answers, parsed one element at a time so
    // that a large list never stands whole in memory; a text that is not
    // JSON throws "parse error: ", as the lists parsed whole do.
    void load_trackable_objects(std::string_view body);
    void load_zones(std::string_view body);
    void load_alarms(std::string_view body);

    void handle_notify(std::string_view body);
    // Read through the zone event's field table (context/record_fields.hpp).
    // Not JSON: throws the check "parse_result.ok". A member missing or of
    // another JSON type: dropped silently; a time out of range: dropped and
    // logged.
    void handle_zone_event(std::string_view body);

private:
    void register_callbacks();
    // Each element of the list in body to add(element), inside the record guard.
    template <typename Add>
    void load_elements(const libs::context_utils::object_info& info, std::string_view body,
                       Add&& add);
    void load_trackable_object(const Json::Value& element);
    void load_zone(const Json::Value& element);
    void load_alarm(const Json::Value& element);
    void add_zone(const zone_record& record);
    void update_zone(const zone_record& record);
    void add_trackable_object(const object_record& record);
    void update_trackable_object(const object_record& record);
    void update_groups(const libs::context_utils::parsers::trackable_object_groups& record);
    void add_alarm(const libs::context_utils::parsers::alarm& record);
    void apply_zone_event(context::zone_event event);
    // A zone event message's members, read by either reader, to the context.
    void handle_zone_event_members(const libs::core::json::members& message);
    // Removes the zone events whose uid starts with prefix and that match:
    // the movements of a deleted object or zone. The running context's rules
    // remove them too; a context being rebuilt has no rules, and an object or
    // zone created again with the same uid must not inherit them.
    template <typename Match>
    void remove_zone_events(const std::string& prefix, Match&& match, libs::core::timestamp ts);

    // Runs f; an exception is logged and the caller's walk goes on.
    template <typename F>
    void ignore_errors(F&& f);

    context::writable_context& m_context;
    libs::context_utils::context_synchronizer::ptr m_synchronizer;
    libs::context_utils::context_initializer m_lists;
    const libs::core::logger& m_logger;
    libs::core::json::reader m_reader;
    // Reads the zone events first; what it leaves goes to m_reader.
    libs::core::json::quick_reader m_quick_reader;
    ops::service_metrics& m_metrics;
    // Zone events with times out of range: one line a minute with the count.
    libs::core::repeat_limiter m_time_failures{libs::core::real_clock()};
};

}  // namespace zentu
