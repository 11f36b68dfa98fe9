#pragma once

#include <boost/asio/io_context.hpp>
#include <chrono>
#include <functional>

namespace zentu::test_kit {

// Runs io's handlers on the calling thread, one at a time, until done() holds;
// false when the time ran out first. For tests that drive a real events loop
// themselves.
inline bool run_until(boost::asio::io_context& io, const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        io.run_one_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace zentu::test_kit
