#pragma once

#include <json/value.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace zentu::libs::core::json {

// The top-level members of a JSON object, as views: each member's name, its
// JSON type as the record readers tell them apart, and its text or integer.
// Of two members with one name the later counts, as the JSON library reads
// them. Views: valid while the document they were read from lives.
class members {
public:
    // integer: a JSON integer within the range of std::int64_t; other: any
    // other number, true, false, null, an array or an object.
    enum class kind : std::uint8_t { text, integer, other };
    struct member {
        std::string_view name;
        kind type = kind::other;
        std::string_view text;
        std::int64_t integer = 0;
    };

    // The members of an object value (none for any other value).
    static members of(const Json::Value& object);

    void add(const member& added);
    // Nothing when there is no member of that name.
    const member* find(std::string_view name) const noexcept;
    std::size_t size() const noexcept { return m_members.size(); }
    // Its text when the member is a text, else empty.
    std::string_view text_of(std::string_view name) const noexcept;

private:
    // Few members per message: a linear search beats a map.
    std::vector<member> m_members;
};

// Reads the top level of small JSON objects quickly (simdjson), for the
// messages that come by the thousand. It answers only where it reads exactly
// what the JSON library (try_parse) reads; for anything else (not an object,
// malformed or merely lenient JSON such as comments, a number that is not a
// 64-bit integer, text that is not UTF-8, a deep document) it answers nothing
// and the library decides, with its own errors. One per thread; the members
// it returns are valid until its next read.
class quick_reader {
public:
    quick_reader();
    ~quick_reader();
    quick_reader(const quick_reader&) = delete;
    quick_reader& operator=(const quick_reader&) = delete;

    std::optional<members> read_object(std::string_view text);

private:
    class impl;
    std::unique_ptr<impl> m_impl;
};

}  // namespace zentu::libs::core::json
