#pragma once

#include <functional>
#include <optional>
#include <string>

#include "context_utils/json_template.hpp"
#include "context_utils/object_info.hpp"
#include "core/async_operation_handle.hpp"
#include "core/clock.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "core/repeat_limiter.hpp"

namespace zentu::libs::context_utils {

// Fetches the server's object lists over HTTP GET and walks their elements.
// Threading: one thread at a time. The fetches (blocking and asynchronous)
// are made on the events-loop thread; the blocking ones block that thread,
// retrying every 5 seconds until they succeed or the loop is stopped. Walking
// the elements of an answer already received needs no loop, so a rebuild
// walks them on its own worker thread.
class context_initializer {
public:
    using callback = std::function<void(const json_template<_json_object_tag>&)>;
    // true: go on with the next element.
    using bool_callback = std::function<bool(const json_template<_json_object_tag>&)>;
    using answer_callback = std::function<void(std::optional<json_answer>)>;

    // The retries wait on the clock, the loop's unless one is given.
    context_initializer(core::http::client& http_client, core::events_loop& events_loop,
                        const core::component_logger& logger, core::clock* clock = nullptr);

    void on_zone_creating(callback cb);
    void on_trackable_object_creating(callback cb);
    void on_sublocation_creating(callback cb);
    void on_node_creating(callback cb);

    // Loads, in this order and each only when its callback is set: trackable
    // objects, zones, sublocations, nodes.
    void initialize();

    bool for_each_object_on_server(const object_info& info, const bool_callback& walker);

    // done runs on the events loop with the parsed body, or with nothing when
    // the request gave no body. Keep the handle until then: dropping it
    // abandons the request.
    core::async_operation_handle<core::http::result>::ptr get_objects_async(
        const object_info& info, answer_callback done) const;

    // Throws core::exception "\"<list name>\" is not an array!".
    bool for_each_object(const object_info& info, const json_answer& answer,
                         const bool_callback& walker) const;

    // Blocking GET; retried every 5 seconds. A failure is logged the first
    // time, then once a minute per path with how many were held back, and
    // the answer that ends a run of them is logged too. Throws "Interrupted"
    // once the loop is stopped and "parse error: ..." for a body that is not
    // JSON.
    json_answer perform_get_request(const std::string& path);

private:
    void load(const object_info& info, const callback& cb);

    core::http::client& m_http_client;
    core::events_loop& m_events_loop;
    const core::component_logger& m_logger;
    core::clock& m_clock;
    // Failures of the blocking fetches, by path.
    core::repeat_limiter m_failures;
    callback m_zone_creating_callback;
    callback m_trackable_object_creating_callback;
    callback m_sublocation_creating_callback;
    callback m_node_creating_callback;
};

}  // namespace zentu::libs::context_utils
