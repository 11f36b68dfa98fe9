#include "intake/histeresis.hpp"

#include <json/value.h>

#include <chrono>
#include <optional>
#include <string>

#include "core/exception.hpp"
#include "core/json.hpp"
#include "core/log_text.hpp"
#include "core/repeat_limiter.hpp"

namespace zentu {
namespace {

namespace core = libs::core;
using namespace std::chrono_literals;

}  // namespace

histeresis get_histeresis(core::http::client& client, const core::logger& logger,
                          const core::events_loop::signals_handle& signals, core::clock& clock) {
    const auto stopped = [&] { return signals.signal_is_received(); };
    std::string body;
    // Retried every second while the platform fails: one line a minute.
    core::repeat_limiter failures(clock);
    const bool answered = core::retry_until(clock, 1s, stopped, [&] {
        auto result = client.perform_request(core::http::method::get, alarm_types_address);
        if (result.ok()) {
            body = std::move(result).data().value_or(std::string());
            if (const auto held_back = failures.forget(alarm_types_address))
                logger.info("Request to %1% answered again%2%") % alarm_types_address %
                    core::repeat_limiter::held_back_note(*held_back);
            return true;
        }
        if (const auto verdict = failures.admit(alarm_types_address); verdict.write)
            logger.log_exception(core::exception(
                core::log_excerpt(result.error().value_or(std::string())) + verdict.note(),
                ZENTU_SOURCE_LOCATION()));
        return false;
    });
    // Looked at after every attempt, also a successful one.
    if (!answered || stopped())
        ZENTU_THROW("Interrupted");
    return parse_histeresis(body);
}

histeresis parse_histeresis(std::string_view body) {
    const auto parsed = core::json::try_parse(body);
    if (!parsed.ok)
        ZENTU_THROW("Unable to parse histeresis: " + parsed.error);

    std::optional<std::uint32_t> zone_violation, buffer_violation;
    try {
        for (const auto& type : parsed.result) {
            const auto& name = type["name"];
            if (!name.isString())
                continue;
            if (name.asString() == "buffer_violation")
                buffer_violation = type["histeresis"].asUInt();
            else if (name.asString() == "zone_violation")
                zone_violation = type["histeresis"].asUInt();
        }
    } catch (const Json::Exception& e) {
        // An alarm type that is not an object, or a period that is not an
        // unsigned number.
        ZENTU_THROW(std::string("Unable to read histeresis: ") + e.what());
    }
    if (!zone_violation)
        ZENTU_THROW("zone violation histeresis is not found");
    if (!buffer_violation)
        ZENTU_THROW("buffer violation histeresis is not found");
    return {*zone_violation, *buffer_violation};
}

}  // namespace zentu
