#include "record_time.hpp"

#include <limits>
#include <stdexcept>
#include <string>

#include "context_utils/parsers/parser_utils.hpp"
#include "fixed_text_readers.hpp"

namespace zentu::libs::context_utils::parsers::detail {

namespace {

timestamp updated_at(const Json::Value& json) {
    return parser_utils::get_iso8601_timestamp(json, "updated_at");
}

}  // namespace

std::uint32_t record_ts(const Json::Value& json, const envelope& notify) {
    if (notify)
        return parser_utils::get_uint(notify->get(), "ts");
    return seconds_of(updated_at(json), "updated_at");
}

std::uint32_t record_ms(const Json::Value& json, const envelope& notify) {
    if (notify)
        return checked_time(0, parser_utils::get_uint(notify->get(), "ms"), "envelope time")
            .get_ms();
    return updated_at(json).get_ms();
}

std::uint32_t seconds_of(const timestamp& time, const char* name) {
    const auto seconds = time.get_ts();
    if (seconds < 0 || seconds > std::numeric_limits<std::uint32_t>::max())
        throw std::logic_error(std::string("context-utils: \"") + name +
                               "\" is past 2106-02-07T06:28:15Z!");
    return static_cast<std::uint32_t>(seconds);
}

}  // namespace zentu::libs::context_utils::parsers::detail
