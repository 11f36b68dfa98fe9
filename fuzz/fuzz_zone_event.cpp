// Input: a "zone_event" message. It is applied to a small context, or dropped,
// or refused as not JSON with the service's check; a time that is applied is
// within bounds, and only known zones keep an event: of an object not known
// yet, only a keep-out entry (its "created" may follow). Whatever the quick
// reader of messages reads, the JSON library reads the same.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "context/context.hpp"
#include "core/events_loop.hpp"
#include "core/json.hpp"
#include "core/json_members.hpp"
#include "delivery/alarms_controller_impl.hpp"
#include "generators/alarms_generator.hpp"
#include "intake/context_intake.hpp"
#include "support/answering_http_client.hpp"
#include "support/fuzz_checks.hpp"
#include "support/records.hpp"

namespace {

using namespace zentu;

struct harness {
    harness() {
        test::site(context)
            .add(test::a_zone("zone-ki").sublocation("s1"))
            .add(test::a_zone("zone-ko").sublocation("s1").keep_out())
            .add(test::an_object("o1").sublocation("s1"));
        controller = std::make_unique<alarms_controller_impl>(context, http, logger,
                                                              loop->get_timers(), 60, 60);
        generator = std::make_unique<alarms_generator>(context, *controller);
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

// The quick reader answers only where the library reads the same members.
void check_quick_reader(std::string_view body) {
    namespace json = libs::core::json;
    static json::quick_reader quick;
    const auto quick_members = quick.read_object(body);
    if (!quick_members)
        return;
    const auto parsed = json::try_parse(body);
    FUZZ_ASSERT(parsed.ok && parsed.result.isObject());
    const auto library = json::members::of(parsed.result);
    for (const auto& name : parsed.result.getMemberNames()) {
        const auto* expected = library.find(name);
        const auto* got = quick_members->find(name);
        FUZZ_ASSERT(expected && got && expected->type == got->type && expected->text == got->text &&
                    expected->integer == got->integer);
    }
    FUZZ_ASSERT(quick_members->size() == parsed.result.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static harness h;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    check_quick_reader(body);
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
