#include "ops/metrics_collector.hpp"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

namespace zentu::ops {
namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;
using labels = std::vector<ClientMetric::Label>;

MetricFamily family(const std::string& name, const std::string& help, MetricType type) {
    MetricFamily result;
    result.name = name;
    result.help = help;
    result.type = type;
    return result;
}

void add(MetricFamily& target, double value, labels label = {}) {
    ClientMetric metric;
    metric.label = std::move(label);
    if (target.type == MetricType::Counter)
        metric.counter.value = value;
    else
        metric.gauge.value = value;
    target.metric.push_back(std::move(metric));
}

template <std::size_t N, typename Read>
MetricFamily labelled_counter(const std::string& name, const std::string& help,
                              const std::string& label,
                              const std::array<std::string_view, N>& values, Read read) {
    MetricFamily result = family(name, help, MetricType::Counter);
    for (std::size_t i = 0; i < N; ++i)
        add(result, static_cast<double>(read(i)), {{label, std::string(values[i])}});
    return result;
}

MetricFamily latency_histogram(const service_metrics::latency_snapshot& snapshot) {
    MetricFamily result = family("marovane_alarm_request_duration_seconds",
                                 "Time from sending an alarm request to its answer or failure",
                                 MetricType::Histogram);
    ClientMetric metric;
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < snapshot.buckets.size(); ++i) {
        cumulative += snapshot.buckets[i];
        ClientMetric::Bucket bucket;
        bucket.cumulative_count = cumulative;
        bucket.upper_bound = i < service_metrics::latency_bounds.size()
                                 ? service_metrics::latency_bounds[i]
                                 : std::numeric_limits<double>::infinity();
        metric.histogram.bucket.push_back(bucket);
    }
    metric.histogram.sample_count = snapshot.count;
    metric.histogram.sample_sum = snapshot.sum_seconds;
    result.metric.push_back(std::move(metric));
    return result;
}

MetricFamily gauge(const std::string& name, const std::string& help, double value) {
    MetricFamily result = family(name, help, MetricType::Gauge);
    add(result, value);
    return result;
}

MetricFamily counter(const std::string& name, const std::string& help, double value) {
    MetricFamily result = family(name, help, MetricType::Counter);
    add(result, value);
    return result;
}

double boot_time_seconds() {
    std::ifstream stat("/proc/stat");
    std::string key;
    double value = 0;
    while (stat >> key) {
        if (key == "btime" && stat >> value)
            return value;
        stat.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return 0;
}

std::size_t open_descriptors() {
    struct dir_closer {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    const std::unique_ptr<DIR, dir_closer> dir(::opendir("/proc/self/fd"));
    if (!dir)
        return 0;
    std::size_t count = 0;
    while (const dirent* entry = ::readdir(dir.get()))
        if (entry->d_name[0] != '.')
            ++count;
    // The directory being read holds one descriptor itself.
    return count > 0 ? count - 1 : 0;
}

}  // namespace

std::vector<MetricFamily> collect_process_metrics() {
    std::ifstream file("/proc/self/stat");
    std::string text;
    if (!std::getline(file, text))
        return {};
    // The command name may hold blanks and parentheses: fields start after the last ')'.
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return {};
    std::istringstream fields(text.substr(close + 2));
    std::vector<std::string> values;
    for (std::string value; fields >> value;)
        values.push_back(value);
    // values[0] is field 3 (state) of proc(5).
    const auto field = [&](std::size_t number) {
        return number - 3 < values.size() ? std::stod(values[number - 3]) : 0.0;
    };
    const double ticks = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const double page = static_cast<double>(::sysconf(_SC_PAGESIZE));
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);

    std::vector<MetricFamily> families{
        counter("process_cpu_seconds_total", "Total user and system CPU time spent in seconds",
                (field(14) + field(15)) / ticks),
        gauge("process_resident_memory_bytes", "Resident memory size in bytes", field(24) * page),
        gauge("process_virtual_memory_bytes", "Virtual memory size in bytes", field(23)),
        gauge("process_threads", "Number of OS threads in the process", field(20)),
        gauge("process_open_fds", "Number of open file descriptors",
              static_cast<double>(open_descriptors())),
        gauge("process_max_fds", "Maximum number of open file descriptors",
              static_cast<double>(limit.rlim_cur)),
    };
    // A sandbox may hide /proc/stat, and with it the boot time.
    if (const double boot = boot_time_seconds(); boot > 0)
        families.push_back(gauge("process_start_time_seconds",
                                 "Start time of the process since unix epoch in seconds",
                                 boot + field(22) / ticks));
    return families;
}

metrics_collector::metrics_collector(const service_metrics& metrics, std::string version)
    : m_metrics(metrics), m_version(std::move(version)) {}

std::vector<MetricFamily> metrics_collector::Collect() const {
    std::vector<MetricFamily> families;
    MetricFamily info =
        family("marovane_build_info", "Version of the running program", MetricType::Gauge);
    add(info, 1, {{"version", m_version}});
    families.push_back(std::move(info));
    collect_service(families);
    for (auto& process : collect_process_metrics())
        families.push_back(std::move(process));
    return families;
}

