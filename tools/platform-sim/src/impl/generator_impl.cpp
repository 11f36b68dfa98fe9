#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform-sim/generator.hpp"

namespace zentu::platform_sim {
namespace {

using clock_type = std::chrono::steady_clock;

struct run_plan {
    double rate = 0;
    std::optional<std::uint64_t> count;
    std::optional<std::chrono::milliseconds> duration;
    std::size_t dwell = 1;  // objects inside a zone at a time
    std::vector<std::string> zones;
    std::vector<std::string> objects;
};

std::vector<std::string> uids_or(const Json::Value& given, std::vector<std::string> all,
                                 const char* key) {
    if (given.isNull())
        return all;
    if (!given.isArray())
        throw request_error(400, "\"" + std::string(key) + "\" is not an array");
    std::vector<std::string> uids;
    for (const auto& uid : given) {
        if (!uid.isString())
            throw request_error(400, "\"" + std::string(key) + "\" holds a non-string");
        uids.push_back(uid.asString());
    }
    return uids;
}

run_plan make_plan(const Json::Value& body, const site& site) {
    if (!body.isObject())
        throw request_error(400, "the command is not a JSON object");
    run_plan plan;
    if (!body["rate"].isNumeric() || body["rate"].asDouble() <= 0)
        throw request_error(400, "\"rate\" is not a positive number");
    plan.rate = body["rate"].asDouble();
    if (body["count"].isUInt64())
        plan.count = body["count"].asUInt64();
    if (body["duration_ms"].isUInt64())
        plan.duration = std::chrono::milliseconds(body["duration_ms"].asUInt64());
    if (!plan.count && !plan.duration)
        throw request_error(400, "neither \"count\" nor \"duration_ms\" is given");
    plan.zones = uids_or(body["zones"], site.zone_uids(), "zones");
    plan.objects = uids_or(body["objects"], site.object_uids(), "objects");
    if (plan.zones.empty() || plan.objects.empty())
        throw request_error(400, "the generator needs at least one zone and one object");
    const auto& dwell = body["dwell"];
    if (!dwell.isNull() && (!dwell.isUInt64() || dwell.asUInt64() == 0))
        throw request_error(400, "\"dwell\" is not a positive integer");
    plan.dwell = dwell.isNull() ? std::clamp<std::size_t>(plan.objects.size() / 2, 1, 1000)
                                : std::min<std::size_t>(dwell.asUInt64(), plan.objects.size());
    return plan;
}

class generator_impl final : public generator {
public:
    generator_impl(site& site, commands& commands, sim_log& log)
        : m_site(site), m_commands(commands), m_log(log) {}

    ~generator_impl() override { stop(); }

    Json::Value start(const Json::Value& body) override {
        auto plan = make_plan(body, m_site);
        std::lock_guard<std::mutex> control(m_control_mutex);
        stop_thread();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = false;
            m_running = true;
            m_sent = m_enter = m_leave = m_errors = 0;
            m_started = clock_type::now();
            m_finished.reset();
        }
        m_log.line("generator: " + std::to_string(plan.rate) + " messages/s over " +
                   std::to_string(plan.objects.size()) + " objects and " +
                   std::to_string(plan.zones.size()) + " zones");
        m_thread = std::thread([this, plan = std::move(plan)] { run(plan); });
        std::lock_guard<std::mutex> lock(m_mutex);
        return describe();
    }

    void stop() override {
        std::lock_guard<std::mutex> control(m_control_mutex);
        stop_thread();
    }

    Json::Value status() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return describe();
    }

private:
    void stop_thread() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    Json::Value describe() const {
        Json::Value result(Json::objectValue);
        result["running"] = m_running;
        result["sent"] = static_cast<Json::UInt64>(m_sent);
        result["enter"] = static_cast<Json::UInt64>(m_enter);
        result["leave"] = static_cast<Json::UInt64>(m_leave);
        result["errors"] = static_cast<Json::UInt64>(m_errors);
        const auto end = m_finished.value_or(clock_type::now());
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - m_started).count();
        result["elapsed_ms"] = static_cast<Json::Int64>(elapsed);
        result["rate"] = elapsed > 0 ? static_cast<double>(m_sent) * 1000.0 / elapsed : 0.0;
        return result;
    }

    void run(const run_plan& plan) {
        // Objects enter in turn and leave again, oldest first, once "dwell" are inside.
        const auto n_objects = plan.objects.size();
        std::vector<int> inside(n_objects, -1);
        std::deque<std::size_t> entered;
        std::size_t next_object = 0;
        std::uint64_t enters = 0;
        const auto start = clock_type::now();
        for (std::uint64_t k = 0;; ++k) {
            if (plan.count && k >= *plan.count)
                break;
            const auto due = start + std::chrono::duration_cast<clock_type::duration>(
                                         std::chrono::duration<double>(k / plan.rate));
            if (plan.duration &&
                (due - start >= *plan.duration || clock_type::now() - start >= *plan.duration))
                break;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (m_wake.wait_until(lock, due, [this] { return m_stopping; }))
                    break;
            }
            const bool entering = entered.size() < plan.dwell;
            std::size_t object;
            if (entering) {
                while (inside[next_object] >= 0)
                    next_object = (next_object + 1) % n_objects;
                object = next_object;
                next_object = (next_object + 1) % n_objects;
                inside[object] =
                    static_cast<int>((object + enters / n_objects) % plan.zones.size());
                entered.push_back(object);
                ++enters;
            } else {
                object = entered.front();
                entered.pop_front();
            }
            Json::Value body(Json::objectValue);
            body["obj_uid"] = plan.objects[object];
            body["zone_uid"] = plan.zones[static_cast<std::size_t>(inside[object])];
            if (!entering)
                inside[object] = -1;
            bool ok = true;
            try {
                if (entering)
                    m_commands.enter(body, true);
                else
                    m_commands.leave(body, true);
            } catch (const std::exception&) {
                ok = false;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!ok) {
                ++m_errors;
                continue;
            }
            ++m_sent;
            ++(entering ? m_enter : m_leave);
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_running = false;
            m_finished = clock_type::now();
        }
        m_log.line("generator finished: sent " + std::to_string(m_sent) + ", errors " +
                   std::to_string(m_errors));
    }

    site& m_site;
    commands& m_commands;
    sim_log& m_log;
    std::mutex m_control_mutex;  // start and stop, which own m_thread
    mutable std::mutex m_mutex;  // the counters and the stop flag
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_running = false;
    std::uint64_t m_sent = 0, m_enter = 0, m_leave = 0, m_errors = 0;
    clock_type::time_point m_started = clock_type::now();
    std::optional<clock_type::time_point> m_finished;
    std::thread m_thread;
};

}  // namespace

generator::ptr generator::create(site& site, commands& commands, sim_log& log) {
    return std::make_unique<generator_impl>(site, commands, log);
}

}  // namespace zentu::platform_sim
