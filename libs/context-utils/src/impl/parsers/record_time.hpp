#pragma once

#include <json/value.h>

#include <cstdint>
#include <functional>
#include <optional>

namespace zentu::libs::context_utils::parsers::detail {

// Seconds and milliseconds of a zone or trackable object: the notification's
// "ts"/"ms" when there is an envelope, else the record's "updated_at".
std::uint32_t record_ts(const Json::Value& json,
                        const std::optional<std::reference_wrapper<const Json::Value>>& notify);
std::uint32_t record_ms(const Json::Value& json,
                        const std::optional<std::reference_wrapper<const Json::Value>>& notify);

}  // namespace zentu::libs::context_utils::parsers::detail
