#include "context_synchronizer_impl.hpp"

#include "context_utils/parsers/parser_utils.hpp"
#include "objects/node_impl.hpp"
#include "objects/sublocation_impl.hpp"
#include "objects/trackable_object_impl.hpp"
#include "objects/win_anchor_impl.hpp"
#include "objects/zone_impl.hpp"
#include "objects_repository_manager_impl.hpp"
#include "parsers/alarm_impl.hpp"
#include "parsers/pos_impl.hpp"
#include "parsers/trackable_object_association_impl.hpp"
#include "parsers/trackable_object_groups_impl.hpp"
#include "parsers/trackable_object_impl.hpp"
#include "parsers/zone_impl.hpp"

namespace zentu::libs::context_utils {

namespace {

using notify = json_template<_json_notify_tag>;
using element = json_template<_json_object_tag>;

// A view of View over the notification's "plist", the message as its envelope.
template <typename View, typename F>
context_updater::callback with_plist_view(F f) {
    return [f = std::move(f)](const notify& message) {
        const Json::Value& json = message.get_json();
        View view(parsers::parser_utils::member(json, "plist"), json);
        f(view);
    };
}

// Deletions hand out only the uid and the notification's time.
template <typename View>
context_updater::callback with_deleted_uid(context_synchronizer::deleting_callback f) {
    return [f = std::move(f)](const notify& message) {
        const Json::Value& json = message.get_json();
        const View view(parsers::parser_utils::member(json, "plist"), json);
        f(view.get_uid(), timestamp::from_parts(view.get_ts(), view.get_ms()));
    };
}

template <typename View, typename F>
context_initializer::callback with_element_view(F f) {
    return [f = std::move(f)](const element& e) {
        View view(e.get_json());
        f(view);
    };
}

template <typename View, typename F>
context_initializer::bool_callback with_element_view_bool(F f) {
    return [f = std::move(f)](const element& e) {
        View view(e.get_json());
        return f(view);
    };
}

}  // namespace

context_synchronizer::ptr context_synchronizer::create(core::http::client& http_client,
                                                       core::events_loop& events_loop,
                                                       const core::component_logger& logger,
                                                       core::clock* clock) {
    return std::make_unique<context_synchronizer_impl>(http_client, events_loop, logger, clock);
}

context_synchronizer_impl::context_synchronizer_impl(core::http::client& http_client,
                                                     core::events_loop& events_loop,
                                                     const core::component_logger& logger,
                                                     core::clock* clock)
    : m_events_loop(events_loop),
      m_logger(logger.component("context_utils")),
      m_context_initializer(http_client, events_loop, *m_logger, clock) {}

void context_synchronizer_impl::handle_notify(const std::string& text) {
    m_context_updater.handle_notify(text);
}

void context_synchronizer_impl::initialize() {
    m_context_initializer.initialize();
}

void context_synchronizer_impl::handle_pos(const std::string& text) {
    m_context_updater.handle_pos(text);
}

template <typename I, typename Impl>
typename objects_repository_manager<I>::ptr context_synchronizer_impl::make_manager(
    const object_info& info, std::chrono::nanoseconds period) {
    auto manager = std::make_unique<objects_repository_manager_impl<I, Impl>>(
        info, m_context_initializer, m_context_updater, m_events_loop.get_timers());
    manager->set_update_period(period);
    return manager;
}

context_synchronizer::zones_ptr context_synchronizer_impl::make_zones(
    std::chrono::nanoseconds update_period) {
    return make_manager<objects::zone, objects::zone_impl>(object_infos::zone, update_period);
}

void context_synchronizer_impl::on_zone_creating(zone_callback cb) {
    m_context_updater.on_zone_creating(with_plist_view<parsers::zone_impl>(cb));
    m_context_initializer.on_zone_creating(with_element_view<parsers::zone_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_zone_updating(zone_callback cb) {
    m_context_updater.on_zone_updating(with_plist_view<parsers::zone_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_zone_deleting(deleting_callback cb) {
    m_context_updater.on_zone_deleting(with_deleted_uid<parsers::zone_impl>(std::move(cb)));
}

bool context_synchronizer_impl::for_each_zone_on_server(zone_bool_callback cb) {
    return m_context_initializer.for_each_object_on_server(
        object_infos::zone, with_element_view_bool<parsers::zone_impl>(std::move(cb)));
}

context_synchronizer::trackable_objects_ptr context_synchronizer_impl::make_trackable_objects(
    std::chrono::nanoseconds update_period) {
    return make_manager<objects::trackable_object, objects::trackable_object_impl>(
        object_infos::trackable_object, update_period);
}

void context_synchronizer_impl::on_trackable_object_creating(trackable_object_callback cb) {
    m_context_updater.on_trackable_object_creating(
        with_plist_view<parsers::trackable_object_impl>(cb));
    m_context_initializer.on_trackable_object_creating(
        with_element_view<parsers::trackable_object_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_trackable_object_updating(trackable_object_callback cb) {
    m_context_updater.on_trackable_object_updating(
        with_plist_view<parsers::trackable_object_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_trackable_object_deleting(deleting_callback cb) {
    m_context_updater.on_trackable_object_deleting(
        with_deleted_uid<parsers::trackable_object_impl>(std::move(cb)));
}

bool context_synchronizer_impl::for_each_trackable_object_on_server(
    trackable_object_bool_callback cb) {
    return m_context_initializer.for_each_object_on_server(
        object_infos::trackable_object,
        with_element_view_bool<parsers::trackable_object_impl>(std::move(cb)));
}

context_synchronizer::win_anchors_ptr context_synchronizer_impl::make_win_anchors(
    std::chrono::nanoseconds update_period) {
    return make_manager<objects::win_anchor, objects::win_anchor_impl>(object_infos::win_anchor,
                                                                       update_period);
}

context_synchronizer::sublocations_ptr context_synchronizer_impl::make_sublocations(
    std::chrono::nanoseconds update_period) {
    return make_manager<objects::sublocation, objects::sublocation_impl>(object_infos::sublocation,
                                                                         update_period);
}

context_synchronizer::nodes_ptr context_synchronizer_impl::make_nodes(
    std::chrono::nanoseconds update_period) {
    return make_manager<objects::node, objects::node_impl>(object_infos::node, update_period);
}

bool context_synchronizer_impl::for_each_alarm_on_server(alarm_bool_callback cb) {
    return m_context_initializer.for_each_object_on_server(
        object_infos::alarm, with_element_view_bool<parsers::alarm_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_pos(pos_callback cb) {
    m_context_updater.on_pos([cb = std::move(cb)](const notify& message) {
        parsers::pos_impl view(message.get_json());
        cb(view);
    });
}

void context_synchronizer_impl::on_trackable_object_association_creating(association_callback cb) {
    m_context_updater.on_trackable_object_association_creating(
        with_plist_view<parsers::trackable_object_association_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_trackable_object_association_updating(association_callback cb) {
    m_context_updater.on_trackable_object_association_updating(
        with_plist_view<parsers::trackable_object_association_impl>(std::move(cb)));
}

void context_synchronizer_impl::on_trackable_object_groups_updating(groups_callback cb) {
    m_context_updater.on_trackable_object_groups_updating(
        with_plist_view<parsers::trackable_object_groups_impl>(std::move(cb)));
}

}  // namespace zentu::libs::context_utils
