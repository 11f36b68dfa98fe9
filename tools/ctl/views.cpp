#include "views.hpp"

#include <algorithm>

namespace zentu::ctl {

namespace {

// A JSON value as one cell: "-" for null, the text of strings and numbers.
std::string cell(const Json::Value& v) {
    if (v.isNull())
        return "-";
    if (v.isString())
        return v.asString();
    if (v.isBool())
        return v.asBool() ? "yes" : "no";
    if (v.isDouble())
        return std::to_string(static_cast<long long>(v.asDouble()));
    if (v.isArray()) {
        std::string out;
        for (const auto& item : v)
            out += (out.empty() ? "" : ", ") + cell(item);
        return out.empty() ? "-" : out;
    }
    return v.toStyledString().substr(0, v.toStyledString().find('\n'));
}

void line(std::ostream& out, const std::string& name, const Json::Value& v) {
    out << name << ": " << cell(v) << '\n';
}

}  // namespace

void table::print(std::ostream& out) const {
    std::vector<std::size_t> widths;
    for (const auto& row : m_rows)
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.push_back(0);
            widths[i] = std::max(widths[i], row[i].size());
        }
    for (const auto& row : m_rows) {
        if (row.empty())
            continue;
        std::string text;
        for (std::size_t i = 0; i < row.size(); ++i) {
            text += row[i];
            if (i + 1 < row.size())
                text += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        out << text << '\n';
    }
}

void print_status(const Json::Value& s, std::ostream& out) {
    line(out, "version", s["version"]);
    line(out, "uptime (s)", s["uptime_seconds"]);
    out << "health: "
        << (s["health"]["ok"].asBool() ? "ok" : "NOT OK: " + s["health"]["reason"].asString())
        << '\n';
    const auto& c = s["counts"];
    out << "objects: " << cell(c["objects"]) << ", zones: " << cell(c["zones"])
        << ", open alarms: " << cell(c["open_alarms"])
        << ", undelivered alarms: " << cell(c["undelivered_alarms"]) << '\n';
    out << "stream: " << (s["stream"]["connected"].asBool() ? "connected" : "DISCONNECTED")
        << ", last message " << cell(s["stream"]["seconds_since_last_message"]) << " s ago\n";
    const auto& p = s["platform"];
    out << "platform: last load " << cell(p["last_successful_load"]);
    if (p["last_rebuild"].isObject())
        out << ", last rebuild " << cell(p["last_rebuild"]["at"])
            << (p["last_rebuild"]["ok"].asBool()
                    ? " ok"
                    : " FAILED: " + cell(p["last_rebuild"]["failure"]));
    if (p["rebuilding"].asBool())
        out << ", rebuilding now";
    out << '\n';
    out << "redis mirror: " << (s["redis_mirror"]["up"].asBool() ? "up" : "DOWN") << '\n';
}

void print_alarms(const Json::Value& alarms, std::ostream& out) {
    table t({"OBJECT", "ZONE", "KIND", "LEVEL", "WANTED", "CONFIRMED", "STATE", "ATTEMPTS",
             "LAST FAILURE", "SINCE", "NEXT SEND"});
    for (const auto& a : alarms["alarms"]) {
        const std::string kind = a["kind"].asString();
        t.add({cell(a["object"]), cell(a["zone"]), kind, cell(a["level"]), cell(a["wanted"]),
               cell(a["confirmed"][kind]),
               cell(a["state"]) + (a["in_flight"].isNull() ? "" : " (sending)"),
               cell(a["attempts"]), cell(a["last_failure"]), cell(a["since"]),
               cell(a["next_send"])});
    }
    t.print(out);
    out << alarms["alarms"].size() << (alarms["alarms"].size() == 1 ? " alarm\n" : " alarms\n");
}

void print_explanation(const Json::Value& e, std::ostream& out) {
    const auto& o = e["object"];
    line(out, "object", o["uid"]);
    line(out, "project", o["project"]);
    line(out, "groups", o["groups"]);
    line(out, "MAC address", o["mac_address"]);
    line(out, "responsive", o["responsive"]);
    line(out, "sublocation", o["sublocation"]);
    const auto& last = e["last_zone_event"];
    out << "last zone event: "
        << (last.isNull()
                ? "-"
                : cell(last["action"]) + " " + cell(last["zone"]) + " at " + cell(last["at"]))
        << "\n\n";
    table zones({"KEEP-IN ZONE", "NAME", "ACTIVE", "RULE", "POSITION", "FROM"});
    for (const auto& z : e["keep_in_zones"])
        zones.add({cell(z["uid"]), cell(z["name"]), cell(z["active"]), cell(z["verdict"]),
                   z["position_known"].asBool() ? cell(z["position"])
                                                : "unknown (" + cell(z["position"]) + ")",
                   cell(z["position_from"])});
    zones.print(out);
    if (e["keep_out_zones"].size() > 0) {
        out << '\n';
        table ko({"KEEP-OUT ZONE", "NAME", "SINCE", "RULE"});
        for (const auto& z : e["keep_out_zones"])
            ko.add({cell(z["uid"]), cell(z["name"]), cell(z["since"]), cell(z["verdict"])});
        ko.print(out);
    }
    out << "\nkeep-in: " << e["keep_in"].asString() << "\nkeep-out: " << e["keep_out"].asString()
        << '\n';
    if (e["alarms"].size() > 0) {
        out << '\n';
        table alarms({"ALARM ZONE", "KIND", "WANTED", "HELD", "WHY"});
        for (const auto& a : e["alarms"])
            alarms.add({cell(a["zone"]), cell(a["kind"]), cell(a["wanted"]), cell(a["held"]),
                        cell(a["why"])});
        alarms.print(out);
    }
}

void print_zone(const Json::Value& z, std::ostream& out) {
    for (const char* name : {"uid", "name", "type", "active", "project", "sublocation", "level",
                             "default_allowed", "exceptions", "exceptions_groups", "attached_to"})
        line(out, name, z[name]);
    out << "objects inside (" << z["objects_inside"].size() << "): " << cell(z["objects_inside"])
        << '\n';
}

}  // namespace zentu::ctl
