#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <memory>

#include "core/logger.hpp"
#include "core/timer.hpp"

namespace zentu::libs::core {

// One-shot timer on an io_context. Used only from the loop's thread.
// Pending completions hold a weak reference to the shared data and a copy of
// the arming generation, so a completion that outlived its timer, or the
// arming it was started for, never calls back.
class timer_impl : public timer {
public:
    timer_impl(boost::asio::io_context& io, const component_logger& logger, time_point tp,
               callback cb);
    ~timer_impl() override;
    timer_impl(const timer_impl&) = delete;
    timer_impl& operator=(const timer_impl&) = delete;

    bool is_waiting() const override;
    void reset(time_point tp) override;
    void stop() override;

private:
    struct shared_data {
        callback m_callback;
        bool m_waiting = false;
        // Bumped by every arming and stop; identifies the live wait.
        std::uint64_t m_generation = 0;
    };

    void disarm();

    boost::asio::steady_timer m_timer;
    time_point m_time_point{};
    const component_logger& m_logger;
    std::shared_ptr<shared_data> m_data;
};

}  // namespace zentu::libs::core
