#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "context/context.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "intake/background_worker.hpp"
#include "intake/context_intake.hpp"
#include "intake/context_updater.hpp"
#include "intake/histeresis.hpp"
#include "mirror/context_debug.hpp"

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

// Brings a built context up to what the running one knows. First the
// messages that arrived while it was built (the running context has them
// already). Then, for the zones whose list entry carried no occupancy, the
// running context's zone events and positions: the lists cannot say, and what
// the stream taught stays true until the object moves. Runs on the loop.
void catch_up(rebuilt_context& built, const context::context& running,
              const std::vector<context_updater::journal_entry>& journal);

// One rebuild under way: fetches the lists (trackable objects, zones, open
// alarms, alarm types) without blocking, builds the context from them on the
// background worker and hands it to `done` on the loop. A list that cannot be
// had or read ends the rebuild with the reason instead; nothing is retried.
//
// The zones are asked for once the objects have answered, so that their
// occupancy lists are never older than the objects: an object created between
// the two is then one the zones may know and the objects do not (it comes
// with the messages caught up with), never one placed outside every zone
// because the zones had not heard of it yet.
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

    void request(std::size_t index);
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
