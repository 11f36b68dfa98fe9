#include "context/explain.hpp"
#include "context/pair_uid.hpp"
#include "context/protocol.hpp"

#include <algorithm>
#include <map>
#include <utility>

namespace zentu::context {

namespace {

using position = keep_in_index::position;
using source = keep_in_index::position_source;

std::string name_of(const context& ctx, const std::string& zone_uid) {
    const auto zone = ctx.get_zones().try_get(zone_uid);
    return zone && !zone->get_name().empty() ? zone->get_name() : zone_uid;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names)
        out.append(out.empty() ? "" : ", ").append(name);
    return out;
}

// The object's own movements, by zone uid.
std::map<std::string, zone_event> movements_of(const context& ctx, const std::string& obj_uid) {
    std::map<std::string, zone_event> out;
    ctx.get_zone_events().for_each_with_prefix(pair_prefix(obj_uid), [&](const zone_event& e) {
        if (e.get_obj_uid() == obj_uid)
            out.emplace(e.get_zone_uid(), e);
        return true;
    });
    return out;
}

std::vector<keep_in_view> keep_in_zones(const context& ctx, const trackable_object& object,
                                        const std::map<std::string, zone_event>& movements) {
    const auto& index = ctx.get_keep_in_index();
    // The zones of its project, and those of another that it moved across.
    auto uids = index.keep_in_zones_of(object.get_project_uid());
    for (const auto& [zone_uid, event] : movements)
        if (event.get_zone_type() == zone_type::KEEP_IN &&
            !std::binary_search(uids.begin(), uids.end(), zone_uid))
            uids.insert(std::lower_bound(uids.begin(), uids.end(), zone_uid), zone_uid);
    std::vector<keep_in_view> out;
    for (const auto& uid : uids) {
        const auto zone = ctx.get_zones().try_get(uid);
        if (!zone || zone->get_type() != zone_type::KEEP_IN)
            continue;
        keep_in_view view;
        view.zone_uid = uid;
        view.zone_name = name_of(ctx, uid);
        view.active = zone->get_active();
        view.verdict = keep_in_zone_verdict(*zone, object);
        view.position = index.position_of(object.get_uid(), uid);
        view.source = index.source_of(object.get_uid(), uid);
        out.push_back(std::move(view));
    }
    return out;
}

// The keep-in zones that hold the object in and that it is inside of.
std::vector<std::string> holding_and_inside(const std::vector<keep_in_view>& zones) {
    std::vector<std::string> names;
    for (const auto& zone : zones)
        if (zone.verdict == rule_verdict::applies && zone.position == position::inside)
            names.push_back(zone.zone_name);
    return names;
}

void add_alarm(std::vector<alarm_view>& alarms, alarm_view view) {
    alarms.push_back(std::move(view));
}

}  // namespace

std::string_view to_string(keep_in_index::position_source s) {
    switch (s) {
        case source::movement:
            return "movement";
        case source::occupancy_list:
            return "occupancy list";
        case source::not_listed:
            return "not in the occupancy list";
        case source::no_list:
            return "no occupancy list";
    }
    return "unknown";
}

std::string_view to_string(keep_in_index::position p) {
    return p == position::inside ? "inside" : "outside";
}

