// One zone event through the context's repositories, the alarm generators and
// the alarms controller, on a site of 10,000 objects and 500 zones (100 keep-in,
// 100 keep-out, 300 of another type) in one project. The platform is a fake
// HTTP client that records each alarm request and accepts it after the event,
// as the events loop would deliver the answer later.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "alarms_fakes.hpp"
#include "context/context.hpp"
#include "context/pair_uid.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "core/timer.hpp"
#include "delivery/alarms_controller_impl.hpp"
#include "generators/alarms_generator.hpp"
#include "support/records.hpp"

namespace zentu {
namespace {

using context::zone_type;
using libs::core::timestamp;

constexpr int objects = 10000;
constexpr int keep_in_zones = 100;
constexpr int keep_out_zones = 100;
constexpr int other_zones = 300;

std::string object_uid(int i) {
    return "obj-" + std::to_string(i + 1);
}
std::string zone_uid(int i) {
    return "zone-" + std::to_string(i + 1);
}
// Zones 0..99 keep-in, 100..199 keep-out, the rest another type; object i
// starts inside keep-in zone i % 100.
int home_zone(int object) {
    return object % keep_in_zones;
}

class site {
public:
    site() {
        timestamp ts = now();
        for (int z = 0; z < keep_in_zones + keep_out_zones + other_zones; ++z) {
            const auto type = z < keep_in_zones                    ? zone_type::KEEP_IN
                              : z < keep_in_zones + keep_out_zones ? zone_type::KEEP_OUT
                                                                   : zone_type::UNKNOWN;
            test::site(m_ctx).add(test::a_zone(zone_uid(z))
                                      .name("Zone " + std::to_string(z + 1))
                                      .sublocation("s1")
                                      .type(type)
                                      .at(ts),
                                  ts);
        }
        for (int o = 0; o < objects; ++o)
            test::site(m_ctx).add(
                test::an_object(object_uid(o)).mac("02:00:00:00:00:01").sublocation("s1").at(ts),
                ts);
        for (int o = 0; o < objects; ++o)
            move(o, home_zone(o), "enter", zone_type::KEEP_IN);
        m_controller =
            std::make_unique<alarms_controller_impl>(m_ctx, m_http, m_logger, m_timers, 30, 60);
        m_generator = std::make_unique<alarms_generator>(m_ctx, *m_controller);
        m_http.accept_all();
    }

    // What the context updater does with a zone event message.
    void move(int object, int zone, const char* action, zone_type type) {
        const auto obj = object_uid(object);
        const auto zone_id = zone_uid(zone);
        const auto uid = context::pair_uid(obj, zone_id);
        const auto ts = now();
        if (auto handle = m_ctx.take_zone_events().try_get(uid, ts)) {
            (*handle)->set_action(action);
            (*handle)->set_ts(ts);
            return;
        }
        m_ctx.take_zone_events().add(test::a_movement(obj, zone_id)
                                         .at(ts)
                                         .sublocation("s1")
                                         .type(type)
                                         .action(action)
                                         .position(1, 2, 3),
                                     ts);
    }

    static timestamp now() { return timestamp::current_time(); }

    context::writable_context m_ctx;
    test::fake_http_client m_http;
    test::fake_timers m_timers;  // created and dropped by the controller, never fired
    libs::core::logger m_logger{"marovane-bench", "generator"};
    std::unique_ptr<alarms_controller_impl> m_controller;
    std::unique_ptr<alarms_generator> m_generator;
};

site& shared_site() {
    static site s;
    return s;
}

// An object enters a second keep-in zone and leaves it again while still
// inside its own: every zone is visited for both events, no alarm results.
void keep_in_enter_and_leave(benchmark::State& state) {
    auto& s = shared_site();
    int o = 0;
    for (auto _ : state) {
        const int zone = (home_zone(o) + 1) % keep_in_zones;
        s.move(o, zone, "enter", zone_type::KEEP_IN);
        s.move(o, zone, "leave", zone_type::KEEP_IN);
        s.m_http.accept_all();
        o = (o + 1) % objects;
    }
    state.SetItemsProcessed(state.iterations() * 2);
    state.counters["posts"] = static_cast<double>(s.m_http.m_requests.size());
}
BENCHMARK(keep_in_enter_and_leave)->Unit(benchmark::kMicrosecond);

// An object enters a keep-out zone and leaves it: one alarm set and cleared,
// two requests accepted.
void keep_out_enter_and_leave(benchmark::State& state) {
    auto& s = shared_site();
    int o = 0;
    for (auto _ : state) {
        const int zone = keep_in_zones + o % keep_out_zones;
        s.move(o, zone, "enter", zone_type::KEEP_OUT);
        s.m_http.accept_all();
        s.move(o, zone, "leave", zone_type::KEEP_OUT);
        s.m_http.accept_all();
        o = (o + 1) % objects;
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(keep_out_enter_and_leave)->Unit(benchmark::kMicrosecond);

// An event in a zone of neither kind: the generator removes it at once.
void other_zone_event(benchmark::State& state) {
    auto& s = shared_site();
    int o = 0;
    for (auto _ : state) {
        s.move(o, keep_in_zones + keep_out_zones + o % other_zones, "enter", zone_type::UNKNOWN);
        o = (o + 1) % objects;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(other_zone_event)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zentu

BENCHMARK_MAIN();
