#include "ops/metric_kinds.hpp"

#include <prometheus/metric_family.h>

#include <algorithm>
#include <string>

namespace zentu::ops {
namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

constexpr auto relaxed = std::memory_order_relaxed;

MetricFamily& family_of(std::vector<MetricFamily>& families, const metric& m, MetricType type) {
    MetricFamily family;
    family.name = std::string(m.name());
    family.help = std::string(m.help());
    family.type = type;
    families.push_back(std::move(family));
    return families.back();
}

void add_sample(MetricFamily& family, double value, std::vector<ClientMetric::Label> labels = {}) {
    ClientMetric sample;
    sample.label = std::move(labels);
    if (family.type == MetricType::Counter)
        sample.counter.value = value;
    else
        sample.gauge.value = value;
    family.metric.push_back(std::move(sample));
}

std::size_t product_of(const std::vector<label_set>& labels) {
    std::size_t n = 1;
    for (const auto& label : labels)
        n *= label.values.size();
    return n;
}

}  // namespace

void counter::collect(std::vector<MetricFamily>& families) const {
    add_sample(family_of(families, *this, MetricType::Counter), static_cast<double>(value()));
}

labelled_counter::labelled_counter(metric_registry& registry, std::string_view name,
                                   std::string_view help, std::initializer_list<label_set> labels)
    : metric(registry, name, help),
      m_labels(labels),
      m_values(new std::atomic<std::uint64_t>[product_of(m_labels)]()) {}

std::size_t labelled_counter::slot(std::initializer_list<std::size_t> indexes) const noexcept {
    std::size_t at = 0;
    auto label = m_labels.begin();
    for (const auto i : indexes) {
        at = at * label->values.size() + i;
        ++label;
    }
    return at;
}

void labelled_counter::add(std::initializer_list<std::size_t> indexes) noexcept {
    m_values[slot(indexes)].fetch_add(1, relaxed);
}

std::uint64_t labelled_counter::value(std::initializer_list<std::size_t> indexes) const noexcept {
    return m_values[slot(indexes)].load(relaxed);
}

std::optional<std::size_t> labelled_counter::index_of(std::string_view label_value) const noexcept {
    const auto& values = m_labels.front().values;
    const auto found = std::find(values.begin(), values.end(), label_value);
    if (found == values.end())
        return std::nullopt;
    return static_cast<std::size_t>(found - values.begin());
}

std::size_t labelled_counter::index_or_last(std::string_view label_value) const noexcept {
    return index_of(label_value).value_or(m_labels.front().values.size() - 1);
}

std::uint64_t labelled_counter::value(std::string_view label_value) const noexcept {
    const auto i = index_of(label_value);
    return i ? value({*i}) : 0;
}

void labelled_counter::collect(std::vector<MetricFamily>& families) const {
    auto& family = family_of(families, *this, MetricType::Counter);
    const std::size_t n = product_of(m_labels);
    for (std::size_t at = 0; at < n; ++at) {
        // The label values of slot `at`, the first label varying slowest.
        std::vector<ClientMetric::Label> labels(m_labels.size());
        std::size_t rest = at;
        for (std::size_t l = m_labels.size(); l-- > 0;) {
            const auto& values = m_labels[l].values;
            labels[l] = {std::string(m_labels[l].name), std::string(values[rest % values.size()])};
            rest /= values.size();
        }
        add_sample(family, static_cast<double>(m_values[at].load(relaxed)), std::move(labels));
    }
}

void gauge::collect(std::vector<MetricFamily>& families) const {
    add_sample(family_of(families, *this, MetricType::Gauge), static_cast<double>(value()));
}

void measure::collect(std::vector<MetricFamily>& families) const {
    if (const auto v = value())
        add_sample(family_of(families, *this, MetricType::Gauge), *v);
}

void computed_gauge::collect(std::vector<MetricFamily>& families) const {
    if (const auto v = m_compute())
        add_sample(family_of(families, *this, MetricType::Gauge), *v);
}

histogram::histogram(metric_registry& registry, std::string_view name, std::string_view help,
                     std::vector<double> bounds)
    : metric(registry, name, help),
      m_bounds(std::move(bounds)),
      m_buckets(new std::atomic<std::uint64_t>[m_bounds.size() + 1]()) {}

void histogram::observe(std::chrono::nanoseconds duration) noexcept {
    const double seconds = std::chrono::duration<double>(duration).count();
    const auto bucket = std::lower_bound(m_bounds.begin(), m_bounds.end(), seconds);
    m_buckets[static_cast<std::size_t>(bucket - m_bounds.begin())].fetch_add(1, relaxed);
    m_sum_ns.fetch_add(static_cast<std::uint64_t>(std::max<std::int64_t>(duration.count(), 0)),
                       relaxed);
}

histogram::snapshot histogram::read() const {
    snapshot out;
    // Each value is exact; together they may be one observation apart, which
    // a scrape tolerates.
    out.buckets.resize(m_bounds.size() + 1);
    for (std::size_t i = 0; i < out.buckets.size(); ++i) {
        out.buckets[i] = m_buckets[i].load(relaxed);
        out.count += out.buckets[i];
    }
    out.sum_seconds = static_cast<double>(m_sum_ns.load(relaxed)) / 1e9;
    return out;
}

void histogram::collect(std::vector<MetricFamily>& families) const {
    auto& family = family_of(families, *this, MetricType::Histogram);
    const auto now = read();
    ClientMetric sample;
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < now.buckets.size(); ++i) {
        cumulative += now.buckets[i];
        ClientMetric::Bucket bucket;
        bucket.cumulative_count = cumulative;
        bucket.upper_bound =
            i < m_bounds.size() ? m_bounds[i] : std::numeric_limits<double>::infinity();
        sample.histogram.bucket.push_back(bucket);
    }
    sample.histogram.sample_count = now.count;
    sample.histogram.sample_sum = now.sum_seconds;
    family.metric.push_back(std::move(sample));
}

}  // namespace zentu::ops
