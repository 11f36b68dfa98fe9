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

MetricFamily process_gauge(const std::string& name, const std::string& help, double value) {
    MetricFamily result = family(name, help, MetricType::Gauge);
    add(result, value);
    return result;
}

MetricFamily process_counter(const std::string& name, const std::string& help, double value) {
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
        process_counter("process_cpu_seconds_total",
                        "Total user and system CPU time spent in seconds",
                        (field(14) + field(15)) / ticks),
        process_gauge("process_resident_memory_bytes", "Resident memory size in bytes",
                      field(24) * page),
        process_gauge("process_virtual_memory_bytes", "Virtual memory size in bytes", field(23)),
        process_gauge("process_threads", "Number of OS threads in the process", field(20)),
        process_gauge("process_open_fds", "Number of open file descriptors",
                      static_cast<double>(open_descriptors())),
        process_gauge("process_max_fds", "Maximum number of open file descriptors",
                      static_cast<double>(limit.rlim_cur)),
    };
    // A sandbox may hide /proc/stat, and with it the boot time.
    if (const double boot = boot_time_seconds(); boot > 0)
        families.push_back(process_gauge("process_start_time_seconds",
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
    for (const metric* m : m_metrics.all())
        m->collect(families);
}

}  // namespace zentu::ops
