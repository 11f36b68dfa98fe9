#include "context_utils/context_initializer.hpp"

#include <chrono>
#include <optional>

#include "core/exception.hpp"
#include "core/json.hpp"
#include "core/log_text.hpp"

namespace zentu::libs::context_utils {

namespace {

constexpr std::chrono::seconds retry_period(5);

// The body of an error answer may be a whole error page: only its start is kept.
void log_failure(const core::component_logger& logger, const core::http::result& result,
                 const std::string& path, const core::source_location& location,
                 const std::string& note = {}) {
    logger.error("Request failed with code: %1%, addr: %2%, response %3%%4%").location(location) %
        result.status_code().value_or(-1) % path %
        core::log_excerpt(result.error().value_or("{NONE}")) % note;
}

json_answer parse_answer(const std::string& body) {
    auto parsed = core::json::try_parse(body);
    if (!parsed.ok)
        ZENTU_THROW("parse error: " + parsed.error);
    return json_answer(std::move(parsed.result));
}

}  // namespace

context_initializer::context_initializer(core::http::client& http_client,
                                         core::events_loop& events_loop,
                                         const core::component_logger& logger, core::clock* clock)
    : m_http_client(http_client),
      m_events_loop(events_loop),
      m_logger(logger),
      m_clock(clock ? *clock : events_loop.get_timers()),
      m_failures(m_clock) {}

void context_initializer::on_zone_creating(callback cb) {
    m_zone_creating_callback = std::move(cb);
}

void context_initializer::on_trackable_object_creating(callback cb) {
    m_trackable_object_creating_callback = std::move(cb);
}

void context_initializer::on_sublocation_creating(callback cb) {
    m_sublocation_creating_callback = std::move(cb);
}

void context_initializer::on_node_creating(callback cb) {
    m_node_creating_callback = std::move(cb);
}

void context_initializer::initialize() {
    load(object_infos::trackable_object, m_trackable_object_creating_callback);
    load(object_infos::zone, m_zone_creating_callback);
    load(object_infos::sublocation, m_sublocation_creating_callback);
    load(object_infos::node, m_node_creating_callback);
}

void context_initializer::load(const object_info& info, const callback& cb) {
    if (!cb)
        return;
    const json_answer answer = perform_get_request(info.m_rest_endpoint);
    for_each_object(info, answer, [&cb](const json_template<_json_object_tag>& element) {
        cb(element);
        return true;
    });
}

bool context_initializer::for_each_object_on_server(const object_info& info,
                                                    const bool_callback& walker) {
    const json_answer answer = perform_get_request(info.m_rest_endpoint);
    return for_each_object(info, answer, walker);
}

core::async_operation_handle<core::http::result>::ptr context_initializer::get_objects_async(
    const object_info& info, answer_callback done) const {
    const core::component_logger& logger = m_logger;
    return m_http_client.perform_async_request(
        core::http::method::get, info.m_rest_endpoint,
        [&logger, path = info.m_rest_endpoint,
         done = std::move(done)](const core::http::result& result) {
            if (!result.data()) {
                log_failure(logger, result, path, ZENTU_SOURCE_LOCATION());
                done(std::nullopt);
                return;
            }
            done(parse_answer(*result.data()));
        });
}

bool context_initializer::for_each_object(const object_info& info, const json_answer& answer,
                                          const bool_callback& walker) const {
    const Json::Value& json = answer.get_json();
    const Json::Value& list =
        json.isObject() ? json[info.m_rest_json_name] : Json::Value::nullSingleton();
    if (!list.isArray())
        ZENTU_THROW("\"" + info.m_rest_json_name + "\" is not an array!");
    for (const Json::Value& element : list) {
        if (!walker(json_template<_json_object_tag>(element)))
            return false;
    }
    return true;
}

json_answer context_initializer::perform_get_request(const std::string& path) {
    const auto stopped = [this] { return m_events_loop.is_stopped(); };
    if (stopped())
        ZENTU_THROW("Interrupted");
    std::optional<std::string> body;
    const bool answered = core::retry_until(m_clock, retry_period, stopped, [&] {
        core::http::result result = m_http_client.perform_request(core::http::method::get, path);
        if (result.ok()) {
            body = std::move(result).data().value_or(std::string());
            if (const auto held_back = m_failures.forget(path))
                m_logger.info("Request to %1% answered again%2%") % path %
                    core::repeat_limiter::held_back_note(*held_back);
            return true;
        }
        // Retried every 5 s while the platform is down: one line a minute.
        if (const auto verdict = m_failures.admit(path); verdict.write)
            log_failure(m_logger, result, path, ZENTU_SOURCE_LOCATION(), verdict.note());
        return false;
    });
    if (!answered)
        ZENTU_THROW("Interrupted");
    return parse_answer(*body);
}

}  // namespace zentu::libs::context_utils
