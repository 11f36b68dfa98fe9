#include <stdexcept>

#include "context_utils/parsers/parser_utils.hpp"
#include "fixed_text_readers.hpp"
#include "parsers/trackable_object_association_impl.hpp"

namespace zentu::libs::context_utils::parsers {

namespace {

constexpr const char* not_removed = "9999-12-31T23:59:59.000Z";

}  // namespace

timestamp trackable_object_association_impl::get_ts() const {
    return detail::get_envelope_time(m_json_notify);
}

std::string trackable_object_association_impl::get_project_uid() const {
    return detail::get_string(m_json_value, "project_uid",
                              "context-utils: project_uid is not a string!");
}

std::string trackable_object_association_impl::get_mac_address() const {
    return detail::get_string(m_json_value, "mac_address",
                              "context-utils: mac_address is not a string!");
}

std::string trackable_object_association_impl::get_trackable_object_uid() const {
    return detail::get_string(m_json_value, "trob_uid", "context-utils: trob_uid is not a string!");
}

timestamp trackable_object_association_impl::get_created_at() const {
    const std::string text = detail::get_string(m_json_value, "created_at",
                                                "context-utils: created_at is not a string!");
    return parser_utils::read_iso8601(text, "created_at");
}

std::optional<timestamp> trackable_object_association_impl::get_removed_at() const {
    const std::string text = detail::get_string(m_json_value, "removed_at",
                                                "context-utils: removed_at is not a string!");
    if (text == not_removed)
        return std::nullopt;
    return parser_utils::read_iso8601(text, "removed_at");
}

trackable_object_association::ptr trackable_object_association::make_view(
    const Json::Value& record, const Json::Value& notify) {
    return std::make_unique<trackable_object_association_impl>(record, notify);
}

}  // namespace zentu::libs::context_utils::parsers
