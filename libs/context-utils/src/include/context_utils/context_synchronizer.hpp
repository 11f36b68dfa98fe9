#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "context_utils/objects/node.hpp"
#include "context_utils/objects/sublocation.hpp"
#include "context_utils/objects/trackable_object.hpp"
#include "context_utils/objects/win_anchor.hpp"
#include "context_utils/objects/zone.hpp"
#include "context_utils/objects_repository_manager.hpp"
#include "context_utils/parsers/alarm.hpp"
#include "context_utils/parsers/pos.hpp"
#include "context_utils/parsers/trackable_object.hpp"
#include "context_utils/parsers/trackable_object_association.hpp"
#include "context_utils/parsers/trackable_object_groups.hpp"
#include "context_utils/parsers/zone.hpp"
#include "context_utils/types.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"

namespace zentu::libs::context_utils {

// The application's door to the server's objects: the initial load, walks
// over server lists, live notifications routed to callbacks as record views,
// and self-maintaining stores per kind. Views handed to callbacks are valid
// only during the call. Everything runs on the events-loop thread; the
// initial load, the walks and the make_* operations block it while they fetch.
class context_synchronizer {
public:
    using ptr = std::unique_ptr<context_synchronizer>;

    using zone_callback = std::function<void(parsers::zone&)>;
    using zone_bool_callback = std::function<bool(parsers::zone&)>;
    using trackable_object_callback = std::function<void(parsers::trackable_object&)>;
    using trackable_object_bool_callback = std::function<bool(parsers::trackable_object&)>;
    using alarm_bool_callback = std::function<bool(parsers::alarm&)>;
    using pos_callback = std::function<void(parsers::pos&)>;
    using association_callback = std::function<void(parsers::trackable_object_association&)>;
    using groups_callback = std::function<void(parsers::trackable_object_groups&)>;
    // The uid of the deleted object and the time of the deletion.
    using deleting_callback = std::function<void(const std::string& uid, timestamp ts)>;

    using zones_ptr = objects_repository_manager<objects::zone>::ptr;
    using trackable_objects_ptr = objects_repository_manager<objects::trackable_object>::ptr;
    using win_anchors_ptr = objects_repository_manager<objects::win_anchor>::ptr;
    using sublocations_ptr = objects_repository_manager<objects::sublocation>::ptr;
    using nodes_ptr = objects_repository_manager<objects::node>::ptr;

    // The synchroniser logs as the component "context_utils" of logger; its
    // blocking fetches wait between retries on the clock, the loop's unless
    // one is given.
    static ptr create(core::http::client& http_client, core::events_loop& events_loop,
                      const core::component_logger& logger, core::clock* clock = nullptr);

    virtual ~context_synchronizer() = default;

    virtual void handle_notify(const std::string& text) = 0;
    virtual void initialize() = 0;
    virtual void handle_pos(const std::string& text) = 0;

    virtual zones_ptr make_zones(std::chrono::nanoseconds update_period) = 0;
    // Receives created zones of notifications and of the initial load.
    virtual void on_zone_creating(zone_callback cb) = 0;
    virtual void on_zone_updating(zone_callback cb) = 0;
    virtual void on_zone_deleting(deleting_callback cb) = 0;
    virtual bool for_each_zone_on_server(zone_bool_callback cb) = 0;

    virtual trackable_objects_ptr make_trackable_objects(
        std::chrono::nanoseconds update_period) = 0;
    virtual void on_trackable_object_creating(trackable_object_callback cb) = 0;
    virtual void on_trackable_object_updating(trackable_object_callback cb) = 0;
    virtual void on_trackable_object_deleting(deleting_callback cb) = 0;
    virtual bool for_each_trackable_object_on_server(trackable_object_bool_callback cb) = 0;

    virtual win_anchors_ptr make_win_anchors(std::chrono::nanoseconds update_period) = 0;
    virtual sublocations_ptr make_sublocations(std::chrono::nanoseconds update_period) = 0;
    virtual nodes_ptr make_nodes(std::chrono::nanoseconds update_period) = 0;

    virtual bool for_each_alarm_on_server(alarm_bool_callback cb) = 0;
    virtual void on_pos(pos_callback cb) = 0;
    virtual void on_trackable_object_association_creating(association_callback cb) = 0;
    virtual void on_trackable_object_association_updating(association_callback cb) = 0;
    virtual void on_trackable_object_groups_updating(groups_callback cb) = 0;
};

}  // namespace zentu::libs::context_utils
