#include "intake/context_intake.hpp"
#include "context/pair_uid.hpp"
#include "context/protocol.hpp"
#include "context/record_fields.hpp"

#include <json/value.h>

#include "context_utils/object_info.hpp"
#include "context_utils/parsers/alarm.hpp"
#include "context_utils/parsers/trackable_object.hpp"
#include "context_utils/parsers/zone.hpp"
#include "core/enum_from_string.hpp"
#include "ops/metrics.hpp"

namespace zentu {
namespace {

using libs::core::timestamp;
using infos = libs::context_utils::object_infos;
using list_element = libs::context_utils::json_template<libs::context_utils::_json_object_tag>;
namespace parsers = libs::context_utils::parsers;

}  // namespace

context_intake::context_intake(context::writable_context& context,
                               libs::core::http::client& http_client,
                               libs::core::events_loop& events_loop,
                               const libs::core::logger& logger, ops::service_metrics& metrics)
    : m_context(context),
      m_synchronizer(
          libs::context_utils::context_synchronizer::create(http_client, events_loop, logger)),
      m_lists(http_client, events_loop, logger),
      m_logger(logger),
      m_metrics(metrics) {
    register_callbacks();
}

void context_intake::register_callbacks() {
    const auto count = [this](std::string_view object) { m_metrics.notification_handled(object); };
    m_synchronizer->on_zone_creating([this, count](parsers::zone& record) {
        count("ZONE");
        ignore_errors([&] { add_zone(record); });
    });
    m_synchronizer->on_zone_updating([this, count](parsers::zone& record) {
        count("ZONE");
        ignore_errors([&] { update_zone(record); });
    });
    m_synchronizer->on_zone_deleting([this, count](const std::string& uid, timestamp ts) {
        count("ZONE");
        m_context.take_zones().remove(uid, ts);
        remove_zone_events(
            {}, [&](const context::zone_event& e) { return e.get_zone_uid() == uid; }, ts);
    });
    m_synchronizer->on_trackable_object_creating([this, count](parsers::trackable_object& record) {
        count("TRACKABLE_OBJECT");
        ignore_errors([&] { add_trackable_object(record); });
    });
    m_synchronizer->on_trackable_object_updating([this, count](parsers::trackable_object& record) {
        count("TRACKABLE_OBJECT");
        ignore_errors([&] { update_trackable_object(record); });
    });
    m_synchronizer->on_trackable_object_deleting(
        [this, count](const std::string& uid, timestamp ts) {
            count("TRACKABLE_OBJECT");
            m_context.take_trackable_objects().remove(uid, ts);
            remove_zone_events(
                context::pair_prefix(uid),
                [&](const context::zone_event& e) { return e.get_obj_uid() == uid; }, ts);
        });
    m_synchronizer->on_trackable_object_groups_updating(
        [this, count](parsers::trackable_object_groups& record) {
            count("TRACKABLE_OBJECT_GROUPS");
            update_groups(record);
        });
}

void context_intake::load_trackable_object(const Json::Value& element) {
    ignore_errors([&] { add_trackable_object(*parsers::trackable_object::make_view(element)); });
}

void context_intake::load_zone(const Json::Value& element) {
    ignore_errors([&] { add_zone(*parsers::zone::make_view(element)); });
}

void context_intake::load_alarm(const Json::Value& element) {
    ignore_errors([&] { add_alarm(*parsers::alarm::make_view(element)); });
}

void context_intake::load_trackable_objects(const libs::context_utils::json_answer& answer) {
    m_lists.for_each_object(infos::trackable_object, answer, [&](const list_element& element) {
        load_trackable_object(element.get_json());
        return true;
    });
}

void context_intake::load_zones(const libs::context_utils::json_answer& answer) {
    const context::keep_in_index::deferred_counts counting(m_context.take_keep_in_index());
    m_lists.for_each_object(infos::zone, answer, [&](const list_element& element) {
        load_zone(element.get_json());
        return true;
    });
}

void context_intake::load_alarms(const libs::context_utils::json_answer& answer) {
    m_lists.for_each_object(infos::alarm, answer, [&](const list_element& element) {
        load_alarm(element.get_json());
        return true;
    });
}

template <typename Add>
void context_intake::load_elements(const libs::context_utils::object_info& info,
                                   std::string_view body, Add&& add) {
    const auto elements = libs::core::json::array_member_elements(body, info.m_rest_json_name);
    if (!elements) {
        // Not the usual shape: parsed whole, for the errors it gives.
        auto parsed = m_reader.parse(body);
        if (!parsed.ok)
            ZENTU_THROW("parse error: " + parsed.error);
        const libs::context_utils::json_answer answer(std::move(parsed.result));
        m_lists.for_each_object(info, answer, [&](const list_element& element) {
            add(element.get_json());
            return true;
        });
        return;
    }
    for (const auto text : *elements) {
        const auto parsed = m_reader.parse(text);
        if (!parsed.ok)
            ZENTU_THROW("parse error: " + parsed.error);
        add(parsed.result);
    }
}

void context_intake::load_trackable_objects(std::string_view body) {
    load_elements(infos::trackable_object, body,
                  [&](const Json::Value& element) { load_trackable_object(element); });
}

void context_intake::load_zones(std::string_view body) {
    const context::keep_in_index::deferred_counts counting(m_context.take_keep_in_index());
    load_elements(infos::zone, body, [&](const Json::Value& element) { load_zone(element); });
}

void context_intake::load_alarms(std::string_view body) {
    load_elements(infos::alarm, body, [&](const Json::Value& element) { load_alarm(element); });
}

void context_intake::handle_notify(std::string_view body) {
    try {
        m_synchronizer->handle_notify(std::string(body));
    } catch (const libs::core::exception&) {
        // The message itself could not be read (a failing record is
        // reported by the callbacks); the loop logs it.
        m_metrics.malformed_message("notify");
        throw;
    }
}

template <typename Match>
void context_intake::remove_zone_events(const std::string& prefix, Match&& match, timestamp ts) {
    std::vector<std::string> uids;
    m_context.get_zone_events().for_each_with_prefix(prefix, [&](const context::zone_event& e) {
        if (match(e))
            uids.push_back(e.get_uid());
        return true;
    });
    for (const auto& uid : uids)
        m_context.take_zone_events().remove(uid, ts);
}

template <typename F>
void context_intake::ignore_errors(F&& f) {
    try {
        f();
    } catch (...) {
        m_logger.log_exception();
    }
}

// ---- zones ----------------------------------------------------------------------

void context_intake::add_zone(const zone_record& record) {
    auto zone = schema::make(schema::zone_fields, record);
    const auto ts = zone.get_ts();
    const std::string uid = zone.get_uid();
    if (m_context.get_zones().is_exists(uid)) {
        m_context.take_zones().add(std::move(zone), ts);
        return;
    }

    // The objects the platform lists inside the zone; each bad entry is
    // logged and skipped.
    std::vector<context::zone_event> entries;
    record.for_each_trackable_in_zone([&](const parsers::zone::trackable_in_zone& entry) {
        ignore_errors([&] {
            const auto obj_uid = entry.get_uid();
            context::zone_event inside(context::pair_uid(obj_uid, uid));
            inside.set_ts(entry.get_time());
            inside.set_x(entry.get_x());
            inside.set_y(entry.get_y());
            inside.set_z(entry.get_z());
            inside.set_obj_uid(obj_uid);
            inside.set_project_uid(record.get_project_uid());
            inside.set_zone_uid(uid);
            inside.set_zone_type(zone.get_type());
            inside.set_action(std::string(protocol::enter));
            entries.push_back(std::move(inside));
        });
        return true;
    });
    if (record.has_trackables_in_zone()) {
        std::set<std::string> inside;
        for (const auto& entry : entries)
            inside.insert(entry.get_obj_uid());
        m_context.take_keep_in_index().expect_occupancy(uid, std::move(inside));
    }
    const auto& added = m_context.take_zones().add(std::move(zone), ts);
    const auto sublocation = m_context.get_sublocation_uid(added).value_or(std::string());
    for (auto& entry : entries) {
        entry.set_sublocation_uid(sublocation);
        const auto time = entry.get_ts();
        m_context.take_zone_events().add(std::move(entry), time);
    }
}

void context_intake::update_zone(const zone_record& record) {
    auto values = schema::read(schema::zone_fields, record, [&] { m_logger.log_exception(); });
    const auto ts = schema::record_time(record.get_ts(), record.get_ms());
    const auto uid = record.get_uid();
    if (const auto stored = m_context.get_zones().try_get(uid);
        stored && !schema::differs(schema::zone_fields, values, *stored))
        return;

    auto handle = m_context.take_zones().try_get(uid, ts);
    if (!handle) {
        add_zone(record);
        return;
    }
    schema::assign(schema::zone_fields, std::move(values), **handle, schema::assignment::update);
    handle.reset();
}

// ---- trackable objects ----------------------------------------------------------

void context_intake::add_trackable_object(const object_record& record) {
    auto object = schema::make(schema::object_fields, record);
    const auto ts = object.get_ts();
    m_context.take_trackable_objects().add(std::move(object), ts);
}

void context_intake::update_trackable_object(const object_record& record) {
    const auto ts = schema::record_time(record.get_ts(), record.get_ms());
    auto handle = m_context.take_trackable_objects().try_get(record.get_uid(), ts);
    if (!handle) {
        add_trackable_object(record);
        return;
    }
    schema::assign(schema::object_fields, schema::read(schema::object_fields, record), **handle,
                   schema::assignment::update);
    handle.reset();
}

void context_intake::update_groups(const parsers::trackable_object_groups& record) {
    const auto ts = record.get_ts();
    auto& objects = m_context.take_trackable_objects();
    record.for_each_added_group([&](const parsers::trackable_object_groups::group& group) {
        if (auto handle = objects.try_get(group.get_trackable_object_uid(), ts)) {
            (*handle)->get_groups().insert(group.get_uid());
            handle.reset();
        }
        return true;
    });
    record.for_each_removed_group([&](const parsers::trackable_object_groups::group& group) {
        if (auto handle = objects.try_get(group.get_trackable_object_uid(), ts)) {
            (*handle)->get_groups().erase(group.get_uid());
            handle.reset();
        }
        return true;
    });
}

// ---- alarms --------------------------------------------------------------------

void context_intake::add_alarm(const parsers::alarm& record) {
    if (!record.get_zone_uid() || !record.get_zone_alarm_level())
        return;
    auto alarm = schema::make(schema::alarm_fields, record);
    const auto ts = alarm.get_timestamp();
    m_context.take_alarms().add(std::move(alarm), ts);
}

// ---- zone events from the stream ---------------------------------------------------

void context_intake::handle_zone_event(std::string_view body) {
    // The quick reader takes the usual messages; anything it is not sure to
    // read as the JSON library does goes to the library, errors included.
    if (const auto message = m_quick_reader.read_object(body)) {
        handle_zone_event_members(*message);
        return;
    }
    auto parse_result = m_reader.parse(body);
    if (!parse_result.ok)
        m_metrics.malformed_message("zone_event");
    ZENTU_CHECK(parse_result.ok);
    if (!parse_result.result.isObject()) {
        m_metrics.malformed_message("zone_event");
        return;
    }
    handle_zone_event_members(libs::core::json::members::of(parse_result.result));
}

void context_intake::handle_zone_event_members(const libs::core::json::members& message) {
    std::optional<context::zone_event> event;
    try {
        event = schema::make(schema::zone_event_fields, message);
    } catch (const schema::malformed_member&) {
    } catch (const libs::core::invalid_time&) {
        // Out of range: it would wrap or make a nonsense alarm time.
        m_metrics.malformed_message("zone_event");
        if (const auto verdict = m_time_failures.admit("zone_event time"); verdict.write)
            m_logger.error("zone_event of %1% in %2% dropped: its time is out of range%3%") %
                message.text_of("obj_uid") % message.text_of("zone_uid") % verdict.note();
        return;
    }
    if (!event) {
        m_metrics.malformed_message("zone_event");
        return;
    }
    m_metrics.zone_event_handled(event->get_action());
    apply_zone_event(std::move(*event));
}

void context_intake::apply_zone_event(context::zone_event event) {
    const timestamp ts = event.get_ts();
    if (const auto object = m_context.get_trackable_objects().try_get(event.get_obj_uid());
        object && object->get_sublocation_uid() != event.get_sublocation_uid()) {
        if (auto handle = m_context.take_trackable_objects().try_get(event.get_obj_uid(), ts)) {
            (*handle)->set_sublocation_uid(event.get_sublocation_uid());
            handle.reset();
        }
    }

    // The pair's last movement replaces the one before, whole.
    if (auto handle = m_context.take_zone_events().try_get(event.get_uid(), ts)) {
        **handle = std::move(event);
        handle.reset();
        return;
    }
    m_context.take_zone_events().add(std::move(event), ts);
}

}  // namespace zentu
