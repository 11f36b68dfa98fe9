#include <stdexcept>

#include "context_utils/parsers/parser_utils.hpp"
#include "fixed_text_readers.hpp"
#include "parsers/alarm_impl.hpp"
#include "record_time.hpp"

namespace zentu::libs::context_utils::parsers {

namespace {

// Without an envelope the record's own "ts" is an ISO time.
timestamp record_time(const Json::Value& json) {
    const std::string text = detail::get_string(json, "ts", "context-utils: ts is not a string!");
    return parser_utils::read_iso8601(text, "ts");
}

const Json::Value& additional_info(const Json::Value& json) {
    return parser_utils::member(json, "additional_info");
}

}  // namespace

std::string alarm_impl::get_uid() const {
    return detail::get_string(m_json_value, "uid", "context-utils: uid is not a string!");
}

std::string alarm_impl::get_mac_address() const {
    return detail::get_string(m_json_value, "mac_address",
                              "context-utils: mac_address is not a string!");
}

std::string alarm_impl::get_alarm_name() const {
    return detail::get_string(m_json_value, "alarm_name",
                              "context-utils: alarm_name is not a string!");
}

std::string alarm_impl::get_text() const {
    return detail::get_string(additional_info(m_json_value), "text",
                              "context-utils: additional_info.text is not a string!");
}

std::optional<unsigned> alarm_impl::get_zone_alarm_level() const {
    auto level = parser_utils::try_get_int(additional_info(m_json_value), "zone_alarm_level");
    if (!level)
        return std::nullopt;
    return static_cast<unsigned>(*level);
}

std::optional<std::string> alarm_impl::get_zone_violation_type() const {
    return parser_utils::try_get_string(additional_info(m_json_value), "zone_violation_type");
}

std::optional<std::string> alarm_impl::get_zone_uid() const {
    return parser_utils::try_get_string(additional_info(m_json_value), "zone_uid");
}

std::uint32_t alarm_impl::get_ts() const {
    if (m_json_notify)
        return detail::get_envelope_seconds(m_json_notify->get());
    return detail::seconds_of(record_time(m_json_value), "ts");
}

std::uint32_t alarm_impl::get_ms() const {
    if (m_json_notify)
        return detail::get_envelope_milliseconds(m_json_notify->get());
    return record_time(m_json_value).get_ms();
}

std::optional<std::string> alarm_impl::get_sublocation_uid() const {
    return parser_utils::try_get_string(m_json_value, "sublocation_uid");
}

std::optional<int> alarm_impl::get_x() const {
    return parser_utils::try_get_int(m_json_value, "x");
}

std::optional<int> alarm_impl::get_y() const {
    return parser_utils::try_get_int(m_json_value, "y");
}

std::optional<int> alarm_impl::get_z() const {
    return parser_utils::try_get_int(m_json_value, "z");
}

std::string alarm_impl::get_obj_uid() const {
    return detail::get_string(m_json_value, "obj_uid", "context-utils: obj_uid is not a string!");
}

alarm::ptr alarm::make_view(const Json::Value& element) {
    return std::make_unique<alarm_impl>(element);
}

alarm::ptr alarm::make_view(const Json::Value& record, const Json::Value& notify) {
    return std::make_unique<alarm_impl>(record, notify);
}

}  // namespace zentu::libs::context_utils::parsers
