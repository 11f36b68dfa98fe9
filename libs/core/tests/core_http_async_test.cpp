#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

#include "../src/impl/http_client_impl.hpp"
#include "support/core_http_fixture.hpp"

namespace zentu::libs::core::testing {
namespace {

using namespace std::chrono_literals;
using http::method;

class core_http_async : public http_client_test {};

TEST_F(core_http_async, result_is_delivered_on_the_loop_thread) {
    m_server.set_response("/zones/", reply(200, "[]"));
    m_server.set_response("/alarms/", reply(404, "gone"));
    auto client = make_client(m_server.url());
    const auto loop_thread = std::this_thread::get_id();

    std::vector<http::result> results;
    std::vector<std::thread::id> threads;
    auto record = [&](http::result r) {
        results.push_back(std::move(r));
        threads.push_back(std::this_thread::get_id());
    };
    auto get = client->perform_async_request(method::get, "/zones/", record);
    auto post = client->perform_async_request(method::post, "/alarms/", "{\"a\":1}", record);
    ASSERT_TRUE(run_until([&] { return results.size() == 2; }));

    for (const auto& id : threads)
        EXPECT_EQ(id, loop_thread);
    EXPECT_TRUE(get->is_complete());
    EXPECT_TRUE(post->is_complete());
    std::map<int, http::result> by_status;
    for (auto& r : results)
        by_status[r.status_code().value_or(0)] = r;
    EXPECT_EQ(by_status[200].data(), "[]");
    EXPECT_EQ(by_status[404].error(), "gone");
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        if (request.method == "POST") {
            EXPECT_EQ(request.body, "{\"a\":1}");
        }
    }
}

TEST_F(core_http_async, callback_may_be_installed_after_the_request) {
    m_server.set_response("/x", reply(200, "late callback"));
    auto client = make_client(m_server.url());
    auto handle = client->perform_async_request(method::put, "/x", "{}");
    std::optional<http::result> result;
    handle->set_callback([&](http::result r) { result = std::move(r); });
    ASSERT_TRUE(run_until([&] { return result.has_value(); }));
    EXPECT_EQ(result->data(), "late callback");
    EXPECT_EQ(m_server.requests().at(0).method, "PUT");
}

TEST_F(core_http_async, restart_repeats_the_request_and_the_callback) {
    m_server.set_response("/alarms/", reply(201, "ok"));
    auto client = make_client(m_server.url());
    int calls = 0;
    auto handle =
        client->perform_async_request(method::post, "/alarms/", "{\"n\":1}", [&](http::result r) {
            EXPECT_EQ(r.data(), "ok");
            ++calls;
        });
    ASSERT_TRUE(run_until([&] { return calls == 1; }));
    handle->restart();
    EXPECT_FALSE(handle->is_complete());
    ASSERT_TRUE(run_until([&] { return calls == 2; }));
    EXPECT_TRUE(handle->is_complete());

    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].target, "/alarms/");
    EXPECT_EQ(requests[1].body, "{\"n\":1}");
}

TEST_F(core_http_async, dropped_handle_is_never_sent_nor_called_back) {
    auto slow = reply(200, "slow");
    slow.delay = 300ms;
    m_server.set_response("/busy", slow);
    m_server.set_response("/dropped", reply(200));
    auto client = make_client(m_server.url(), 5s, {}, 1);

    bool busy_done = false;
    bool dropped_called = false;
    auto busy = client->perform_async_request(method::get, "/busy",
                                              [&](http::result) { busy_done = true; });
    // The only worker is busy, so this job waits in the queue when dropped.
    client->perform_async_request(method::get, "/dropped",
                                  [&](http::result) { dropped_called = true; });
    ASSERT_TRUE(run_until([&] { return busy_done; }));
    run_for(200ms);

    EXPECT_FALSE(dropped_called);
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/busy");
}

TEST_F(core_http_async, handle_dropped_during_the_transfer_gets_no_callback) {
    auto slow = reply(200, "slow");
    slow.delay = 200ms;
    m_server.set_response("/slow", slow);
    auto client = make_client(m_server.url());
    bool called = false;
    auto handle =
        client->perform_async_request(method::get, "/slow", [&](http::result) { called = true; });
    ASSERT_TRUE(m_server.wait_for_requests(1, 5s));
    handle.reset();
    run_for(500ms);
    EXPECT_FALSE(called);
}

TEST_F(core_http_async, restart_after_the_client_is_gone_does_nothing) {
    m_server.set_default_response(reply(200));
    auto client = make_client(m_server.url());
    int calls = 0;
    auto handle = client->perform_async_request(method::get, "/", [&](http::result) { ++calls; });
    ASSERT_TRUE(run_until([&] { return calls == 1; }));
    client.reset();
    handle->restart();
    run_for(100ms);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(m_server.request_count(), 1u);
}

TEST_F(core_http_async, disabled_method_is_answered_without_traffic) {
    m_server.set_response("/zones/", reply(200, "[]"));
    auto client = make_client(m_server.url(), 5s, {method::post, method::del});
    std::vector<http::result> results;
    auto post = client->perform_async_request(method::post, "/alarms/", "{}",
                                              [&](http::result r) { results.push_back(r); });
    auto del = client->perform_async_request(method::del, "/alarms/1",
                                             [&](http::result r) { results.push_back(r); });
    ASSERT_TRUE(run_until([&] { return results.size() == 2; }));
    for (const auto& r : results) {
        EXPECT_EQ(r.status_code(), 200);
        EXPECT_EQ(r.data(), "");
    }
    bool got = false;
    auto get = client->perform_async_request(method::get, "/zones/",
                                             [&](http::result r) { got = r.data() == "[]"; });
    ASSERT_TRUE(run_until([&] { return got; }));
    EXPECT_EQ(m_server.request_count(), 1u);
}

