#include "test_kit/http_test_server.hpp"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace zentu::test_kit {

struct http_test_server::state {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::map<std::string, response> responses;
    std::map<std::string, std::deque<response>> queued;
    response default_response = reply(404);
    std::vector<recorded_request> requests;
    std::size_t in_flight = 0;
    std::size_t max_in_flight = 0;
    // Last: stopped first, so its thread never sees the tables go.
    loopback_http_server server{[this](const http_exchange::ptr& ex) { serve(ex); }};

    void serve(const http_exchange::ptr& ex) {
        response planned = lookup(ex->request().target);
        if (planned.reset_after_headers) {
            record(ex->request(), false);
            return ex->reset();
        }
        ex->read_body([this, planned = std::move(planned)](const http_exchange::ptr& ex) {
            record(ex->request(), true);
            if (planned.delay.count() <= 0)
                return answer(ex, planned);
            ex->after(planned.delay, [this, ex, planned] { answer(ex, planned); });
        });
    }

    response lookup(const std::string& target) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (auto q = queued.find(target); q != queued.end() && !q->second.empty()) {
            response next = std::move(q->second.front());
            q->second.pop_front();
            return next;
        }
        const auto it = responses.find(target);
        return it == responses.end() ? default_response : it->second;
    }

    void record(const recorded_request& request, bool awaits_answer) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(request);
            if (awaits_answer)
                max_in_flight = std::max(max_in_flight, ++in_flight);
        }
        changed.notify_all();
    }

    void answer(const http_exchange::ptr& ex, const response& r) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            --in_flight;
        }
        ex->respond({r.status, r.body, r.headers, r.close_connection, r.truncate,
                     r.announced_length, r.chunked});
    }
};

http_test_server::http_test_server() : m_state(std::make_unique<state>()) {}

http_test_server::~http_test_server() = default;

std::uint16_t http_test_server::port() const {
    return m_state->server.port();
}

std::string http_test_server::url() const {
    return m_state->server.url();
}

void http_test_server::set_response(const std::string& target, response r) {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->responses[target] = std::move(r);
}

void http_test_server::set_default_response(response r) {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->default_response = std::move(r);
}

void http_test_server::queue_responses(const std::string& target, std::vector<response> responses) {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    auto& queue = m_state->queued[target];
    for (auto& r : responses)
        queue.push_back(std::move(r));
}

void http_test_server::set_redirect(const std::string& target, const std::string& location,
                                    int status) {
    response r = reply(status);
    r.headers.emplace_back("Location", location);
    set_response(target, std::move(r));
}

std::vector<http_test_server::recorded_request> http_test_server::requests() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->requests;
}

std::size_t http_test_server::request_count() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->requests.size();
}

bool http_test_server::wait_for_requests(std::size_t count,
                                         std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->changed.wait_for(lock, timeout,
                                     [&] { return m_state->requests.size() >= count; });
}

std::size_t http_test_server::connection_count() const {
    return m_state->server.connection_count();
}

std::size_t http_test_server::max_concurrent_requests() const {
    const std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->max_in_flight;
}

http_test_server::response reply(int status, std::string body) {
    http_test_server::response r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

}  // namespace zentu::test_kit