void metrics_collector::collect_service(std::vector<MetricFamily>& families) const {
    const service_metrics& m = m_metrics;
    using sm = service_metrics;
    families.push_back(
        labelled_counter("marovane_zone_events_total", "Zone events handled, by action", "action",
                         sm::zone_actions, [&](auto i) { return m.zone_events(i); }));
    families.push_back(labelled_counter(
        "marovane_notifications_total", "Notifications handled, by the kind of object", "object",
        sm::notification_objects, [&](auto i) { return m.notifications(i); }));
    families.push_back(labelled_counter("marovane_malformed_messages_total",
                                        "Messages of the platform that could not be used, by topic",
                                        "topic", sm::topics,
                                        [&](auto i) { return m.malformed(i); }));

    MetricFamily decisions = family("marovane_alarm_decisions_total",
                                    "Alarms decided, by kind and decision", MetricType::Counter);
    for (std::size_t k = 0; k < sm::alarm_kinds.size(); ++k)
        for (std::size_t d = 0; d < sm::decisions.size(); ++d)
            add(decisions,
                static_cast<double>(
                    m.decisions_made(static_cast<alarm_kind>(k), static_cast<alarm_decision>(d))),
                {{"kind", std::string(sm::alarm_kinds[k])},
                 {"decision", std::string(sm::decisions[d])}});
    families.push_back(std::move(decisions));

    families.push_back(labelled_counter(
        "marovane_alarm_requests_total", "Alarm requests to the platform, by outcome", "outcome",
        sm::outcomes, [&](auto i) { return m.requests(static_cast<request_outcome>(i)); }));
    families.push_back(latency_histogram(m.latency()));
    families.push_back(gauge("marovane_alarm_requests_in_flight",
                             "Alarm requests sent and not answered yet",
                             static_cast<double>(m.requests_in_flight())));
    families.push_back(counter("marovane_alarm_resends_total",
                               "Set alarms sent again after their re-send period",
                               static_cast<double>(m.resends())));
    families.push_back(
        gauge("marovane_alarms_open", "Alarms set now", static_cast<double>(m.alarms_open())));
    families.push_back(gauge("marovane_alarms_undelivered",
                             "Alarms whose wanted state the platform has not confirmed yet",
                             static_cast<double>(m.undelivered_count())));
    families.push_back(gauge("marovane_alarm_oldest_undelivered_seconds",
                             "How long the oldest undelivered alarm has waited (0: none)",
                             m.oldest_undelivered_seconds(std::chrono::steady_clock::now())));
    families.push_back(counter("marovane_alarms_without_mac_total",
                               "Alarms not raised because their object has no MAC address",
                               static_cast<double>(m.alarms_without_mac())));

    if (m.startup_seconds() >= 0)
        families.push_back(gauge("marovane_startup_duration_seconds",
                                 "Time the start-up took to load the platform",
                                 m.startup_seconds()));
    if (m.last_rebuild_seconds() >= 0)
        families.push_back(gauge("marovane_rebuild_duration_seconds", "Time the last rebuild took",
                                 m.last_rebuild_seconds()));
    MetricFamily rebuilds = family("marovane_rebuilds_total",
                                   "Rebuilds from the platform, by result", MetricType::Counter);
    add(rebuilds, static_cast<double>(m.rebuilds(true)), {{"result", "ok"}});
    add(rebuilds, static_cast<double>(m.rebuilds(false)), {{"result", "failed"}});
    families.push_back(std::move(rebuilds));
    families.push_back(labelled_counter(
        "marovane_resyncs_total",
        "Resynchronisations from the platform started because something may have been missed, "
        "by result",
        "result", sm::resync_results, [&](auto i) { return m.resyncs(i == 0); }));
    families.push_back(gauge("marovane_last_successful_rebuild_timestamp_seconds",
                             "Unix time of the last successful start-up or rebuild",
                             m.last_successful_rebuild_time()));

    if (m.mirror_up() >= 0)
        families.push_back(
            gauge("marovane_redis_mirror_up", "1 while the Redis mirror works", m.mirror_up()));
    families.push_back(counter("marovane_redis_mirror_failures_total",
                               "Failed writes to the Redis mirror",
                               static_cast<double>(m.mirror_failures())));
    if (m.stream_connected() >= 0)
        families.push_back(gauge("marovane_stream_connected",
                                 "1 while the platform's message stream is connected",
                                 m.stream_connected()));
    families.push_back(counter("marovane_stream_disconnects_total",
                               "Connections to the platform's message stream lost",
                               static_cast<double>(m.stream_disconnects())));
    families.push_back(counter("marovane_stream_messages_total",
                               "Frames received from the platform's message stream",
                               static_cast<double>(m.stream_messages())));
    if (const auto age = m.stream_last_message_age_seconds())
        families.push_back(gauge("marovane_stream_last_message_age_seconds",
                                 "Seconds since the last frame of the message stream", *age));
    families.push_back(
        gauge("marovane_healthy", "1 while /healthz answers 200", m.health().ok ? 1 : 0));
}

}  // namespace zentu::ops
