#pragma once

#include <json/reader.h>
#include <json/value.h>

#include <memory>
#include <optional>
#include <vector>

#include <string>
#include <string_view>

namespace zentu::libs::core::json {

struct parse_result {
    Json::Value result;
    bool ok = false;
    std::string error;
};

// Never throws for malformed input; comments are accepted and dropped.
parse_result try_parse(std::string_view text);

// A parser kept for many texts (making one costs as much as parsing a short
// message); parses as try_parse does. One per thread: it is not thread safe.
class reader {
public:
    reader();
    ~reader();
    reader(const reader&) = delete;
    reader& operator=(const reader&) = delete;

    parse_result parse(std::string_view text);

private:
    std::unique_ptr<Json::CharReader> m_reader;
};
// The texts of the elements of the array that is member `name` of the
// top-level object in `text`, found without building the document, so a large
// list can be parsed one element at a time. Only the structure is checked
// (strings, brackets, separators), not the elements themselves; nothing when
// the text is not such a document, or names the member in escaped form.
std::optional<std::vector<std::string_view>> array_member_elements(std::string_view text,
                                                                   std::string_view name);

// Compact text: no line breaks, no indentation.
std::string to_string(const Json::Value& value);

}  // namespace zentu::libs::core::json
