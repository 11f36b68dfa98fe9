#pragma once

#include <json/value.h>

#include <optional>

#include "objects/converters.hpp"

namespace zentu::libs::context_utils::objects {

// A field converted on first access and kept. A conversion that throws keeps
// nothing, so the next access throws again. Not thread safe: const access
// fills the cache.
template <typename C>
class lazy_value {
public:
    using value_type = typename C::value_type;

    const value_type& get(const Json::Value& json, const char* key,
                          const char* name = nullptr) const {
        if (!m_value)
            m_value.emplace(convert_member<C>(json, key, name != nullptr ? name : key));
        return *m_value;
    }

    bool has_value() const noexcept { return m_value.has_value(); }

private:
    mutable std::optional<value_type> m_value;
};

}  // namespace zentu::libs::context_utils::objects
