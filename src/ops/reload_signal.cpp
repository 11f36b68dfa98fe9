#include "ops/reload_signal.hpp"

#include <boost/asio/signal_set.hpp>
#include <csignal>

namespace zentu::ops {

struct reload_signal::state {
    state(boost::asio::io_context& io, std::function<void()> callback)
        : signals(io, SIGHUP), on_reload(std::move(callback)) {}

    boost::asio::signal_set signals;
    std::function<void()> on_reload;
};

reload_signal::reload_signal(boost::asio::io_context& io, std::function<void()> on_reload)
    : m_state(std::make_shared<state>(io, std::move(on_reload))) {
    wait(m_state);
}

reload_signal::~reload_signal() {
    boost::system::error_code ignored;
    m_state->signals.cancel(ignored);
    m_state->signals.clear(ignored);
}

void reload_signal::wait(const std::shared_ptr<state>& current) {
    current->signals.async_wait(
        [weak = std::weak_ptr<state>(current)](const boost::system::error_code& error, int) {
            const auto alive = weak.lock();
            if (!alive || error)
                return;
            // Waiting again first: a callback that throws must not end the watch.
            wait(alive);
            alive->on_reload();
        });
}

}  // namespace zentu::ops
