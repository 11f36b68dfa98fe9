#pragma once

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace prometheus {
struct MetricFamily;
}

namespace zentu::ops {

// The kinds of metric the service declares, one object per metric family:
// it holds its name, help and labels beside its value, and says what a scrape
// shows of it. Every metric joins the registry it is built with, in order, so
// a family is declared in one line and listed with no second list to keep in
// step (service_metrics).
//
// Threading: updates from one thread at a time (the events loop), reads from
// any thread; plain atomic operations, no lock. A registry is filled at
// construction, before any scrape.

class metric;
using metric_registry = std::vector<const metric*>;

class metric {
public:
    metric(metric_registry& registry, std::string_view name, std::string_view help)
        : m_name(name), m_help(help) {
        registry.push_back(this);
    }
    metric(const metric&) = delete;
    metric& operator=(const metric&) = delete;
    virtual ~metric() = default;

    std::string_view name() const noexcept { return m_name; }
    std::string_view help() const noexcept { return m_help; }
    // Appends what a scrape shows now; nothing while the value is not known.
    virtual void collect(std::vector<prometheus::MetricFamily>& families) const = 0;

private:
    std::string_view m_name;
    std::string_view m_help;
};

// A label and the values it takes, in the order of their indexes.
struct label_set {
    std::string_view name;
    std::vector<std::string_view> values;
};

class counter final : public metric {
public:
    using metric::metric;
    void add(std::uint64_t n = 1) noexcept { m_value.fetch_add(n, std::memory_order_relaxed); }
    // For a count kept elsewhere (e.g. by the message stream) and copied here.
    void set(std::uint64_t n) noexcept { m_value.store(n, std::memory_order_relaxed); }
    std::uint64_t value() const noexcept { return m_value.load(std::memory_order_relaxed); }
    void collect(std::vector<prometheus::MetricFamily>& families) const override;

private:
    std::atomic<std::uint64_t> m_value{0};
};

// A counter per combination of label values, e.g. kind × decision.
class labelled_counter final : public metric {
public:
    labelled_counter(metric_registry& registry, std::string_view name, std::string_view help,
                     std::initializer_list<label_set> labels);

    // indexes: one per label, in the order of the labels.
    void add(std::initializer_list<std::size_t> indexes) noexcept;
    std::uint64_t value(std::initializer_list<std::size_t> indexes) const noexcept;
    // A single label's value by its text; 0 for a text it does not take.
    std::uint64_t value(std::string_view label_value) const noexcept;
    // The index of the text among the first label's values, if it is one.
    std::optional<std::size_t> index_of(std::string_view label_value) const noexcept;
    // The same, or the last value's (e.g. "other") for a text it does not take.
    std::size_t index_or_last(std::string_view label_value) const noexcept;
    void collect(std::vector<prometheus::MetricFamily>& families) const override;

private:
    std::size_t slot(std::initializer_list<std::size_t> indexes) const noexcept;

    std::vector<label_set> m_labels;
    std::unique_ptr<std::atomic<std::uint64_t>[]> m_values;
};

// A level that goes up and down.
class gauge final : public metric {
public:
    using metric::metric;
    void set(std::int64_t v) noexcept { m_value.store(v, std::memory_order_relaxed); }
    void add(std::int64_t v) noexcept { m_value.fetch_add(v, std::memory_order_relaxed); }
    std::int64_t value() const noexcept { return m_value.load(std::memory_order_relaxed); }
    void collect(std::vector<prometheus::MetricFamily>& families) const override;

private:
    std::atomic<std::int64_t> m_value{0};
};

// A measured value, shown only once known, unless it starts known.
class measure final : public metric {
public:
    measure(metric_registry& registry, std::string_view name, std::string_view help,
            std::optional<double> initial = std::nullopt)
        : metric(registry, name, help), m_value(initial ? *initial : unknown) {}
    void set(double v) noexcept { m_value.store(v, std::memory_order_relaxed); }
    std::optional<double> value() const noexcept {
        const double v = m_value.load(std::memory_order_relaxed);
        return std::isnan(v) ? std::nullopt : std::optional<double>(v);
    }
    void collect(std::vector<prometheus::MetricFamily>& families) const override;

private:
    static constexpr double unknown = std::numeric_limits<double>::quiet_NaN();
    std::atomic<double> m_value;
};

// A gauge worked out at each scrape (an age, the health); nothing while the
// function has no value.
class computed_gauge final : public metric {
public:
    computed_gauge(metric_registry& registry, std::string_view name, std::string_view help,
                   std::function<std::optional<double>()> compute)
        : metric(registry, name, help), m_compute(std::move(compute)) {}
    void collect(std::vector<prometheus::MetricFamily>& families) const override;

private:
    std::function<std::optional<double>()> m_compute;
};

// Durations in seconds, counted by upper bound.
class histogram final : public metric {
public:
    histogram(metric_registry& registry, std::string_view name, std::string_view help,
              std::vector<double> bounds);

    void observe(std::chrono::nanoseconds duration) noexcept;

    struct snapshot {
        std::vector<std::uint64_t> buckets;  // not cumulative; the last one is +Inf
        std::uint64_t count = 0;
        double sum_seconds = 0;
    };
    snapshot read() const;
    const std::vector<double>& bounds() const noexcept { return m_bounds; }
    void collect(std::vector<prometheus::MetricFamily>& families) const override;

private:
    std::vector<double> m_bounds;
    std::unique_ptr<std::atomic<std::uint64_t>[]> m_buckets;
    std::atomic<std::uint64_t> m_sum_ns{0};
};

}  // namespace zentu::ops
