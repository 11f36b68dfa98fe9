#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>

#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::parsers::detail {

// Readers whose errors carry a fixed text instead of the generic
// "\"<key>\" is not <type>!" form.
std::string get_string(const Json::Value& json, const char* key, const char* error);
int get_int(const Json::Value& json, const char* key, const char* error);
// The envelope's "ts" and "ms", both integers, as a checked time: seconds and
// milliseconds out of range raise "context-utils: envelope time is invalid: <reason>".
timestamp get_envelope_time(const Json::Value& notify);
// Each part alone, with the same checks, for views that hand out the two parts.
std::uint32_t get_envelope_seconds(const Json::Value& notify);
std::uint32_t get_envelope_milliseconds(const Json::Value& notify);
// A time made of parts read from a record; the same checks and error text form,
// naming `what` instead of "envelope time".
timestamp checked_time(std::int64_t seconds, std::int64_t milliseconds, const char* what);

}  // namespace zentu::libs::context_utils::parsers::detail