std::optional<object_explanation> explain(const context& ctx, std::string_view obj_uid) {
    const auto found = ctx.get_trackable_objects().try_get(obj_uid);
    if (!found)
        return std::nullopt;
    object_explanation out{*found, std::nullopt, {}, {}, {}, {}, {}};
    const trackable_object& object = out.object;
    const auto& uid = object.get_uid();
    const auto& index = ctx.get_keep_in_index();

    const auto movements = movements_of(ctx, uid);
    for (const auto& [zone_uid, event] : movements)
        if (!out.last_event || out.last_event->get_ts() < event.get_ts())
            out.last_event = event;
    out.keep_in = keep_in_zones(ctx, object, movements);

    // Keep-in: one alarm per zone holding it in, once it left them all.
    std::vector<std::string> wanted_keep_in;
    const auto holding = index.zones_holding_in(uid);
    const auto object_side = object_verdict(alarm_type::ki, object);
    if (holding.empty()) {
        out.keep_in_reason = "no alarm: no active keep-in zone applies";
    } else if (!index.has_left_all(uid)) {
        out.keep_in_reason = "no alarm: inside " + joined(holding_and_inside(out.keep_in));
    } else if (object_side != rule_verdict::applies) {
        out.keep_in_reason = "no alarm: " + std::string(to_string(object_side));
    } else {
        std::vector<std::string> names;
        names.reserve(holding.size());
        for (const auto& zone_uid : holding)
            names.push_back(name_of(ctx, zone_uid));
        out.keep_in_reason = "outside every active keep-in zone that applies: " + joined(names);
        wanted_keep_in = holding;
    }

    // Keep-out: one alarm per keep-out zone it is in.
    std::vector<std::string> wanted_keep_out;
    std::string keep_out_refusal;
    for (const auto& [zone_uid, event] : movements) {
        const auto zone = ctx.get_zones().try_get(zone_uid);
        if (!zone || zone->get_type() != zone_type::KEEP_OUT ||
            event.get_action() != protocol::enter)
            continue;
        keep_out_view view{zone_uid, name_of(ctx, zone_uid), event.get_ts(),
                           keep_out_verdict(*zone, object)};
        if (view.verdict == rule_verdict::applies)
            wanted_keep_out.push_back(zone_uid);
        else
            keep_out_refusal = "no alarm: " + std::string(to_string(view.verdict));
        out.keep_out.push_back(std::move(view));
    }
    if (out.keep_out.empty())
        out.keep_out_reason = "no alarm: in no keep-out zone";
    else if (wanted_keep_out.empty())
        out.keep_out_reason = keep_out_refusal;
    else {
        std::vector<std::string> names;
        names.reserve(wanted_keep_out.size());
        for (const auto& zone_uid : wanted_keep_out)
            names.push_back(name_of(ctx, zone_uid));
        out.keep_out_reason = "inside keep-out zone " + joined(names);
    }

    // The alarms wanted, then those held that are not.
    const auto wants = [&](alarm_type kind, const std::string& zone_uid) {
        const auto& list = kind == alarm_type::ki ? wanted_keep_in : wanted_keep_out;
        return std::find(list.begin(), list.end(), zone_uid) != list.end();
    };
    std::map<std::pair<std::string, alarm_type>, std::string> held;
    ctx.get_alarms().for_each_with_prefix(pair_prefix(uid), [&](const alarm& a) {
        if (a.get_trobject_uid() == uid)
            held.emplace(std::make_pair(a.get_zone_uid(), a.get_alarm_type()), a.get_state());
        return true;
    });
    const auto held_state = [&](alarm_type kind,
                                const std::string& zone_uid) -> std::optional<std::string> {
        const auto it = held.find({zone_uid, kind});
        return it == held.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    for (const auto& zone_uid : wanted_keep_in)
        add_alarm(out.alarms, {zone_uid, name_of(ctx, zone_uid), alarm_type::ki, true,
                               held_state(alarm_type::ki, zone_uid), out.keep_in_reason});
    for (const auto& zone_uid : wanted_keep_out)
        add_alarm(out.alarms, {zone_uid, name_of(ctx, zone_uid), alarm_type::ko, true,
                               held_state(alarm_type::ko, zone_uid),
                               "inside keep-out zone " + name_of(ctx, zone_uid) + " since " +
                                   movements.at(zone_uid).get_ts().to_iso_8601_string(false)});
    for (const auto& [key, state] : held) {
        const std::string& zone_uid = key.first;
        const alarm_type kind = key.second;
        if (wants(kind, zone_uid))
            continue;
        std::string reason = out.keep_in_reason;
        if (kind == alarm_type::ko) {
            const auto in = std::find_if(out.keep_out.begin(), out.keep_out.end(),
                                         [&](const auto& v) { return v.zone_uid == zone_uid; });
            reason = in == out.keep_out.end()
                         ? "no alarm: not in keep-out zone " + name_of(ctx, zone_uid)
                         : "no alarm: " + std::string(to_string(in->verdict));
        }
        add_alarm(out.alarms, {zone_uid, name_of(ctx, zone_uid), kind, false, state,
                               "held, to be cleared: " + reason});
    }
    return out;
}

}  // namespace zentu::context
