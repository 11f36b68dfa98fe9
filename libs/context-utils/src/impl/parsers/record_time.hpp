#pragma once

#include <json/value.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::parsers::detail {

using envelope = std::optional<std::reference_wrapper<const Json::Value>>;

// Seconds and milliseconds of a zone or trackable object: the notification's
// "ts" and "ms" (each an uint, ms at most 999) when there is an envelope, else
// the record's "updated_at". Each reads only its own part; every error is a
// std::logic_error naming the field.
std::uint32_t record_ts(const Json::Value& json, const envelope& notify);
std::uint32_t record_ms(const Json::Value& json, const envelope& notify);

// Seconds of a time handed out as 32 bits, which end at 2106-02-07T06:28:15Z;
// a later time raises "context-utils: \"<name>\" is past 2106-02-07T06:28:15Z!"
// rather than wrapping.
std::uint32_t seconds_of(const timestamp& time, const char* name);

}  // namespace zentu::libs::context_utils::parsers::detail
