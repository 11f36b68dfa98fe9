// One /v1/alarms answer with 10,000 open alarms: the events loop's share (the
// rows copied from the context and the controller's state of each uid) and
// the HTTP thread's (the rows written as JSON).
// The platform is a fake HTTP client that accepted every alarm.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "alarms_fakes.hpp"
#include "context/context.hpp"
#include "core/logger.hpp"
#include "delivery/alarms_controller_impl.hpp"
#include "service/alarm_rows.hpp"
#include "support/records.hpp"

namespace zentu {
namespace {

using libs::core::timestamp;

constexpr int open_alarms = 10000;
constexpr int zones = 100;

class site {
public:
    site() {
        const timestamp ts = timestamp::current_time();
        for (int z = 0; z < zones; ++z)
            test::site(m_ctx).add(test::a_zone("zone-" + std::to_string(z))
                                      .keep_out()
                                      .name("Dock " + std::to_string(z)),
                                  ts);
        for (int o = 0; o < open_alarms; ++o)
            test::site(m_ctx).add(
                test::an_object("obj-" + std::to_string(o)).mac("02:00:00:00:00:01"), ts);
        m_controller =
            std::make_unique<alarms_controller_impl>(m_ctx, m_http, m_logger, m_timers, 30, 60);
        for (int o = 0; o < open_alarms; ++o) {
            const auto event =
                test::a_movement("obj-" + std::to_string(o), "zone-" + std::to_string(o % zones))
                    .keep_out()
                    .at(ts);
            m_controller->set_ko_alarm(event.get().get_obj_uid(), event.get().get_zone_uid(),
                                       event.get(), ts);
        }
        m_http.accept_all();
    }

    context::writable_context m_ctx;
    test::fake_http_client m_http;
    test::fake_timers m_timers;
    libs::core::logger m_logger{"marovane-bench", "api"};
    std::unique_ptr<alarms_controller_impl> m_controller;
};

// The loop's share: the rows copied from the context and the controller.
void alarms_answer_on_the_loop(benchmark::State& state) {
    static site s;
    for (auto _ : state) {
        const auto rows = api::alarm_rows(s.m_ctx, *s.m_controller, s.m_timers, {});
        benchmark::DoNotOptimize(rows.get());
    }
    state.counters["alarms"] = static_cast<double>(s.m_ctx.get_alarms().size());
}
BENCHMARK(alarms_answer_on_the_loop)->Unit(benchmark::kMillisecond);

// The HTTP thread's share: the rows written as JSON.
void alarms_answer_written(benchmark::State& state) {
    static site s;
    const auto rows = api::alarm_rows(s.m_ctx, *s.m_controller, s.m_timers, {});
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string body = api::alarm_list_text(*rows);
        bytes = body.size();
        benchmark::DoNotOptimize(body.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(alarms_answer_written)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zentu

BENCHMARK_MAIN();
