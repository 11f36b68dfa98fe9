#pragma once

#include <functional>
#include <string>

#include "context_utils/json_template.hpp"
#include "context_utils/object_info.hpp"

namespace zentu::libs::context_utils {

// Parses notification and position messages and routes each to the one
// callback registered for its kind and action. Used on the events-loop thread
// only; errors from callbacks propagate to the caller of handle_*.
class context_updater {
public:
    // Receives a copy of the whole parsed message.
    using callback = std::function<void(const json_template<_json_notify_tag>&)>;

    void on_zone_creating(callback cb) { m_zone_creating_callback = std::move(cb); }
    void on_zone_updating(callback cb) { m_zone_updating_callback = std::move(cb); }
    void on_zone_deleting(callback cb) { m_zone_deleting_callback = std::move(cb); }
    void on_trackable_object_creating(callback cb) {
        m_trackable_object_creating_callback = std::move(cb);
    }
    void on_trackable_object_updating(callback cb) {
        m_trackable_object_updating_callback = std::move(cb);
    }
    void on_trackable_object_deleting(callback cb) {
        m_trackable_object_deleting_callback = std::move(cb);
    }
    void on_sublocation_creating(callback cb) { m_sublocation_creating_callback = std::move(cb); }
    void on_sublocation_updating(callback cb) { m_sublocation_updating_callback = std::move(cb); }
    void on_sublocation_deleting(callback cb) { m_sublocation_deleting_callback = std::move(cb); }
    void on_win_anchor_creating(callback cb) { m_win_anchor_creating_callback = std::move(cb); }
    void on_win_anchor_updating(callback cb) { m_win_anchor_updating_callback = std::move(cb); }
    void on_win_anchor_deleting(callback cb) { m_win_anchor_deleting_callback = std::move(cb); }
    void on_node_creating(callback cb) { m_node_creating_callback = std::move(cb); }
    void on_node_updating(callback cb) { m_node_updating_callback = std::move(cb); }
    void on_node_deleting(callback cb) { m_node_deleting_callback = std::move(cb); }
    void on_pos(callback cb) { m_pos_callback = std::move(cb); }
    void on_trackable_object_association_creating(callback cb) {
        m_trackable_object_association_creating_callback = std::move(cb);
    }
    void on_trackable_object_association_updating(callback cb) {
        m_trackable_object_association_updating_callback = std::move(cb);
    }
    void on_trackable_object_groups_updating(callback cb) {
        m_trackable_object_groups_updating_callback = std::move(cb);
    }

    // Choose the slot by info.m_type; alarms have no notifications, so their
    // callback is dropped.
    void on_creating(const object_info& info, callback cb);
    void on_updating(const object_info& info, callback cb);
    void on_deleting(const object_info& info, callback cb);

    // Throws core::exception "parse_error: ...", "\"object\" is not a string!"
    // or "\"action\" is not a string!"; unknown kinds and actions are ignored.
    void handle_notify(const std::string& text);
    void handle_pos(const std::string& text);

private:
    enum class action { created, updated, deleted };
    callback* select(const object_info& info, action a);
    callback* select(const std::string& object, const std::string& action);

    callback m_zone_creating_callback;
    callback m_zone_updating_callback;
    callback m_zone_deleting_callback;
    callback m_trackable_object_creating_callback;
    callback m_trackable_object_updating_callback;
    callback m_trackable_object_deleting_callback;
    callback m_sublocation_creating_callback;
    callback m_sublocation_updating_callback;
    callback m_sublocation_deleting_callback;
    callback m_win_anchor_creating_callback;
    callback m_win_anchor_updating_callback;
    callback m_win_anchor_deleting_callback;
    callback m_node_creating_callback;
    callback m_node_updating_callback;
    callback m_node_deleting_callback;
    callback m_pos_callback;
    callback m_trackable_object_association_creating_callback;
    callback m_trackable_object_association_updating_callback;
    callback m_trackable_object_groups_updating_callback;
};

}  // namespace zentu::libs::context_utils
