#pragma once

#include <json/value.h>

#include "core/json.hpp"

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zentu::platform_sim {

// Records in insertion order with lookup by key. The JSON text of each record
// is kept until the record may have changed (any non-const access), so the
// text of a large list costs only the records changed since. Not thread safe.
class keyed_list {
public:
    Json::Value* find(const std::string& key) {
        auto it = m_index.find(key);
        if (it == m_index.end())
            return nullptr;
        m_texts[it->second].reset();
        return &m_items[it->second].second;
    }
    const Json::Value* find(const std::string& key) const {
        auto it = m_index.find(key);
        return it == m_index.end() ? nullptr : &m_items[it->second].second;
    }
    // Replaces the record of a known key in place.
    Json::Value& put(const std::string& key, Json::Value record) {
        if (auto* existing = find(key))
            return *existing = std::move(record);
        m_index.emplace(key, m_items.size());
        m_items.emplace_back(key, std::move(record));
        m_texts.emplace_back();
        return m_items.back().second;
    }
    bool erase(const std::string& key) {
        auto it = m_index.find(key);
        if (it == m_index.end())
            return false;
        const auto position = it->second;
        m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(position));
        m_texts.erase(m_texts.begin() + static_cast<std::ptrdiff_t>(position));
        m_index.erase(it);
        for (auto& entry : m_index)
            if (entry.second > position)
                --entry.second;
        return true;
    }
    Json::Value to_array() const {
        Json::Value array(Json::arrayValue);
        for (const auto& item : m_items)
            array.append(item.second);
        return array;
    }
    std::vector<std::string> keys() const {
        std::vector<std::string> result;
        result.reserve(m_items.size());
        for (const auto& item : m_items)
            result.push_back(item.first);
        return result;
    }
    // The compact JSON array text of the records, as core::json::to_string
    // writes the array.
    std::string to_text() const {
        std::string text = "[";
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (!m_texts[i])
                m_texts[i] = libs::core::json::to_string(m_items[i].second);
            if (i > 0)
                text += ',';
            text += *m_texts[i];
        }
        text += ']';
        return text;
    }
    std::vector<std::pair<std::string, Json::Value>>& items() {
        for (auto& t : m_texts)
            t.reset();
        return m_items;
    }
    std::size_t size() const { return m_items.size(); }

private:
    std::vector<std::pair<std::string, Json::Value>> m_items;
    mutable std::vector<std::optional<std::string>> m_texts;
    std::unordered_map<std::string, std::size_t> m_index;
};

}  // namespace zentu::platform_sim
