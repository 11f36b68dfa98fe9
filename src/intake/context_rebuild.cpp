#include "intake/context_rebuild.hpp"

#include <malloc.h>

#include "context_utils/object_info.hpp"
#include "core/json.hpp"
#include "core/log_text.hpp"

namespace zentu {

namespace {

namespace core = libs::core;
using infos = libs::context_utils::object_infos;

enum list_index : std::size_t { objects_list, zones_list, alarms_list, types_list };

const std::string& address_of(std::size_t index) {
    static const std::string addresses[] = {infos::trackable_object.m_rest_endpoint,
                                            infos::zone.m_rest_endpoint,
                                            infos::alarm.m_rest_endpoint, alarm_types_address};
    return addresses[index];
}

}  // namespace

void catch_up(rebuilt_context& built, const context::context& running,
              const std::vector<context_updater::journal_entry>& journal) {
    for (const auto& entry : journal) {
        try {
            if (entry.notify)
                built.intake->handle_notify(entry.body);
            else
                built.intake->handle_zone_event(entry.body);
        } catch (...) {
            // Already reported when the running context refused it.
        }
    }

    auto& context = *built.context;
    std::vector<std::string> unlisted;
    context.get_zones().for_each([&](const context::zone& zone) {
        if (!context.get_keep_in_index().has_occupancy_list(zone.get_uid()) &&
            running.get_zones().is_exists(zone.get_uid()))
            unlisted.push_back(zone.get_uid());
        return true;
    });
    if (unlisted.empty())
        return;
    const std::set<std::string, std::less<>> zones(unlisted.begin(), unlisted.end());
    running.get_zone_events().for_each([&](const context::zone_event& event) {
        if (zones.count(event.get_zone_uid()) == 0 ||
            !context.get_trackable_objects().is_exists(event.get_obj_uid()))
            return true;
        const auto known = context.get_zone_events().try_get(event.get_uid());
        if (!known || known->get_ts() <= event.get_ts())
            context.take_zone_events().update_or_add(event, event.get_ts());
        return true;
    });
    context.take_keep_in_index().carry_positions(running.get_keep_in_index(), unlisted);
}

change_recorder::change_recorder(const context::context& ctx)
    : m_zones_subscription(ctx.get_zones().subscribe(*this)),
      m_objects_subscription(ctx.get_trackable_objects().subscribe(*this)) {}

context_rebuild::context_rebuild(core::http::client& http_client, core::events_loop& events_loop,
                                 const core::logger& logger, background_worker& worker,
                                 done_callback done)
    : m_http_client(http_client),
      m_events_loop(events_loop),
      m_logger(logger),
      m_lists_logger(logger.component("context_utils")),
      m_worker(worker),
      m_done(std::move(done)) {
    for (const auto list : {objects_list, alarms_list, types_list})
        request(list);
}

void context_rebuild::request(std::size_t index) {
    m_requests[index] = m_http_client.perform_async_request(
        core::http::method::get, address_of(index),
        [this, index](core::http::result result) { on_answer(index, std::move(result)); });
}

context_rebuild::~context_rebuild() = default;

void context_rebuild::on_answer(std::size_t index, core::http::result result) {
    if (m_failed)
        return;
    if (!result.ok()) {
        m_lists_logger->error("Request failed with code: %1%, addr: %2%, response %3%") %
            result.status_code().value_or(-1) % address_of(index) %
            core::log_excerpt(result.error().value_or("{NONE}"));
        m_failed = true;
        // The owner may drop this rebuild from the callback: nothing is
        // touched after it.
        const auto done = m_done;
        m_requests = {};
        done(nullptr, "the platform did not give " + address_of(index));
        return;
    }
    m_bodies[index] = std::move(result).data().value_or(std::string());
    if (index == objects_list)
        request(zones_list);
    if (++m_answered == lists)
        build();
}

void context_rebuild::build() {
    auto bodies = std::make_shared<decltype(m_bodies)>(std::move(m_bodies));
    m_worker.post([bodies, alive = std::weak_ptr<bool>(m_alive), &http = m_http_client,
                   &loop = m_events_loop, &logger = m_logger, this] {
        std::unique_ptr<rebuilt_context> built;
        std::string failure;
        try {
            built = std::make_unique<rebuilt_context>();
            built->context = std::make_unique<context::writable_context>();
            built->intake = std::make_unique<context_intake>(*built->context, http, loop, logger);
            // One element at a time: a list never stands whole as a tree.
            built->intake->load_trackable_objects(std::string_view(*(*bodies)[objects_list]));
            built->intake->load_zones(std::string_view(*(*bodies)[zones_list]));
            built->intake->load_alarms(std::string_view(*(*bodies)[alarms_list]));
            built->periods = parse_histeresis(*(*bodies)[types_list]);
            built->mirror = context_debug::prepare(*built->context);
        } catch (...) {
            built.reset();
            failure = core::exception_to_string();
        }
        bodies->fill(std::nullopt);
        malloc_trim(0);
        auto result = std::make_shared<std::unique_ptr<rebuilt_context>>(std::move(built));
        loop.post(
            [alive, result, failure, this] {
                if (alive.expired())
                    return;
                // The owner may drop this rebuild from the callback.
                const auto done = m_done;
                done(std::move(*result), failure);
            },
            ZENTU_SOURCE_LOCATION());
    });
}

}  // namespace zentu
