#include <functional>
#include <map>

#include "core/json.hpp"
#include "platform-sim/control_api.hpp"

namespace zentu::platform_sim {
namespace {

std::string required_path(const Json::Value& body) {
    if (!body["path"].isString())
        throw request_error(400, "\"path\" is not a string");
    return body["path"].asString();
}

unsigned unsigned_or(const Json::Value& body, const char* key, std::optional<unsigned> fallback) {
    const auto& value = body[key];
    if (value.isNull() && fallback)
        return *fallback;
    if (!value.isUInt())
        throw request_error(400, "\"" + std::string(key) + "\" is not an unsigned integer");
    return value.asUInt();
}

Json::Value ok() {
    Json::Value result(Json::objectValue);
    result["ok"] = true;
    return result;
}

class control_api_impl final : public control_api {
public:
    explicit control_api_impl(const control_parts& parts) : m_parts(parts) {
        m_commands = {
            {"enter", [this](const Json::Value& b) { return m_parts.commands.enter(b); }},
            {"leave", [this](const Json::Value& b) { return m_parts.commands.leave(b); }},
            {"zone", [this](const Json::Value& b) { return m_parts.commands.upsert_zone(b); }},
            {"zone/delete",
             [this](const Json::Value& b) { return m_parts.commands.delete_zone(b); }},
            {"object", [this](const Json::Value& b) { return m_parts.commands.upsert_object(b); }},
            {"object/delete",
             [this](const Json::Value& b) { return m_parts.commands.delete_object(b); }},
            {"groups", [this](const Json::Value& b) { return m_parts.commands.groups(b); }},
            {"publish", [this](const Json::Value& b) { return m_parts.commands.publish(b); }},
            {"fail", [this](const Json::Value& b) { return fail(b); }},
            {"delay", [this](const Json::Value& b) { return delay(b); }},
            {"close", [this](const Json::Value& b) { return close(b); }},
            {"late", [this](const Json::Value& b) { return late(b); }},
            {"hang", [this](const Json::Value& b) { return hang(b); }},
            {"publisher", [this](const Json::Value& b) { return publisher(b); }},
            {"reset-faults", [this](const Json::Value&) { return reset_faults(); }},
            {"generator", [this](const Json::Value& b) { return m_parts.generator.start(b); }},
            {"generator/stop", [this](const Json::Value&) { return stop_generator(); }},
        };
    }

    Json::Value run(const std::string& name, const Json::Value& body) override {
        auto it = m_commands.find(name);
        if (it == m_commands.end())
            throw request_error(404, "unknown command \"" + name + "\"");
        if (!body.isObject())
            throw request_error(400, "the command is not a JSON object");
        return it->second(body);
    }

    http_reply handle(const std::string& method, const std::string& path, const std::string& query,
                      const std::string& body) override {
        const auto name = path.substr(std::string("/sim/").size());
        try {
            if (method == "GET")
                return json_reply(200, get(name, query));
            if (method != "POST")
                throw request_error(405, "use GET or POST");
            Json::Value command(Json::objectValue);
            if (!body.empty()) {
                auto parsed = libs::core::json::try_parse(body);
                if (!parsed.ok)
                    throw request_error(400, "the body is not JSON: " + parsed.error);
                command = parsed.result;
            }
            auto result = run(name, command);
            m_parts.log.line("control: " + path + " " + libs::core::json::to_string(command));
            return json_reply(200, result);
        } catch (const request_error& e) {
            m_parts.log.line("control: " + path + " refused: " + e.what());
            return error_reply(e.status(), e.what());
        }
    }

private:
    Json::Value get(const std::string& name, const std::string& query) {
        if (name == "alarms") {
            Json::Value result(Json::objectValue);
            result["alarms"] = m_parts.site.open_alarms();
            return result;
        }
        if (name == "requests")
            return m_parts.journal.since(since_of(query));
        if (name == "health") {
            auto result = ok();
            result["requests"] = static_cast<Json::UInt64>(m_parts.journal.size());
            result["published"] = static_cast<Json::UInt64>(m_parts.publisher.published());
            result["publisher_up"] = m_parts.publisher.is_up();
            result["lost"] = static_cast<Json::UInt64>(m_parts.publisher.dropped());
            return result;
        }
        if (name == "faults")
            return m_parts.faults.describe();
        if (name == "generator")
            return m_parts.generator.status();
        if (name == "site")
            return m_parts.site.snapshot();
        throw request_error(404, "unknown resource \"/sim/" + name + "\"");
    }

    static std::uint64_t since_of(const std::string& query) {
        const std::string key = "since=";
        const auto at = query.find(key);
        if (at == std::string::npos)
            return 0;
        try {
            return std::stoull(query.substr(at + key.size()));
        } catch (const std::exception&) {
            throw request_error(400, "\"since\" is not a number");
        }
    }

    Json::Value fail(const Json::Value& body) {
        const auto status = unsigned_or(body, "status", std::nullopt);
        if (status < 100 || status > 599)
            throw request_error(400, "\"status\" is not an HTTP status");
        const auto& answer = body["body"];
        m_parts.faults.fail(required_path(body), status, unsigned_or(body, "count", 1u),
                            answer.isString() ? answer.asString()
                            : answer.isNull() ? std::string()
                                              : libs::core::json::to_string(answer));
        return ok();
    }

    Json::Value delay(const Json::Value& body) {
        m_parts.faults.delay(required_path(body),
                             std::chrono::milliseconds(unsigned_or(body, "ms", std::nullopt)));
        return ok();
    }

    Json::Value close(const Json::Value& body) {
        m_parts.faults.close(required_path(body), unsigned_or(body, "count", 1u));
        return ok();
    }

    Json::Value late(const Json::Value& body) {
        m_parts.faults.late(required_path(body),
                            std::chrono::milliseconds(unsigned_or(body, "ms", std::nullopt)),
                            unsigned_or(body, "count", 1u));
        return ok();
    }

    Json::Value hang(const Json::Value& body) {
        if (!body["on"].isBool())
            throw request_error(400, "\"on\" is not a bool");
        m_parts.faults.hang(body["on"].asBool());
        return ok();
    }

    Json::Value publisher(const Json::Value& body) {
        if (!body["up"].isBool())
            throw request_error(400, "\"up\" is not a bool");
        m_parts.publisher.set_up(body["up"].asBool());
        return ok();
    }

    Json::Value reset_faults() {
        m_parts.faults.reset();
        return ok();
    }

    Json::Value stop_generator() {
        m_parts.generator.stop();
        return m_parts.generator.status();
    }

    control_parts m_parts;
    std::map<std::string, std::function<Json::Value(const Json::Value&)>> m_commands;
};

}  // namespace

control_api::ptr control_api::create(const control_parts& parts) {
    return std::make_unique<control_api_impl>(parts);
}

}  // namespace zentu::platform_sim
