// The cost of a log line to the thread that writes it, with a reader draining
// the log stream on loopback TCP as a collector does: the debug line that
// every zone event writes, and an alarm's decision line. A fixed number of
// lines each, so that under `valgrind --tool=callgrind --toggle-collect='*BM_*'`
// the instruction count divided by it is the cost of a line, which does not
// depend on the load of the machine.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <thread>
#include <zmq.hpp>

#include "core/logger.hpp"

namespace {

using zentu::libs::core::logger;
using zentu::libs::core::source_location;

// A logger whose log stream a thread of this process reads.
class read_logger {
public:
    read_logger() : m_pull(m_context, zmq::socket_type::pull) {
        m_pull.set(zmq::sockopt::rcvtimeo, 100);
        m_pull.bind("tcp://127.0.0.1:*");
        m_logger = std::make_unique<logger>("marovane", "main");
        m_logger->connect(m_pull.get(zmq::sockopt::last_endpoint));
        m_reader = std::thread([this] {
            zmq::message_t message;
            while (!m_stop.load())
                (void)m_pull.recv(message);
        });
    }
    ~read_logger() {
        m_logger.reset();
        m_stop.store(true);
        m_reader.join();
    }
    logger& get() { return *m_logger; }

private:
    zmq::context_t m_context;
    zmq::socket_t m_pull;
    std::unique_ptr<logger> m_logger;
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
};

const source_location handler_location(
    46, "/src/context_updater.cpp",
    "void zentu::context_updater::handle_zone_event(std::string_view)");

void BM_zone_event_trace_line(benchmark::State& state) {
    read_logger log;
    for (auto _ : state) {
        const auto trace = log.get().enter_function(handler_location);
        benchmark::DoNotOptimize(trace);
    }
}
constexpr benchmark::IterationCount lines = 100000;

BENCHMARK(BM_zone_event_trace_line)->Iterations(lines);

void BM_alarm_decision_line(benchmark::State& state) {
    read_logger log;
    const std::string object = "obj-1234";
    const std::string zone = "zone-150";
    for (auto _ : state)
        log.get().info("Alarm %1%: object %2%, zone %3%, %4%, cause: %5%") % "set" % object % zone %
            "keep-out" % "zone_event enter";
}
BENCHMARK(BM_alarm_decision_line)->Iterations(lines);

}  // namespace

BENCHMARK_MAIN();
