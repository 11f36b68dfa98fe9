#include "context_utils/parsers/parser_utils.hpp"
#include "core/exception.hpp"
#include "parsers/pos_impl.hpp"

namespace zentu::libs::context_utils::parsers {

namespace {

std::string_view string_view_of(const Json::Value& value) {
    const char* begin = nullptr;
    const char* end = nullptr;
    value.getString(&begin, &end);
    return std::string_view(begin, static_cast<std::size_t>(end - begin));
}

const Json::Value& data(const Json::Value& json) {
    return parser_utils::member(json, "data");
}

}  // namespace

std::string_view pos_impl::get_trackable_uid() const {
    const Json::Value& value = parser_utils::member(m_json_value, "tk_uid");
    if (!value.isString())
        ZENTU_THROW("context-utils: pos: tk_uid is not a string!");
    return string_view_of(value);
}

timestamp pos_impl::get_ts() const {
    const Json::Value& value = parser_utils::member(m_json_value, "ts");
    if (!value.isString())
        ZENTU_THROW("context-utils: pos: ts is not a string!");
    return timestamp(string_view_of(value));
}

int pos_impl::get_x() const {
    const Json::Value& value = parser_utils::member(data(m_json_value), "x");
    const auto number = parser_utils::to_int(value);
    if (!number)
        ZENTU_THROW("context-utils: pos: data.x is not a number!");
    return *number;
}

int pos_impl::get_y() const {
    const Json::Value& value = parser_utils::member(data(m_json_value), "y");
    const auto number = parser_utils::to_int(value);
    if (!number)
        ZENTU_THROW("context-utils: pos: data.y is not a number!");
    return *number;
}

int pos_impl::get_z() const {
    const Json::Value& value = parser_utils::member(data(m_json_value), "z");
    const auto number = parser_utils::to_int(value);
    if (!number)
        ZENTU_THROW("context-utils: pos: data.z is not a number!");
    return *number;
}

std::string_view pos_impl::get_type() const {
    const Json::Value& value = parser_utils::member(data(m_json_value), "type");
    if (!value.isString())
        ZENTU_THROW("context-utils: pos: data.type is not a string!");
    return string_view_of(value);
}

std::string_view pos_impl::get_sublocation_uid() const {
    const Json::Value& value = parser_utils::member(data(m_json_value), "sl_uid");
    if (!value.isString())
        ZENTU_THROW("context-utils: pos: data.sl_uid is not a string!");
    return string_view_of(value);
}

unsigned pos_impl::get_fom() const {
    const Json::Value& value = parser_utils::member(data(m_json_value), "fom");
    if (!value.isUInt())
        ZENTU_THROW("context-utils: pos: data.fom is not an uint!");
    return value.asUInt();
}

std::string_view pos_impl::get_mac() const {
    const Json::Value& value = parser_utils::member(data(m_json_value), "mac");
    if (!value.isString())
        ZENTU_THROW("context-utils: pos: data.mac is not a string!");
    return string_view_of(value);
}

pos::ptr pos::make_view(const Json::Value& message) {
    return std::make_unique<pos_impl>(message);
}

}  // namespace zentu::libs::context_utils::parsers
