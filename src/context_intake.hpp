#pragma once

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
#include "core/logger.hpp"

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
    context_intake(context::writable_context& context, libs::core::http::client& http_client,
                   libs::core::events_loop& events_loop, const libs::core::logger& logger);

    context_intake(const context_intake&) = delete;
    context_intake& operator=(const context_intake&) = delete;

    // The parsed REST lists, in this order: trackable objects, zones (whose
    // occupancy lists become zone events as they are added), open alarms.
    // Each bad record is logged and skipped.
    void load_trackable_objects(const libs::context_utils::json_answer& answer);
    void load_zones(const libs::context_utils::json_answer& answer);
    void load_alarms(const libs::context_utils::json_answer& answer);

    void handle_notify(std::string_view body);
    void handle_zone_event(std::string_view body);
    // Whether each "zone_event" writes the debug trace line (not when a
    // rebuilt context catches up with messages already traced).
    void set_tracing(bool on) noexcept { m_tracing = on; }

private:
    void register_callbacks();
    void add_zone(const zone_record& record);
    void update_zone(const zone_record& record);
    void add_trackable_object(const object_record& record);
    void update_trackable_object(const object_record& record);
    void update_groups(const libs::context_utils::parsers::trackable_object_groups& record);
    void add_alarm(const libs::context_utils::parsers::alarm& record);

    // Runs f; an exception is logged and the caller's walk goes on.
    template <typename F>
    void ignore_errors(F&& f);

    context::writable_context& m_context;
    libs::context_utils::context_synchronizer::ptr m_synchronizer;
    libs::context_utils::context_initializer m_lists;
    const libs::core::logger& m_logger;
    libs::core::json::reader m_reader;
    bool m_tracing = true;
};

// Whether a platform zone record differs from the stored zone in anything the
// service uses (the record's time stamp does not count).
bool zone_was_changed(const libs::context_utils::parsers::zone& record, const context::zone& zone,
                      const std::set<std::string>& exceptions,
                      const std::set<std::string>& exceptions_groups);

}  // namespace zentu
