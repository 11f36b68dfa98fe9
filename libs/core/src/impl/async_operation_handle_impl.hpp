#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

#include "core/async_operation_handle.hpp"
#include "core/events_loop.hpp"
#include "core/source_location.hpp"

namespace zentu::libs::core {

// Handle whose operation runs elsewhere (e.g. a worker thread) and whose
// result is delivered on m_events_loop.
//
// Threading: create, start, restart, set_callback and destruction happen on
// the loop's thread; is_complete may be read from any thread. The operation
// reports through a completion, which may be used on any thread and never
// holds the handle alive, so the handle is only ever destroyed by its owners
// and a dropped handle gets no callback.
template <typename T>
class async_operation_handle_impl
    : public async_operation_handle<T>,
      public std::enable_shared_from_this<async_operation_handle_impl<T>> {
    class badge {
        badge() = default;
        friend class async_operation_handle_impl;
    };

public:
    // What the running operation holds on to.
    class completion {
    public:
        // True once every owner has dropped the handle: the result is unwanted.
        bool is_abandoned() const noexcept { return m_handle.expired(); }

        // Posts the result to the handle's loop with a weak pointer; there it
        // marks the handle complete and calls its callback, if the handle
        // still exists and has one. Otherwise the result is dropped.
        void return_result(T&& result) const {
            m_events_loop->post(
                [handle = m_handle, result = std::move(result)]() mutable {
                    auto self = handle.lock();
                    if (!self)
                        return;
                    self->m_completed = true;
                    // A copy: the callback may replace itself or drop the handle.
                    auto callback = self->get_callback();
                    if (callback)
                        callback(std::move(result));
                },
                ZENTU_SOURCE_LOCATION());
        }

    private:
        friend class async_operation_handle_impl;
        completion(std::weak_ptr<async_operation_handle_impl> handle, events_loop& loop)
            : m_handle(std::move(handle)), m_events_loop(&loop) {}

        std::weak_ptr<async_operation_handle_impl> m_handle;
        events_loop* m_events_loop;
    };

    // Launches the operation once; called again by restart().
    using start_function = std::function<void(const completion&)>;
    using ptr = std::shared_ptr<async_operation_handle_impl>;

    static ptr create(events_loop& loop, start_function start) {
        return std::make_shared<async_operation_handle_impl>(badge{}, loop, std::move(start));
    }

    async_operation_handle_impl(badge, events_loop& loop, start_function start)
        : m_events_loop(loop), m_start_function(std::move(start)) {}

    void start() {
        m_completed = false;
        m_start_function(completion(this->weak_from_this(), m_events_loop));
    }

    bool is_complete() const override { return m_completed; }
    void restart() override { start(); }

private:
    events_loop& m_events_loop;
    std::atomic<bool> m_completed{false};
    start_function m_start_function;
};

}  // namespace zentu::libs::core
