#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zentu {

// The fields of a Redis hash, names and values, in one string: a hash of the
// mirror costs one allocation to build, keep and compare instead of two per
// field. Each text is stored as its 4-byte length and its bytes, so any value
// (blanks, NULs) goes through unchanged.
class packed_fields {
public:
    packed_fields& add(std::string_view name, std::string_view value) {
        put(name);
        put(value);
        return *this;
    }

    // Calls f(name, value) for each field, in the order they were added.
    template <typename F>
    void for_each(F&& f) const {
        std::size_t at = 0;
        while (at < m_data.size()) {
            const auto name = take(at);
            const auto value = take(at);
            f(name, value);
        }
    }

    // The value of a field; empty when there is none.
    std::string_view find(std::string_view name) const {
        std::string_view found;
        for_each([&](std::string_view n, std::string_view v) {
            if (n == name && found.data() == nullptr)
                found = v;
        });
        return found;
    }

    bool empty() const noexcept { return m_data.empty(); }
    bool operator==(const packed_fields& other) const noexcept { return m_data == other.m_data; }
    bool operator!=(const packed_fields& other) const noexcept { return !(*this == other); }

private:
    void put(std::string_view text) {
        const auto size = static_cast<std::uint32_t>(text.size());
        char length[sizeof size];
        std::memcpy(length, &size, sizeof size);
        m_data.append(length, sizeof size).append(text);
    }
    std::string_view take(std::size_t& at) const {
        std::uint32_t size = 0;
        std::memcpy(&size, m_data.data() + at, sizeof size);
        at += sizeof size;
        const std::string_view text(m_data.data() + at, size);
        at += size;
        return text;
    }

    std::string m_data;
};

}  // namespace zentu
