#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "background_worker.hpp"
#include "context/context.hpp"
#include "context_debug.hpp"
#include "context_intake.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "histeresis.hpp"

namespace zentu {

// A context built from fresh platform lists, with the intake that brings it
// up to date with the messages that arrived meanwhile, and its zones and
// objects already formatted for the mirror.
struct rebuilt_context {
    std::unique_ptr<context::writable_context> context;
    std::unique_ptr<context_intake> intake;
    histeresis periods;
    context_debug::prepared_hashes mirror;
};

// The uids of the zones and trackable objects of a context that are created,
// updated or deleted while the recorder lives.
class change_recorder : public context::context::zones::observer,
                        public context::context::trackable_objects::observer {
public:
    using timestamp = libs::core::timestamp;

    explicit change_recorder(const context::context& ctx);

    void after_creating(const context::zone& z, timestamp) override { zones.insert(z.get_uid()); }
    void after_updating(const context::zone& z, timestamp) override { zones.insert(z.get_uid()); }
    void before_deleting(const context::zone& z, timestamp) override { zones.insert(z.get_uid()); }
    void after_creating(const context::trackable_object& o, timestamp) override {
        objects.insert(o.get_uid());
    }
    void after_updating(const context::trackable_object& o, timestamp) override {
        objects.insert(o.get_uid());
    }
    void before_deleting(const context::trackable_object& o, timestamp) override {
        objects.insert(o.get_uid());
    }

    std::set<std::string> zones;
    std::set<std::string> objects;

private:
    context::context::zones::subscription_handle m_zones_subscription;
    context::context::trackable_objects::subscription_handle m_objects_subscription;
};

// One rebuild under way: fetches the lists (trackable objects, zones, open
// alarms, alarm types) without blocking, builds the context from them on the
// background worker and hands it to `done` on the loop. A list that cannot be
// had or read ends the rebuild with the reason instead; nothing is retried.
//
// Dropping it abandons the rebuild: its requests are dropped, and a build
// under way finishes on the worker and is thrown away there.
//
// Threading: events-loop thread, except the build, which runs on the worker.
class context_rebuild {
public:
    using done_callback =
        std::function<void(std::unique_ptr<rebuilt_context> built, const std::string& failure)>;

    context_rebuild(libs::core::http::client& http_client, libs::core::events_loop& events_loop,
                    const libs::core::logger& logger, background_worker& worker,
                    done_callback done);
    ~context_rebuild();
    context_rebuild(const context_rebuild&) = delete;
    context_rebuild& operator=(const context_rebuild&) = delete;

private:
    static constexpr std::size_t lists = 4;

    void on_answer(std::size_t index, libs::core::http::result result);
    void build();

    libs::core::http::client& m_http_client;
    libs::core::events_loop& m_events_loop;
    const libs::core::logger& m_logger;
    libs::core::component_logger::ptr m_lists_logger;
    background_worker& m_worker;
    done_callback m_done;
    std::array<libs::core::http::client::handle::ptr, lists> m_requests;
    std::array<std::optional<std::string>, lists> m_bodies;
    std::size_t m_answered = 0;
    bool m_failed = false;
    // Expires with the rebuild: a build that finishes later is thrown away.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace zentu
