#pragma once

#include <atomic>
#include <boost/asio/signal_set.hpp>
#include <memory>
#include <thread>

#include "core/events_loop.hpp"

namespace zentu::libs::core {

// Waits for SIGINT or SIGTERM on a loop and thread of its own, then stops the
// main loop. The signals are registered before the constructor returns, so a
// signal sent right after it never meets the default action. Created and
// destroyed on one thread; signal_is_received() may be read from any.
class signals_handle_impl : public events_loop::signals_handle {
public:
    signals_handle_impl(core& core, events_loop& main_loop);
    ~signals_handle_impl() override;
    signals_handle_impl(const signals_handle_impl&) = delete;
    signals_handle_impl& operator=(const signals_handle_impl&) = delete;

    bool signal_is_received() const override { return m_signal_is_received.load(); }

private:
    void thread_main();

    events_loop::ptr m_thread_events_loop;
    events_loop& m_main_events_loop;
    std::atomic<bool> m_signal_is_received{false};
    // Owned by the thread once it has started; released there when its loop ends,
    // which gives both signals back their default action.
    std::unique_ptr<boost::asio::signal_set> m_signals;
    std::thread m_thread;
};

}  // namespace zentu::libs::core
