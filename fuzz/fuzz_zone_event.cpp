// Input: a "zone_event" message. It is applied to a small context, or dropped,
// or refused as not JSON with the service's check; a time that is applied is
// within bounds, and only known zones keep an event: of an object not known
// yet, only a keep-out entry (its "created" may follow).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "alarms_controller_impl.hpp"
#include "alarms_generator.hpp"
#include "context/context.hpp"
#include "context_intake.hpp"
#include "core/events_loop.hpp"
#include "support/answering_http_client.hpp"
#include "support/fuzz_checks.hpp"

namespace {

using namespace zentu;
using libs::core::timestamp;

struct harness {
    harness() {
        for (const auto& [uid, type] : {std::pair{"zone-ki", context::zone_type::KEEP_IN},
                                        std::pair{"zone-ko", context::zone_type::KEEP_OUT}})
            context.take_zones().add(
                context::zone(uid, uid, "p1", std::string("s1"), true, context::zone_shape::POLYGON,
                              type, 1, false, timestamp(), std::nullopt, {}, {}),
                timestamp());
        context.take_trackable_objects().add(
            context::trackable_object("o1", true, std::string("aa"), "p1", std::string("s1"),
                                      timestamp(), std::nullopt, {}),
            timestamp());
        controller = std::make_unique<alarms_controller_impl>(context, http, logger,
                                                              loop->get_timers(), 60, 60);
        generator = std::make_unique<alarms_generator>(context, *controller, logger);
    }

    libs::core::logger logger{"marovane-fuzz", "zone_event"};
    libs::core::core::ptr core = libs::core::core::create(logger);
    libs::core::events_loop::ptr loop = core->create_events_loop("fuzz loop");
    fuzz::answering_http_client http;
    context::writable_context context;
    context_intake intake{context, http, *loop, logger};
    std::unique_ptr<alarms_controller_impl> controller;
    std::unique_ptr<alarms_generator> generator;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static harness h;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    fuzz::project_errors_only([&] { h.intake.handle_zone_event(body); });
    h.context.get_zone_events().for_each([&](const context::zone_event& event) {
        FUZZ_ASSERT(h.context.get_zones().is_exists(event.get_zone_uid()));
        FUZZ_ASSERT(h.context.get_trackable_objects().is_exists(event.get_obj_uid()) ||
                    (event.get_zone_type() == context::zone_type::KEEP_OUT &&
                     event.get_action() == "enter"));
        fuzz::check_time(event.get_ts());
        return true;
    });
    h.context.get_alarms().for_each([&](const context::alarm& alarm) {
        fuzz::check_time(alarm.get_timestamp());
        return true;
    });
    return 0;
}
