#pragma once

#include <json/value.h>

#include <utility>

namespace zentu::libs::context_utils {

struct _json_answer_tag {};
struct _json_object_tag {};
struct _json_notify_tag {};

// Owns one JSON value; the tag keeps a whole REST answer, one element of its
// list and one stream message apart at compile time.
template <typename Tag>
class json_template {
public:
    json_template() = default;
    explicit json_template(Json::Value value) : m_json(std::move(value)) {}

    const Json::Value& get_json() const { return m_json; }
    Json::Value get_json() { return m_json; }

private:
    Json::Value m_json;
};

using json_answer = json_template<_json_answer_tag>;
using json_object = json_template<_json_object_tag>;
using json_notify = json_template<_json_notify_tag>;

}  // namespace zentu::libs::context_utils
