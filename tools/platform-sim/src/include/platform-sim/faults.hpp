#pragma once

#include <json/value.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zentu::platform_sim {

// What the server does with the next request of a path.
struct fault_decision {
    bool hang = false;
    bool close = false;
    std::optional<unsigned> status;  // injected answer
    std::string body;
    std::chrono::milliseconds delay{0};
    // Handled at once, answered only after this (a client's time-out).
    std::chrono::milliseconds late{0};
};

// Injected misbehaviour of the platform API, per path ("*" matches every
// platform path). Thread safe.
class faults {
public:
    using ptr = std::unique_ptr<faults>;
    static ptr create();
    virtual ~faults() = default;

    virtual void fail(const std::string& path, unsigned status, unsigned count,
                      const std::string& body) = 0;
    virtual void delay(const std::string& path, std::chrono::milliseconds ms) = 0;
    virtual void close(const std::string& path, unsigned count) = 0;
    // The next count requests are handled at once and answered ms later.
    virtual void late(const std::string& path, std::chrono::milliseconds ms, unsigned count) = 0;
    virtual void hang(bool on) = 0;
    virtual void reset() = 0;

    // Consumes one count of the matching fail, close or late rule.
    virtual fault_decision next(const std::string& path) = 0;
    virtual Json::Value describe() const = 0;
    // Called (on the caller's thread) each time hanging ends.
    virtual void on_resume(std::function<void()> callback) = 0;
};

}  // namespace zentu::platform_sim