// Each worker keeps its own connections: never more connections than workers,
// never more transfers at once than workers, and every result exactly once.
TEST_F(core_http_async, many_requests_on_a_small_pool) {
    auto quick = reply(200, "ok");
    quick.delay = 5ms;
    m_server.set_default_response(quick);
    constexpr int threads = 8;
    constexpr int count = 200;
    auto client = make_client(m_server.url(), 5s, {}, threads);

    std::map<int, int> delivered;
    std::vector<http::client::handle::ptr> handles;
    for (int i = 0; i < count; ++i)
        handles.push_back(client->perform_async_request(method::get, "/items/" + std::to_string(i),
                                                        [&delivered, i](http::result r) {
                                                            EXPECT_EQ(r.data(), "ok");
                                                            ++delivered[i];
                                                        }));
    ASSERT_TRUE(run_until([&] { return delivered.size() == count; }, 30s));
    run_for(50ms);

    for (const auto& [i, times] : delivered)
        EXPECT_EQ(times, 1) << i;
    std::set<std::string> targets;
    for (const auto& request : m_server.requests())
        targets.insert(request.target);
    EXPECT_EQ(targets.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(m_server.request_count(), static_cast<std::size_t>(count));
    EXPECT_LE(m_server.connection_count(), static_cast<std::size_t>(threads));
    EXPECT_LE(m_server.max_concurrent_requests(), static_cast<std::size_t>(threads));
    EXPECT_GT(m_server.max_concurrent_requests(), 1u);
}

TEST_F(core_http_async, worker_reuses_its_connection) {
    m_server.set_default_response(reply(200));
    auto client = make_client(m_server.url(), 5s, {}, 1);
    int done = 0;
    http::client::handle::ptr handle;
    for (int i = 0; i < 3; ++i) {
        handle = client->perform_async_request(method::get, "/", [&](http::result) { ++done; });
        ASSERT_TRUE(run_until([&] { return done == i + 1; }));
    }
    EXPECT_EQ(m_server.connection_count(), 1u);
}

TEST_F(core_http_async, transport_failures_come_back_as_results) {
    auto slow = reply(200);
    slow.delay = 3s;
    m_server.set_response("/slow", slow);
    auto cut = reply(200, "partial");
    cut.truncate = true;
    m_server.set_response("/cut", cut);
    auto client = make_client(m_server.url(), 1s);

    std::map<std::string, http::result> results;
    auto a = client->perform_async_request(method::get, "/slow",
                                           [&](http::result r) { results["/slow"] = r; });
    auto b = client->perform_async_request(method::get, "/cut",
                                           [&](http::result r) { results["/cut"] = r; });
    ASSERT_TRUE(run_until([&] { return results.size() == 2; }));
    EXPECT_FALSE(results["/slow"].status_code());
    EXPECT_EQ(results["/slow"].error()->rfind(
                  "curl_easy_perform failed:Timeout was reached: Operation timed out after ", 0),
              0u);
    EXPECT_FALSE(results["/cut"].status_code());
    EXPECT_EQ(results["/cut"].error()->rfind("curl_easy_perform failed:", 0), 0u);
}

TEST_F(core_http_async, easy_handle_failure_keeps_the_worker_alive) {
    http::client_impl client(*m_loop, m_loop->get_logger(), settings_of(m_server.url(), 5s, {}, 1),
                             [] { return static_cast<CURL*>(nullptr); });
    std::vector<http::result> results;
    auto first = client.perform_async_request(method::get, "/",
                                              [&](http::result r) { results.push_back(r); });
    auto second = client.perform_async_request(method::get, "/",
                                               [&](http::result r) { results.push_back(r); });
    ASSERT_TRUE(run_until([&] { return results.size() == 2; }));
    for (const auto& r : results) {
        EXPECT_FALSE(r.status_code());
        EXPECT_EQ(r.error(), "curl_easy_init failed");
    }
    EXPECT_EQ(m_server.request_count(), 0u);
}

TEST_F(core_http_async, destruction_aborts_transfers_in_flight_without_callbacks) {
    auto slow = reply(200);
    slow.delay = 8s;
    m_server.set_response("/slow", slow);
    auto client = make_client(m_server.url(), 20s, {}, 2);
    bool called = false;
    auto in_flight =
        client->perform_async_request(method::get, "/slow", [&](http::result) { called = true; });
    auto queued_1 =
        client->perform_async_request(method::get, "/slow", [&](http::result) { called = true; });
    auto queued_2 =
        client->perform_async_request(method::get, "/slow", [&](http::result) { called = true; });
    ASSERT_TRUE(m_server.wait_for_requests(2, 5s));

    const auto start = std::chrono::steady_clock::now();
    client.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
    run_for(100ms);
    EXPECT_FALSE(called);
    EXPECT_EQ(m_server.request_count(), 2u);
}

}  // namespace
}  // namespace zentu::libs::core::testing
