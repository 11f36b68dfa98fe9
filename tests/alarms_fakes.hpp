#pragma once

#include <json/value.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/http.hpp"
#include "core/json.hpp"
#include "core/timer.hpp"

namespace zentu::test {

namespace http = libs::core::http;

// Records asynchronous requests; the test answers them by hand, in any order.
class fake_http_client : public http::client {
public:
    class fake_handle : public handle {
    public:
        bool is_complete() const override { return m_complete; }
        void restart() override { m_complete = false; }
        bool m_complete = false;
    };

    struct request {
        http::method method;
        std::string address;
        std::string body;
        std::weak_ptr<fake_handle> handle;

        Json::Value json() const {
            auto parsed = libs::core::json::try_parse(body);
            if (!parsed.ok)
                throw std::runtime_error("request body is not JSON: " + body);
            return parsed.result;
        }
        std::string state() const { return json()["state"].asString(); }
        // Still wanted by its sender and not answered yet.
        bool pending() const {
            const auto h = handle.lock();
            return h && !h->m_complete;
        }
    };

    http::result perform_request(http::method, std::string_view) override {
        throw std::logic_error("unexpected synchronous request");
    }
    http::result perform_request(http::method, std::string_view, std::string_view) override {
        throw std::logic_error("unexpected synchronous request");
    }
    handle::ptr perform_async_request(http::method m, std::string address, callback cb) override {
        return perform_async_request(m, std::move(address), std::string(), std::move(cb));
    }
    handle::ptr perform_async_request(http::method m, std::string address, std::string body,
                                      callback cb) override {
        auto h = perform_async_request(m, std::move(address), std::move(body));
        h->set_callback(std::move(cb));
        return h;
    }
    handle::ptr perform_async_request(http::method m, std::string address,
                                      std::string body) override {
        auto h = std::make_shared<fake_handle>();
        m_requests.push_back({m, std::move(address), std::move(body), h});
        return h;
    }

    // Delivers a result to request i, as the events loop would; false when
    // its sender dropped the handle (the result is then discarded).
    bool answer(std::size_t i, http::result result) {
        const auto h = m_requests.at(i).handle.lock();
        if (!h || h->m_complete)
            return false;
        h->m_complete = true;
        const auto cb = h->get_callback();
        if (cb)
            cb(std::move(result));
        return true;
    }
    bool answer(std::size_t i, int status) {
        return answer(i, status >= 200 && status <= 299
                             ? http::result(status, std::string(), std::nullopt)
                             : http::result(status, std::nullopt, "status body"));
    }
    bool fail(std::size_t i) {
        return answer(i, http::result(std::nullopt, std::nullopt,
                                      "curl_easy_perform failed:Couldn't connect to server"));
    }
    // Accepts (200) every request still wanted, including those the answers
    // start; returns how many were answered.
    std::size_t accept_all() {
        std::size_t answered = 0;
        for (; m_accepted < m_requests.size(); ++m_accepted)
            answered += answer(m_accepted, 200);
        return answered;
    }
    std::size_t last() const { return m_requests.size() - 1; }
    std::size_t pending_count() const {
        std::size_t n = 0;
        for (const auto& r : m_requests)
            n += r.pending();
        return n;
    }

    std::vector<request> m_requests;
    std::size_t m_accepted = 0;  // requests before this index were seen by accept_all
};

// One-shot timers that fire only when the test says so; the wall clock is
// whatever the test sets.
class fake_timers : public libs::core::timers_manager {
public:
    struct entry {
        std::string name;
        std::chrono::nanoseconds delay;
        libs::core::timer::callback callback;
        bool armed = true;
        // When it falls due on the fake clock.
        libs::core::timer::time_point due{};
    };

    class fake_timer : public libs::core::timer {
    public:
        explicit fake_timer(std::shared_ptr<entry> e) : m_entry(std::move(e)) {}
        ~fake_timer() override { m_entry->armed = false; }
        bool is_waiting() const override { return m_entry->armed; }
        void reset(time_point) override { m_entry->armed = true; }
        void stop() override { m_entry->armed = false; }

    private:
        std::shared_ptr<entry> m_entry;
    };

    libs::core::timer::time_point current_time_point() const override { return m_time_point; }
    libs::core::timestamp current_timestamp() const override { return m_now; }
    // Waits without waiting: both clocks move on by the period at once.
    bool wait_for(std::chrono::nanoseconds period, const std::function<bool()>& stopped) override {
        if (stopped && stopped())
            return false;
        m_time_point += period;
        m_now += std::chrono::duration_cast<std::chrono::milliseconds>(period);
        return true;
    }

    libs::core::timer::ptr create_timer(std::chrono::nanoseconds delay, const std::string& name,
                                        libs::core::timer::callback cb,
                                        libs::core::source_location) override {
        auto e = std::make_shared<entry>(entry{name, delay, std::move(cb)});
        e->due = m_time_point + delay;
        m_timers.push_back(e);
        return std::make_unique<fake_timer>(e);
    }
    libs::core::timer::ptr create_timer(libs::core::timer::time_point, const std::string&,
                                        libs::core::timer::callback,
                                        libs::core::source_location) override {
        throw std::logic_error("unexpected absolute timer");
    }
    libs::core::periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds,
                                                          const std::string&,
                                                          libs::core::periodic_timer::callback,
                                                          libs::core::source_location) override {
        throw std::logic_error("unexpected periodic timer");
    }
    libs::core::periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds,
                                                          libs::core::periodic_timer::execute_now,
                                                          const std::string&,
                                                          libs::core::periodic_timer::callback,
                                                          libs::core::source_location) override {
        throw std::logic_error("unexpected periodic timer");
    }

    std::vector<std::shared_ptr<entry>> armed() const {
        std::vector<std::shared_ptr<entry>> out;
        for (const auto& t : m_timers)
            if (t->armed)
                out.push_back(t);
        return out;
    }
    // Fires the only armed timer; fails the test setup when there is not exactly one.
    void fire_only() {
        const auto a = armed();
        if (a.size() != 1)
            throw std::logic_error("expected one armed timer, found " + std::to_string(a.size()));
        fire(*a.front());
    }
    static void fire(entry& e) {
        e.armed = false;
        const auto cb = e.callback;
        cb({});
    }
    // Moves both clocks on by `by`, firing on the way, in order of their due
    // times, the timers that fall due (those they arm too).
    void advance(std::chrono::nanoseconds by) {
        const auto until = m_time_point + by;
        for (;;) {
            std::shared_ptr<entry> next;
            for (const auto& t : armed())
                if (t->due <= until && (!next || t->due < next->due))
                    next = t;
            if (!next)
                break;
            move_to(next->due);
            fire(*next);
        }
        move_to(until);
    }
    void move_to(libs::core::timer::time_point to) {
        m_now += std::chrono::duration_cast<std::chrono::milliseconds>(to - m_time_point);
        m_time_point = to;
    }

    libs::core::timestamp m_now{std::chrono::milliseconds(1'700'000'000'000)};
    libs::core::timer::time_point m_time_point{};
    std::vector<std::shared_ptr<entry>> m_timers;
};

}  // namespace zentu::test
