#pragma once

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <string>
#include <vector>

#include "ops/metrics.hpp"

namespace zentu::ops {

// Turns a snapshot of service_metrics, the build information and the
// process's own figures (CPU, memory, descriptors, threads, start time, read
// from /proc) into Prometheus metric families. Threading: Collect() runs on
// the scraping thread and only reads atomics and /proc.
class metrics_collector final : public prometheus::Collectable {
public:
    metrics_collector(const service_metrics& metrics, std::string version);

    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    void collect_service(std::vector<prometheus::MetricFamily>& families) const;

    const service_metrics& m_metrics;
    std::string m_version;
};

// The standard process_* families of the running process; empty where /proc
// cannot be read.
std::vector<prometheus::MetricFamily> collect_process_metrics();

}  // namespace zentu::ops
