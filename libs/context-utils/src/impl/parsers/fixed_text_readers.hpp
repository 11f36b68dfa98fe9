#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>

namespace zentu::libs::context_utils::parsers::detail {

// Readers whose errors carry a fixed text instead of the generic
// "\"<key>\" is not <type>!" form.
std::string get_string(const Json::Value& json, const char* key, const char* error);
int get_int(const Json::Value& json, const char* key, const char* error);
// Envelope "ts" × 1000 + "ms", both integers.
std::int64_t get_envelope_milliseconds(const Json::Value& notify);

}  // namespace zentu::libs::context_utils::parsers::detail
