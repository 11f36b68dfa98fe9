#include "service/alarm_rows.hpp"
#include "context/pair_uid.hpp"
#include "service/api_records.hpp"

namespace zentu::api {

namespace {

using wait = alarms_controller_impl::alarm_info::wait;

const char* wait_name(wait w) {
    switch (w) {
        case wait::resend:
            return "resend";
        case wait::retry:
            return "retry";
        case wait::backoff:
            return "backoff";
        case wait::none:
            break;
    }
    return nullptr;
}

// Steady times of the loop's timers as wall-clock times.
class wall_clock {
public:
    explicit wall_clock(const libs::core::timers_manager& timers)
        : m_now(timers.current_time_point()), m_wall(timers.current_timestamp()) {}
    libs::core::timestamp at(libs::core::timer::time_point t) const {
        return m_wall + std::chrono::duration_cast<std::chrono::milliseconds>(t - m_now);
    }

private:
    libs::core::timer::time_point m_now;
    libs::core::timestamp m_wall;
};

alarm_row row_of(const std::string& uid, const context::alarm* stored,
                 const alarms_controller_impl& controller, const wall_clock& clock) {
    alarm_row row;
    row.uid = uid;
    if (stored)
        row.stored = alarm_row::record{stored->get_trobject_uid(), stored->get_zone_uid(),
                                       stored->get_alarm_type(),   stored->get_zone_alarm_level(),
                                       stored->get_alarm_name(),   stored->get_state(),
                                       stored->get_timestamp()};
    if (const auto* info = controller.get_info(uid)) {
        row.state = alarms_controller_impl::state_of(*info, stored);
        row.confirmed = info->m_confirmed;
        if (info->m_sent) {
            row.in_flight = *info->m_sent;
            row.sent_at = clock.at(info->m_sent_at);
        }
        row.waiting = info->m_waiting;
        if (info->m_waiting != wait::none)
            row.next_send = clock.at(info->m_timer_due);
        if (info->m_unconfirmed_since)
            row.undelivered_since = clock.at(*info->m_unconfirmed_since);
        row.attempts = info->m_attempt;
        row.last_failure = info->m_last_failure;
    }
    return row;
}

}  // namespace

alarm_rows_ptr alarm_rows(const context::context& ctx, const alarms_controller_impl& controller,
                          const libs::core::timers_manager& timers, const alarm_filter& filter) {
    auto rows = std::make_shared<std::vector<alarm_row>>();
    const wall_clock clock(timers);
    const auto add = [&](const std::string& uid, const context::alarm* stored) {
        if (filter.object && (!stored || stored->get_trobject_uid() != *filter.object))
            return;
        if (filter.zone && (!stored || stored->get_zone_uid() != *filter.zone))
            return;
        rows->push_back(row_of(uid, stored, controller, clock));
    };
    if (filter.undelivered) {
        for (const auto& [since, uid] : controller.get_unconfirmed()) {
            const auto stored = ctx.get_alarms().try_get(uid);
            add(uid, stored ? &*stored : nullptr);
        }
    } else {
        const auto each = [&](const context::alarm& alarm) {
            add(alarm.get_uid(), &alarm);
            return true;
        };
        if (filter.object)
            ctx.get_alarms().for_each_with_prefix(context::pair_prefix(*filter.object), each);
        else
            ctx.get_alarms().for_each(each);
    }
    return rows;
}

Json::Value alarm_json(const alarm_row& row) {
    Json::Value out(Json::objectValue);
    out["uid"] = row.uid;
    if (const auto& r = row.stored) {
        out["object"] = r->object;
        out["zone"] = r->zone;
        out["kind"] = kind_name(r->kind);
        out["level"] = r->level;
        out["name"] = r->name;
        out["wanted"] = r->wanted;
        out["since"] = iso(r->since);
    } else {
        out["wanted"] = Json::nullValue;
    }
    out["state"] = row.state
                       ? Json::Value(std::string(alarms_controller_impl::to_string(*row.state)))
                       : Json::Value(Json::nullValue);
    Json::Value confirmed(Json::objectValue);
    if (row.confirmed)
        for (const auto kind : {context::alarm_type::ki, context::alarm_type::ko})
            confirmed[kind_name(kind)] = std::string(alarms_controller_impl::to_string(
                (*row.confirmed)[kind == context::alarm_type::ki ? 0 : 1]));
    out["confirmed"] = confirmed;
    Json::Value in_flight(Json::nullValue);
    if (row.in_flight) {
        in_flight = Json::Value(Json::objectValue);
        in_flight["kind"] = kind_name(row.in_flight->kind);
        in_flight["state"] = row.in_flight->set ? "set" : "clear";
        in_flight["sent_at"] = iso(row.sent_at);
    }
    out["in_flight"] = in_flight;
    out["attempts"] = row.attempts;
    out["last_failure"] =
        row.last_failure.empty() ? Json::Value(Json::nullValue) : Json::Value(row.last_failure);
    out["undelivered_since"] =
        row.undelivered_since ? iso(*row.undelivered_since) : Json::Value(Json::nullValue);
    const char* waiting = wait_name(row.waiting);
    out["waiting"] = waiting ? Json::Value(waiting) : Json::Value(Json::nullValue);
    out["next_send"] = waiting ? iso(row.next_send) : Json::Value(Json::nullValue);
    return out;
}

std::string alarm_list_text(const std::vector<alarm_row>& rows) {
    Json::Value list(Json::arrayValue);
    for (const auto& row : rows)
        list.append(alarm_json(row));
    Json::Value out(Json::objectValue);
    out["alarms"] = std::move(list);
    return compact(out);
}

}  // namespace zentu::api
