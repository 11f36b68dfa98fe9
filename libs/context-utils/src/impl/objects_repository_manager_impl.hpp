#pragma once

#include <chrono>
#include <memory>
#include <set>
#include <string>

#include "context_utils/context_initializer.hpp"
#include "context_utils/context_updater.hpp"
#include "context_utils/objects_repository_manager.hpp"
#include "core/source_location.hpp"
#include "core/timer.hpp"

namespace zentu::libs::context_utils {

// Store of one kind, I being the model interface and Impl its implementation.
// Used on the events-loop thread only. The notification callbacks it leaves in
// the updater's slots do nothing once the manager is gone.
template <typename I, typename Impl>
class objects_repository_manager_impl : public objects_repository_manager<I> {
public:
    objects_repository_manager_impl(const object_info& info, context_initializer& initializer,
                                    context_updater& updater, core::timers_manager& timers)
        : m_info(info), m_initializer(initializer), m_clock(timers) {
        initializer.for_each_object_on_server(
            info, [this](const json_template<_json_object_tag>& element) {
                store(std::make_unique<Impl>(element));
                return true;
            });
        follow_notifications(updater);
        m_timer = timers.create_periodic_timer(
            std::chrono::seconds(1800), "context_utils: zones updater",
            [this](core::timer::time_point) { reload(); }, ZENTU_SOURCE_LOCATION());
    }

    objects_repository_manager_impl(const objects_repository_manager_impl&) = delete;
    objects_repository_manager_impl& operator=(const objects_repository_manager_impl&) = delete;

    const objects_repository<I>& get_objects() const override { return m_objects; }
    void disable_timer() override { m_timer->stop(); }
    void set_update_period(std::chrono::nanoseconds period) override { m_timer->reset(period); }

private:
    using notify = json_template<_json_notify_tag>;

    // The uid and the time are read before the object enters the store, so
    // an object without them never does.
    void store(std::unique_ptr<Impl> object) {
        const timestamp ts = object->get_updated_at();
        m_objects.update_or_add(std::move(object), ts);
    }

    void follow_notifications(context_updater& updater) {
        std::weak_ptr<const bool> alive = m_alive;
        auto store_notified = [this, alive](const notify& message) {
            if (!alive.expired())
                store(std::make_unique<Impl>(message));
        };
        updater.on_creating(m_info, store_notified);
        updater.on_updating(m_info, store_notified);
        updater.on_deleting(m_info, [this, alive](const notify& message) {
            if (alive.expired())
                return;
            const Impl object(message);
            m_objects.remove(object.get_uid(), object.get_updated_at());
        });
    }

    // Dropping the previous handle abandons its request: a late answer never
    // overwrites a newer reload.
    void reload() {
        m_request =
            m_initializer.get_objects_async(m_info, [this](std::optional<json_answer> answer) {
                if (answer)
                    apply(*answer);
            });
    }

    void apply(const json_answer& answer) {
        const timestamp now = m_clock.current_timestamp();
        std::set<std::string, std::less<>> seen;
        m_initializer.for_each_object(m_info, answer,
                                      [&](const json_template<_json_object_tag>& element) {
                                          auto object = std::make_unique<Impl>(element);
                                          seen.insert(object->get_uid());
                                          m_objects.update_or_add(std::move(object), now);
                                          return true;
                                      });
        // for_each steps past an entry before visiting it, so the visited
        // object may be removed.
        m_objects.for_each([&](const I& object) {
            if (seen.find(object.get_uid()) == seen.end()) {
                // A copy: remove() destroys the object the uid belongs to.
                // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
                const std::string uid = object.get_uid();
                m_objects.remove(uid, now);
            }
            return true;
        });
    }

    const object_info& m_info;
    context_initializer& m_initializer;
    objects_repository<I> m_objects;
    const core::clock& m_clock;
    core::periodic_timer::ptr m_timer;
    core::async_operation_handle<core::http::result>::ptr m_request;
    // Expires with the manager; the updater's callbacks look at it.
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
};

}  // namespace zentu::libs::context_utils
