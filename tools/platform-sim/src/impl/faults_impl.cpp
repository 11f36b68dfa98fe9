#include <map>
#include <mutex>
#include <vector>

#include "platform-sim/faults.hpp"

namespace zentu::platform_sim {
namespace {

struct path_rules {
    unsigned fail_count = 0;
    unsigned fail_status = 500;
    std::string fail_body;
    unsigned close_count = 0;
    std::chrono::milliseconds delay{0};
    unsigned late_count = 0;
    std::chrono::milliseconds late{0};
};

class faults_impl final : public faults {
public:
    void fail(const std::string& path, unsigned status, unsigned count,
              const std::string& body) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto& rules = m_rules[path];
        rules.fail_status = status;
        rules.fail_count = count;
        rules.fail_body = body;
    }

    void delay(const std::string& path, std::chrono::milliseconds ms) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_rules[path].delay = ms;
    }

    void close(const std::string& path, unsigned count) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_rules[path].close_count = count;
    }

    void late(const std::string& path, std::chrono::milliseconds ms, unsigned count) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto& rules = m_rules[path];
        rules.late = ms;
        rules.late_count = count;
    }

    void hang(bool on) override {
        std::vector<std::function<void()>> callbacks;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const bool resumed = m_hang && !on;
            m_hang = on;
            if (resumed)
                callbacks = m_resume_callbacks;
        }
        for (auto& callback : callbacks)
            callback();
    }

    void reset() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_rules.clear();
        }
        hang(false);
    }

    fault_decision next(const std::string& path) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        fault_decision decision;
        if (m_hang) {
            decision.hang = true;
            return decision;
        }
        // A rule for the exact path wins over one for every path.
        for (const auto& key : {path, std::string("*")}) {
            auto it = m_rules.find(key);
            if (it == m_rules.end())
                continue;
            auto& rules = it->second;
            if (decision.delay.count() == 0)
                decision.delay = rules.delay;
            if (!decision.close && !decision.status && rules.close_count > 0) {
                --rules.close_count;
                decision.close = true;
            }
            if (!decision.close && !decision.status && rules.fail_count > 0) {
                --rules.fail_count;
                decision.status = rules.fail_status;
                decision.body = rules.fail_body;
            }
            if (!decision.close && !decision.status && decision.late.count() == 0 &&
                rules.late_count > 0) {
                --rules.late_count;
                decision.late = rules.late;
            }
        }
        return decision;
    }

    Json::Value describe() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        Json::Value result(Json::objectValue);
        result["hang"] = m_hang;
        Json::Value paths(Json::objectValue);
        for (const auto& [path, rules] : m_rules) {
            Json::Value rule(Json::objectValue);
            rule["fail_count"] = rules.fail_count;
            rule["fail_status"] = rules.fail_status;
            rule["close_count"] = rules.close_count;
            rule["delay_ms"] = static_cast<Json::Int64>(rules.delay.count());
            rule["late_count"] = rules.late_count;
            rule["late_ms"] = static_cast<Json::Int64>(rules.late.count());
            paths[path] = rule;
        }
        result["paths"] = paths;
        return result;
    }

    void on_resume(std::function<void()> callback) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_resume_callbacks.push_back(std::move(callback));
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::string, path_rules> m_rules;
    bool m_hang = false;
    std::vector<std::function<void()>> m_resume_callbacks;
};

}  // namespace

faults::ptr faults::create() {
    return std::make_unique<faults_impl>();
}

}  // namespace zentu::platform_sim
