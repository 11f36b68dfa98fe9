#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "context/context.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "core/message_stream.hpp"
#include "core/repeat_limiter.hpp"
#include "intake/context_intake.hpp"

namespace zentu {

// Keeps the service's context equal to the platform: loads zones, objects,
// their occupancy and the open alarms at construction, then applies the
// platform's "notify" and "zone_event" messages to the repositories, whose
// observers (alarm generator, mirror) learn of every change.
//
// While the context is being rebuilt, every message is also kept in a
// journal, so the rebuilt context can catch up with what happened meanwhile.
//
// A message of the stream that cannot be handled is logged and the stream
// goes on; a run of them is one line a minute per topic (repeat_limiter).
//
// Threading: constructed before the events loop runs (it blocks while the
// platform is loaded); afterwards every callback runs on the events-loop thread.
class context_updater {
public:
    struct journal_entry {
        bool notify;  // else a "zone_event"
        std::string body;
    };
    // More messages than this during one rebuild: the rebuild gives up.
    static constexpr std::size_t max_journal_entries = 500'000;

    // metrics counts the messages.
    context_updater(context::writable_context& context, libs::core::http::client& http_client,
                    libs::core::message_stream& message_stream,
                    libs::core::events_loop& events_loop, libs::core::logger& logger,
                    ops::service_metrics& metrics = ops::unread_metrics());

    context_updater(const context_updater&) = delete;
    context_updater& operator=(const context_updater&) = delete;

    void handle_notify(std::string_view body);
    void handle_zone_event(std::string_view body);

    // Every message from now on is kept too, until take_journal().
    void start_journal();
    // The messages kept since start_journal(); keeping stops. Empty and
    // overflowed when there were more than max_journal_entries.
    std::vector<journal_entry> take_journal(bool& overflowed);

private:
    void keep(bool notify, std::string_view body);
    void handle_from_stream(void (context_updater::*handle)(std::string_view),
                            std::string_view topic, std::string_view body);

    context_intake m_intake;
    const libs::core::logger& m_logger;
    libs::core::repeat_limiter m_stream_failures;
    libs::core::message_stream::subscription::ptr m_notify_subscription;
    libs::core::message_stream::subscription::ptr m_zone_event_subscription;
    bool m_journaling = false;
    bool m_journal_overflowed = false;
    std::vector<journal_entry> m_journal;
};

}  // namespace zentu
