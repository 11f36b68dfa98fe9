#include "context_utils/context_updater.hpp"
#include "context_utils/protocol.hpp"

#include <cctype>
#include <optional>

#include "core/exception.hpp"
#include "core/json.hpp"

namespace zentu::libs::context_utils {

namespace {

Json::Value parse_message(const std::string& text) {
    auto parsed = core::json::try_parse(text);
    if (!parsed.ok)
        ZENTU_THROW("parse_error: " + parsed.error);
    return std::move(parsed.result);
}

// A message that is not an object has no members rather than failing the
// JSON library's lookup.
std::string get_text_member(const Json::Value& json, const char* key) {
    const Json::Value& value = json.isObject() ? json[key] : Json::Value::nullSingleton();
    if (!value.isString())
        ZENTU_THROW(std::string("\"") + key + "\" is not a string!");
    return value.asString();
}

template <typename F>
std::string transform(std::string text, F f) {
    for (char& c : text)
        c = static_cast<char>(f(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

context_updater::callback* context_updater::select(const object_info& info, action a) {
    auto pick = [a](callback& created, callback& updated, callback& deleted) {
        switch (a) {
            case action::created:
                return &created;
            case action::updated:
                return &updated;
            case action::deleted:
                return &deleted;
        }
        return static_cast<callback*>(nullptr);
    };
    switch (info.m_type) {
        case object_type::zone:
            return pick(m_zone_creating_callback, m_zone_updating_callback,
                        m_zone_deleting_callback);
        case object_type::trackable_object:
            return pick(m_trackable_object_creating_callback, m_trackable_object_updating_callback,
                        m_trackable_object_deleting_callback);
        case object_type::win_anchor:
            return pick(m_win_anchor_creating_callback, m_win_anchor_updating_callback,
                        m_win_anchor_deleting_callback);
        case object_type::sublocation:
            return pick(m_sublocation_creating_callback, m_sublocation_updating_callback,
                        m_sublocation_deleting_callback);
        case object_type::node:
            return pick(m_node_creating_callback, m_node_updating_callback,
                        m_node_deleting_callback);
        case object_type::alarm:
        case object_type::_count:
            break;
    }
    return nullptr;
}

void context_updater::on_creating(const object_info& info, callback cb) {
    if (auto* slot = select(info, action::created))
        *slot = std::move(cb);
}

void context_updater::on_updating(const object_info& info, callback cb) {
    if (auto* slot = select(info, action::updated))
        *slot = std::move(cb);
}

void context_updater::on_deleting(const object_info& info, callback cb) {
    if (auto* slot = select(info, action::deleted))
        *slot = std::move(cb);
}

context_updater::callback* context_updater::select(const std::string& object,
                                                   const std::string& action_text) {
    std::optional<action> a;
    if (action_text == protocol::created)
        a = action::created;
    else if (action_text == protocol::updated)
        a = action::updated;
    else if (action_text == protocol::deleted)
        a = action::deleted;
    if (!a)
        return nullptr;

    if (object == protocol::groups_object)
        return *a == action::updated ? &m_trackable_object_groups_updating_callback : nullptr;
    if (object == protocol::association_object) {
        if (*a == action::created)
            return &m_trackable_object_association_creating_callback;
        if (*a == action::updated)
            return &m_trackable_object_association_updating_callback;
        return nullptr;
    }
    for (const object_info* info :
         {&object_infos::zone, &object_infos::trackable_object, &object_infos::sublocation,
          &object_infos::win_anchor, &object_infos::node}) {
        if (object == info->m_notify_json_name)
            return select(*info, *a);
    }
    return nullptr;
}

void context_updater::handle_notify(const std::string& text) {
    Json::Value message = parse_message(text);
    const std::string object = transform(get_text_member(message, "object"), ::toupper);
    const std::string action_text = transform(get_text_member(message, "action"), ::tolower);
    const callback* slot = select(object, action_text);
    if (slot == nullptr || !*slot)
        return;
    // A copy, so that a callback may register another one for its own slot.
    const callback cb = *slot;
    cb(json_template<_json_notify_tag>(std::move(message)));
}

void context_updater::handle_pos(const std::string& text) {
    Json::Value message = parse_message(text);
    if (!m_pos_callback)
        return;
    const callback cb = m_pos_callback;
    cb(json_template<_json_notify_tag>(std::move(message)));
}

}  // namespace zentu::libs::context_utils
