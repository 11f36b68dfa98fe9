#include "ops/systemd_notifier.hpp"

#include <systemd/sd-daemon.h>

namespace zentu::ops {
namespace {

class systemd_notifier_impl final : public systemd_notifier {
public:
    systemd_notifier_impl() {
        std::uint64_t usec = 0;
        // Keeps the variables: a failed notification must not silence later ones.
        if (sd_watchdog_enabled(0, &usec) > 0)
            m_watchdog_period = std::chrono::microseconds(usec / 2);
    }

    void ready() override { notify("READY=1"); }
    void reloading() override { notify("RELOADING=1"); }
    void stopping() override { notify("STOPPING=1"); }
    void status(const std::string& text) override { notify("STATUS=" + text); }
    void watchdog() override { notify("WATCHDOG=1"); }
    std::chrono::microseconds watchdog_period() const override { return m_watchdog_period; }

private:
    static void notify(const std::string& state) {
        // Best effort: the manager may be gone while we stop, which changes nothing for us.
        (void)sd_notify(0, state.c_str());
    }

    std::chrono::microseconds m_watchdog_period{0};
};

}  // namespace

systemd_notifier::ptr systemd_notifier::create() {
    return std::make_unique<systemd_notifier_impl>();
}

}  // namespace zentu::ops
