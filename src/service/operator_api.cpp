#include "service/operator_api.hpp"
#include "context/explain.hpp"
#include "context/protocol.hpp"
#include "service/alarm_rows.hpp"
#include "service/api_records.hpp"

namespace zentu {

namespace {

constexpr std::string_view prefix = "/v1/";

ops::api_answer ok(const Json::Value& body) {
    return {200, api::compact(body), nullptr};
}

std::string_view after(std::string_view path, std::string_view head) {
    return path.substr(head.size());
}

}  // namespace

operator_api::operator_api(const zone_detector& service, const ops::service_metrics& metrics,
                           std::string version, steady::time_point started)
    : m_service(service), m_metrics(metrics), m_version(std::move(version)), m_started(started) {}

ops::api_answer operator_api::answer(const ops::api_request& request) const {
    const std::string_view path = request.path;
    if (path.substr(0, prefix.size()) != prefix)
        return ops::api_gate::error(400, "unknown path " + request.path);
    const auto rest = after(path, prefix);
    if (rest == "status")
        return status();
    if (rest == "alarms")
        return alarms(request);
    for (const std::string_view collection : {"objects/", "zones/"}) {
        if (rest.substr(0, collection.size()) != collection)
            continue;
        const std::string uid(after(rest, collection));
        if (uid.empty())
            return ops::api_gate::error(400, "no uid in " + request.path);
        return collection == "objects/" ? object(uid) : zone(uid);
    }
    return ops::api_gate::error(400, "unknown path " + request.path +
                                         ": /v1/status, /v1/alarms, /v1/objects/UID, "
                                         "/v1/zones/UID");
}

ops::api_answer operator_api::status() const {
    const auto& ctx = m_service.get_context();
    Json::Value out(Json::objectValue);
    out["version"] = m_version;
    out["uptime_seconds"] = static_cast<Json::Int64>(
        std::chrono::duration_cast<std::chrono::seconds>(steady::now() - m_started).count());
    const auto health = m_metrics.health();
    out["health"]["ok"] = health.ok;
    out["health"]["reason"] = health.reason;

    Json::Value counts(Json::objectValue);
    counts["objects"] = static_cast<Json::UInt64>(ctx.get_trackable_objects().size());
    counts["zones"] = static_cast<Json::UInt64>(ctx.get_zones().size());
    counts["open_alarms"] = static_cast<Json::UInt64>(ctx.get_alarms().size());
    counts["undelivered_alarms"] =
        static_cast<Json::UInt64>(m_service.get_alarms_controller().undelivered_count());
    out["counts"] = counts;

    const auto stream = m_service.stream_health();
    out["stream"]["connected"] = stream.connected;
    out["stream"]["seconds_since_last_message"] =
        stream.last_message
            ? Json::Value(
                  std::chrono::duration<double>(steady::now() - *stream.last_message).count())
            : Json::Value(Json::nullValue);
    out["stream"]["messages"] = static_cast<Json::UInt64>(stream.messages);
    out["stream"]["disconnects"] = static_cast<Json::UInt64>(stream.disconnects);

    Json::Value platform(Json::objectValue);
    platform["last_successful_load"] = api::iso(m_service.last_successful_load());
    platform["rebuilding"] = m_service.is_rebuilding();
    platform["rebuilds_done"] = static_cast<Json::UInt64>(m_service.rebuilds_done());
    platform["rebuilds_failed"] = static_cast<Json::UInt64>(m_service.rebuilds_failed());
    Json::Value last(Json::nullValue);
    if (const auto& rebuild = m_service.last_rebuild()) {
        last = Json::Value(Json::objectValue);
        last["at"] = api::iso(rebuild->at);
        last["ok"] = rebuild->ok;
        last["failure"] =
            rebuild->ok ? Json::Value(Json::nullValue) : Json::Value(rebuild->failure);
    }
    platform["last_rebuild"] = last;
    out["platform"] = platform;
    out["redis_mirror"]["up"] = m_service.mirror_connected();
    return ok(out);
}

ops::api_answer operator_api::alarms(const ops::api_request& request) const {
    const auto field = [&](const char* name) -> const std::string* {
        const auto it = request.query.find(name);
        return it == request.query.end() ? nullptr : &it->second;
    };
    for (const auto& [name, value] : request.query)
        if (name != "object" && name != "zone" && name != "undelivered")
            return ops::api_gate::error(400,
                                        "unknown filter " + name + ": object, zone, undelivered");
    api::alarm_filter filter;
    if (const std::string* object = field("object"))
        filter.object = *object;
    if (const std::string* zone = field("zone"))
        filter.zone = *zone;
    if (const std::string* undelivered = field("undelivered")) {
        if (*undelivered != "1" && *undelivered != "0")
            return ops::api_gate::error(400, "undelivered takes 1 or 0, not " + *undelivered);
        filter.undelivered = *undelivered == "1";
    }
    // The loop copies the rows; the HTTP thread writes them.
    auto rows = api::alarm_rows(m_service.get_context(), m_service.get_alarms_controller(),
                                m_service.timers(), filter);
    return {200, {}, [rows = std::move(rows)] { return api::alarm_list_text(*rows); }};
}

ops::api_answer operator_api::object(const std::string& uid) const {
    const auto explanation = context::explain(m_service.get_context(), uid);
    if (!explanation)
        return ops::api_gate::error(404, "no trackable object " + uid);
    return ok(api::explanation_json(*explanation));
}

ops::api_answer operator_api::zone(const std::string& uid) const {
    const auto& ctx = m_service.get_context();
    const auto zone = ctx.get_zones().try_get(uid);
    if (!zone)
        return ops::api_gate::error(404, "no zone " + uid);
    Json::Value out = api::zone_rule_json(*zone);
    Json::Value inside(Json::arrayValue);
    if (zone->get_type() == context::zone_type::KEEP_IN) {
        // Where the keep-in index places each object of the zone's project.
        const auto& index = ctx.get_keep_in_index();
        ctx.get_trackable_objects().for_each([&](const context::trackable_object& o) {
            if (o.get_project_uid() == zone->get_project_uid() &&
                index.position_of(o.get_uid(), uid) == context::keep_in_index::position::inside)
                inside.append(o.get_uid());
            return true;
        });
    } else {
        ctx.get_zone_events().for_each([&](const context::zone_event& e) {
            if (e.get_zone_uid() == uid && e.get_action() == protocol::enter)
                inside.append(e.get_obj_uid());
            return true;
        });
    }
    out["objects_inside"] = inside;
    return ok(out);
}

}  // namespace zentu
