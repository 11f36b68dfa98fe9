#include "core/json_members.hpp"

#include <simdjson.h>

#include <algorithm>
#include <limits>
#include <new>

namespace zentu::libs::core::json {
namespace {

// Below the JSON library's default stack limit (1000): a document deeper than
// this is left to the library, which may refuse it.
constexpr std::size_t quick_max_depth = 256;
constexpr std::size_t quick_max_capacity = 1 << 20;

}  // namespace

members members::of(const Json::Value& object) {
    members read;
    if (!object.isObject())
        return read;
    for (auto it = object.begin(); it != object.end(); ++it) {
        member added;
        const char* name_end = nullptr;
        const char* name = it.memberName(&name_end);
        added.name = std::string_view(name, static_cast<std::size_t>(name_end - name));
        const Json::Value& value = *it;
        const char* begin = nullptr;
        const char* end = nullptr;
        if (value.getString(&begin, &end)) {
            added.type = kind::text;
            added.text = std::string_view(begin, static_cast<std::size_t>(end - begin));
        } else if (value.type() == Json::intValue ||
                   (value.type() == Json::uintValue && value.isInt64())) {
            added.type = kind::integer;
            added.integer = value.asInt64();
        }
        read.add(added);
    }
    return read;
}

void members::add(const member& added) {
    const auto same = std::find_if(m_members.begin(), m_members.end(),
                                   [&](const member& m) { return m.name == added.name; });
    if (same != m_members.end())
        *same = added;
    else
        m_members.push_back(added);
}

const members::member* members::find(std::string_view name) const noexcept {
    for (const auto& m : m_members)
        if (m.name == name)
            return &m;
    return nullptr;
}

std::string_view members::text_of(std::string_view name) const noexcept {
    const auto* found = find(name);
    return found && found->type == kind::text ? found->text : std::string_view();
}

class quick_reader::impl {
public:
    impl() : parser(quick_max_capacity) {
        // Grows with larger documents up to the maximum, keeping the depth.
        if (parser.allocate(4096, quick_max_depth) != simdjson::SUCCESS)
            throw std::bad_alloc();
    }
    simdjson::dom::parser parser;
};

quick_reader::quick_reader() : m_impl(std::make_unique<impl>()) {}
quick_reader::~quick_reader() = default;

std::optional<members> quick_reader::read_object(std::string_view text) {
    if (text.size() > quick_max_capacity)
        return std::nullopt;
    simdjson::dom::element root;
    if (m_impl->parser.parse(text.data(), text.size(), true).get(root) != simdjson::SUCCESS)
        return std::nullopt;
    simdjson::dom::object object;
    if (root.get_object().get(object) != simdjson::SUCCESS)
        return std::nullopt;
    members read;
    for (const auto field : object) {
        members::member added;
        added.name = field.key;
        switch (field.value.type()) {
            case simdjson::dom::element_type::STRING:
                added.type = members::kind::text;
                added.text = field.value.get_string().value_unsafe();
                break;
            case simdjson::dom::element_type::INT64:
                added.type = members::kind::integer;
                added.integer = field.value.get_int64().value_unsafe();
                break;
            case simdjson::dom::element_type::DOUBLE:
            case simdjson::dom::element_type::UINT64:
                // The library may read such a number otherwise ("-0" is an
                // integer to it, a double here): it decides.
                return std::nullopt;
            default:
                break;
        }
        read.add(added);
    }
    return read;
}

}  // namespace zentu::libs::core::json
