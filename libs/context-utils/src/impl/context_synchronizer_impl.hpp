#pragma once

#include "context_utils/context_initializer.hpp"
#include "context_utils/context_synchronizer.hpp"
#include "context_utils/context_updater.hpp"

namespace zentu::libs::context_utils {

// Used on the events-loop thread only.
class context_synchronizer_impl : public context_synchronizer {
public:
    context_synchronizer_impl(core::http::client& http_client, core::events_loop& events_loop,
                              const core::component_logger& logger, core::clock* clock = nullptr);

    void handle_notify(const std::string& text) override;
    void initialize() override;
    void handle_pos(const std::string& text) override;

    zones_ptr make_zones(std::chrono::nanoseconds update_period) override;
    void on_zone_creating(zone_callback cb) override;
    void on_zone_updating(zone_callback cb) override;
    void on_zone_deleting(deleting_callback cb) override;
    bool for_each_zone_on_server(zone_bool_callback cb) override;

    trackable_objects_ptr make_trackable_objects(std::chrono::nanoseconds update_period) override;
    void on_trackable_object_creating(trackable_object_callback cb) override;
    void on_trackable_object_updating(trackable_object_callback cb) override;
    void on_trackable_object_deleting(deleting_callback cb) override;
    bool for_each_trackable_object_on_server(trackable_object_bool_callback cb) override;

    win_anchors_ptr make_win_anchors(std::chrono::nanoseconds update_period) override;
    sublocations_ptr make_sublocations(std::chrono::nanoseconds update_period) override;
    nodes_ptr make_nodes(std::chrono::nanoseconds update_period) override;

    bool for_each_alarm_on_server(alarm_bool_callback cb) override;
    void on_pos(pos_callback cb) override;
    void on_trackable_object_association_creating(association_callback cb) override;
    void on_trackable_object_association_updating(association_callback cb) override;
    void on_trackable_object_groups_updating(groups_callback cb) override;

private:
    template <typename I, typename Impl>
    typename objects_repository_manager<I>::ptr make_manager(const object_info& info,
                                                             std::chrono::nanoseconds period);

    core::events_loop& m_events_loop;
    core::component_logger::ptr m_logger;
    context_updater m_context_updater;
    context_initializer m_context_initializer;
};

}  // namespace zentu::libs::context_utils
