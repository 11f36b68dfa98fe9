#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace zentu::ops {

// Tells the service manager how the service is doing (sd_notify). When the
// process was not started with NOTIFY_SOCKET, every call does nothing.
// Threading: any thread; each call is one datagram and keeps no state.
class systemd_notifier {
public:
    using ptr = std::unique_ptr<systemd_notifier>;

    // Reads NOTIFY_SOCKET and the watchdog settings of the environment once.
    static ptr create();
    virtual ~systemd_notifier() = default;

    // "READY=1": the service stands and the events loop runs; also ends a reload.
    virtual void ready() = 0;
    // "RELOADING=1": a rebuild has started; ready() follows when it is over.
    virtual void reloading() = 0;
    // "STOPPING=1".
    virtual void stopping() = 0;
    // "STATUS=<text>": one line shown by systemctl status.
    virtual void status(const std::string& text) = 0;
    // "WATCHDOG=1": the events loop is alive.
    virtual void watchdog() = 0;
    // How often watchdog() must be called (half the manager's WatchdogSec);
    // zero when the watchdog is off.
    virtual std::chrono::microseconds watchdog_period() const = 0;
};

}  // namespace zentu::ops
