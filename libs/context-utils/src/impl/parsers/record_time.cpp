#include "record_time.hpp"

#include "context_utils/parsers/parser_utils.hpp"

namespace zentu::libs::context_utils::parsers::detail {

namespace {

std::int64_t updated_at(const Json::Value& json) {
    return parser_utils::get_iso8601_timestamp(json, "updated_at").get_time_since_epoch().count();
}

}  // namespace

std::uint32_t record_ts(const Json::Value& json,
                        const std::optional<std::reference_wrapper<const Json::Value>>& notify) {
    if (notify)
        return parser_utils::get_uint(notify->get(), "ts");
    return static_cast<std::uint32_t>(updated_at(json) / 1000);
}

std::uint32_t record_ms(const Json::Value& json,
                        const std::optional<std::reference_wrapper<const Json::Value>>& notify) {
    if (notify)
        return parser_utils::get_uint(notify->get(), "ms");
    return static_cast<std::uint32_t>(updated_at(json) % 1000);
}

}  // namespace zentu::libs::context_utils::parsers::detail
