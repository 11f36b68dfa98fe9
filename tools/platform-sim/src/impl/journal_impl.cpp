#include <fstream>
#include <mutex>
#include <vector>

#include "core/json.hpp"
#include "core/timestamp.hpp"
#include "platform-sim/journal.hpp"
#include "platform-sim/messages.hpp"

namespace zentu::platform_sim {
namespace {

class journal_impl final : public journal {
public:
    journal_impl(const std::string& file_name, sim_log& log) : m_log(log) {
        if (file_name.empty())
            return;
        m_file.open(file_name, std::ios::app);
        if (!m_file)
            throw request_error(400, "cannot open the requests log " + file_name);
    }

    std::uint64_t record(const journal_entry& entry) override {
        Json::Value value(Json::objectValue);
        value["time"] = iso_time(libs::core::timestamp::current_time());
        value["method"] = entry.method;
        value["path"] = entry.path;
        if (!entry.body.empty()) {
            // Kept as JSON when it is JSON, so readers need not parse twice.
            auto parsed = libs::core::json::try_parse(entry.body);
            value["body"] = parsed.ok ? parsed.result : Json::Value(entry.body);
        }
        value["status"] = entry.status;
        value["outcome"] = entry.outcome;
        if (entry.reason)
            value["reason"] = *entry.reason;
        if (entry.outcome == "rejected")
            m_log.line("rejected " + entry.method + " " + entry.path + ": " +
                       entry.reason.value_or(""));

        std::lock_guard<std::mutex> lock(m_mutex);
        const std::uint64_t index = m_entries.size();
        value["index"] = static_cast<Json::UInt64>(index);
        if (m_file.is_open())
            m_file << libs::core::json::to_string(value) << std::endl;
        m_entries.push_back(std::move(value));
        return index;
    }

    Json::Value since(std::uint64_t index) const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        Json::Value result(Json::objectValue);
        Json::Value requests(Json::arrayValue);
        for (auto i = index; i < m_entries.size(); ++i)
            requests.append(m_entries[i]);
        result["requests"] = requests;
        result["next"] = static_cast<Json::UInt64>(m_entries.size());
        return result;
    }

    std::uint64_t size() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries.size();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Json::Value> m_entries;
    std::ofstream m_file;
    sim_log& m_log;
};

}  // namespace

journal::ptr journal::create(const std::string& file_name, sim_log& log) {
    return std::make_unique<journal_impl>(file_name, log);
}

}  // namespace zentu::platform_sim
