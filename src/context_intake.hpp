#pragma once

#include <set>
#include <string>
#include <string_view>

#include "context/context.hpp"
#include "context_utils/context_synchronizer.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "core/message_stream.hpp"

namespace zentu {

// Keeps the domain context equal to the platform: loads zones, objects, the
// initial zone events and the open alarms at construction, then applies the
// platform's notifications and "zone_event" messages to the repositories,
// whose observers (alarm generator, mirror) learn of every change.
//
// Threading: constructed before the events loop runs (it blocks while the
// platform is loaded); afterwards every callback runs on the events-loop thread.
class context_updater {
public:
    context_updater(context::writable_context& context, libs::core::http::client& http_client,
                    libs::core::message_stream& message_stream,
                    libs::core::events_loop& events_loop, libs::core::logger& logger,
                    const libs::core::events_loop::signals_handle& signals);

    context_updater(const context_updater&) = delete;
    context_updater& operator=(const context_updater&) = delete;

    void handle_zone_event(std::string_view body);

private:
    using zone_record = libs::context_utils::parsers::zone;
    using object_record = libs::context_utils::parsers::trackable_object;
    using uids = std::set<std::string>;

    void register_zones_callbacks();
    void register_trobjects_callbacks();
    void register_trobjects_groups_callbacks();
    void initialize_alarms();

    void add_zone(const zone_record& record);
    void update_zone(const zone_record& record);
    void add_trackable_object(const object_record& record);
    void update_trackable_object(const object_record& record);
    void update_groups(const libs::context_utils::parsers::trackable_object_groups& record);

    // Runs f; an exception is logged and the caller's walk goes on.
    template <typename F>
    void ignore_errors(F&& f);

    libs::core::http::client& m_http_client;
    libs::context_utils::context_synchronizer::ptr m_synchronizer;
    context::writable_context& m_context;
    libs::core::message_stream::subscription::ptr m_notify_subscription;
    libs::core::message_stream::subscription::ptr m_zone_event_subscription;
    libs::core::logger& m_logger;
    const libs::core::events_loop::signals_handle& m_signals;
};

// Whether a platform zone record differs from the stored zone in anything the
// service uses (the record's time stamp does not count).
bool zone_was_changed(const libs::context_utils::parsers::zone& record, const context::zone& zone,
                      const std::set<std::string>& exceptions,
                      const std::set<std::string>& exceptions_groups);

}  // namespace zentu
