#include "core/json.hpp"
#include "platform-sim/alarm_request.hpp"
#include "platform-sim/catalogue.hpp"
#include "platform-sim/platform_api.hpp"

namespace zentu::platform_sim {
namespace {

class platform_api_impl final : public platform_api {
public:
    platform_api_impl(site& site, journal& journal, sim_log& log)
        : m_site(site), m_journal(journal), m_log(log) {}

    http_reply handle(const std::string& method, const std::string& path,
                      const std::string& body) override {
        journal_entry entry{method, path, body, 0, "", std::nullopt};
        auto reply = answer(entry);
        entry.status = reply.status;
        m_journal.record(entry);
        m_log.line("<- " + method + " " + path + " " + std::to_string(reply.status) +
                   (method == "POST" ? " " + body : std::string()));
        return reply;
    }

private:
    http_reply answer(journal_entry& entry) {
        if (entry.method == "POST" && entry.path == alarms_path)
            return post_alarm(entry);
        if (entry.method == "GET") {
            if (entry.path == alarm_types_path) {
                entry.outcome = "served";
                return json_reply(200, m_site.alarm_types());
            }
            if (auto info = find_list_by_path(entry.path)) {
                entry.outcome = "served";
                return http_reply{200, m_site.list_text(info->kind) + "\n"};
            }
        }
        entry.outcome = "not_found";
        return error_reply(404, "no such resource: " + entry.method + " " + entry.path);
    }

    http_reply post_alarm(journal_entry& entry) {
        auto parsed = libs::core::json::try_parse(entry.body);
        std::optional<std::string> reason;
        if (!parsed.ok)
            reason = "the body is not JSON: " + parsed.error;
        else
            reason = validate_alarm_request(parsed.result);
        if (reason) {
            entry.outcome = "rejected";
            entry.reason = reason;
            return error_reply(400, *reason);
        }
        const auto& request = parsed.result;
        if (request["state"].asString() == "set") {
            entry.outcome = "accepted";
            Json::Value answer(Json::objectValue);
            answer["alarm"] = m_site.set_alarm(request);
            return json_reply(200, answer);
        }
        if (!m_site.clear_alarm(request)) {
            entry.outcome = "not_found";
            entry.reason =
                "no open alarm " + alarm_key(request["obj_uid"].asString(),
                                             request["additional_info"]["zone_uid"].asString());
            return error_reply(404, *entry.reason);
        }
        entry.outcome = "accepted";
        Json::Value answer(Json::objectValue);
        answer["cleared"] = true;
        return json_reply(200, answer);
    }

    site& m_site;
    journal& m_journal;
    sim_log& m_log;
};

}  // namespace

platform_api::ptr platform_api::create(site& site, journal& journal, sim_log& log) {
    return std::make_unique<platform_api_impl>(site, journal, log);
}

}  // namespace zentu::platform_sim
