#include "redis/connect.hpp"

#include <algorithm>

#include "core/exception.hpp"

namespace zentu::redis {
namespace {

using namespace std::chrono_literals;

constexpr auto retry_period = 1s;

enum class failure { unreachable, password_refused, other };

// How the final warning words each cause.
std::string given_up(failure cause, const endpoint& where, std::chrono::seconds bound) {
    const std::string after =
        bound.count() > 0 ? " after " + std::to_string(bound.count()) + " s" : std::string();
    switch (cause) {
        case failure::password_refused:
            return "Redis refused the password (" + where.address() + ")" + after +
                   ": starting with the mirror suspended; it is written once Redis accepts it";
        case failure::unreachable:
            return "Redis at " + where.address() + " unreachable" + after +
                   ": starting with the mirror suspended; it is written once Redis answers";
        case failure::other:
            break;
    }
    return "Redis at " + where.address() + " not usable" + after +
           ": starting with the mirror suspended; it is written once Redis answers";
}

}  // namespace

context::ptr connect(const endpoint& where) {
    const std::string at = " (" + where.address() + "): ";
    try {
        return std::make_unique<context>(where.host, where.port, where.db_number, where.password);
    } catch (const authentication_error& e) {
        throw authentication_error("Redis refused the password" + at + e.get_string_error(),
                                   e.get_source_location());
    } catch (const connection_error& e) {
        throw connection_error("Redis unreachable" + at + e.get_string_error(),
                               e.get_source_location());
    } catch (const libs::core::exception& e) {
        throw libs::core::exception("Redis error" + at + e.get_string_error(),
                                    e.get_source_location());
    }
}

context::ptr wait_at_start(const endpoint& where, std::chrono::seconds bound,
                           libs::core::clock& clock, const std::function<bool()>& stopped,
                           const libs::core::component_logger& logger,
                           const std::function<void(const std::string&)>& waiting) {
    const auto deadline = clock.current_time_point() + bound;
    std::string last_logged;
    failure cause = failure::other;
    // Called inside the handler of the attempt's failure.
    const auto failed = [&](failure kind, const libs::core::exception& e) {
        cause = kind;
        // A server that stays away is one line, not one a second.
        if (e.get_string_error() != last_logged) {
            logger.log_exception();
            last_logged = e.get_string_error();
        }
    };
    for (;;) {
        context::ptr connection;
        try {
            connection = connect(where);
        } catch (const authentication_error& e) {
            failed(failure::password_refused, e);
        } catch (const connection_error& e) {
            failed(failure::unreachable, e);
        } catch (const libs::core::exception& e) {
            failed(failure::other, e);
        }
        // Looked at after every attempt, also a successful one.
        if (stopped())
            ZENTU_THROW("Interrupted");
        if (connection)
            return connection;
        if (waiting)
            waiting("waiting for Redis at " + where.address());
        const auto left = deadline - clock.current_time_point();
        if (left <= std::chrono::nanoseconds::zero()) {
            logger.warning("%1%") % given_up(cause, where, bound);
            return nullptr;
        }
        if (!clock.wait_for(std::min<std::chrono::nanoseconds>(retry_period, left), stopped))
            ZENTU_THROW("Interrupted");
    }
}

}  // namespace zentu::redis
