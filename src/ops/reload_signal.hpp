#pragma once

#include <boost/asio/io_context.hpp>
#include <functional>
#include <memory>

namespace zentu::ops {

// Turns SIGHUP into a call on the events loop instead of the end of the
// process. The signal is caught from construction on; a SIGHUP that arrives
// while the loop is busy is handled once it runs again, several are merged.
// Threading: built, used and destroyed on the loop's thread; the callback
// runs there and never after destruction.
class reload_signal {
public:
    reload_signal(boost::asio::io_context& io, std::function<void()> on_reload);
    ~reload_signal();
    reload_signal(const reload_signal&) = delete;
    reload_signal& operator=(const reload_signal&) = delete;

private:
    struct state;
    static void wait(const std::shared_ptr<state>& current);

    std::shared_ptr<state> m_state;
};

}  // namespace zentu::ops
