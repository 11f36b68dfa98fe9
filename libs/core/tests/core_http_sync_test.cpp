#include <gtest/gtest.h>

#include <thread>

#include "../src/impl/http_client_impl.hpp"
#include "core/exception.hpp"
#include "support/core_http_fixture.hpp"

namespace zentu::libs::core::testing {
namespace {

using namespace std::chrono_literals;
using http::method;
using server = test_kit::http_test_server;

const std::string perform_failed = "curl_easy_perform failed:";

bool starts_with(const std::optional<std::string>& text, const std::string& prefix) {
    return text && text->compare(0, prefix.size(), prefix) == 0;
}

TEST(core_http_method, texts) {
    EXPECT_EQ(http::to_string(method::get), "GET");
    EXPECT_EQ(http::to_string(method::post), "POST");
    EXPECT_EQ(http::to_string(method::put), "PUT");
    EXPECT_EQ(http::to_string(method::del), "DELETE");
    try {
        http::to_string(static_cast<method>(9));
        FAIL() << "no exception";
    } catch (const exception& e) {
        EXPECT_EQ(e.get_string_error(), "Unknown enumeration value");
    }
}

class core_http_sync : public http_client_test {};

TEST_F(core_http_sync, success_carries_the_body_as_data) {
    m_server.set_response("/zones/", reply(200, "[1,2]"));
    m_server.set_response("/created", reply(201, "{}"));
    auto client = make_client(m_server.url());

    const auto ok = client->perform_request(method::get, "/zones/");
    EXPECT_TRUE(ok.ok());
    EXPECT_EQ(ok.status_code(), 200);
    EXPECT_EQ(ok.data(), "[1,2]");
    EXPECT_FALSE(ok.error());

    const auto created = client->perform_request(method::post, "/created", "{\"a\":1}");
    EXPECT_TRUE(created.ok());
    EXPECT_EQ(created.status_code(), 201);
    EXPECT_EQ(created.data(), "{}");
}

TEST_F(core_http_sync, error_statuses_carry_the_body_as_error) {
    m_server.set_response("/missing", reply(404, "not here"));
    m_server.set_response("/busy", reply(503, "later"));
    auto client = make_client(m_server.url());

    for (const auto& [target, status, body] :
         {std::tuple<std::string, int, std::string>{"/missing", 404, "not here"},
          {"/busy", 503, "later"}}) {
        const auto r = client->perform_request(method::get, target);
        EXPECT_FALSE(r.ok()) << target;
        EXPECT_EQ(r.status_code(), status) << target;
        EXPECT_FALSE(r.data()) << target;
        EXPECT_EQ(r.error(), body) << target;
    }
}

TEST_F(core_http_sync, sends_method_body_and_headers) {
    m_server.set_default_response(reply(200));
    auto client = make_client(m_server.url());

    client->perform_request(method::post, "/alarms/", "{\"state\":\"set\"}");
    client->perform_request(method::get, "/alarms/");
    client->perform_request(method::put, "/alarms/1", "{}");
    client->perform_request(method::del, "/alarms/1");

    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, "{\"state\":\"set\"}");
    EXPECT_EQ(requests[0].headers.at("content-type"), "application/json");
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].body, "");
    EXPECT_EQ(requests[1].headers.count("content-type"), 0u);
    EXPECT_EQ(requests[2].method, "PUT");
    EXPECT_EQ(requests[2].body, "{}");
    EXPECT_EQ(requests[3].method, "DELETE");
    EXPECT_EQ(requests[3].headers.count("content-type"), 0u);
    for (const auto& request : requests)
        EXPECT_EQ(request.headers.at("user-agent"), "marovane");
}

TEST_F(core_http_sync, base_url_and_address_are_joined_as_they_are) {
    m_server.set_default_response(reply(200));
    make_client(m_server.url() + "/api")->perform_request(method::get, "/zones/");
    make_client(m_server.url() + "/api/")->perform_request(method::get, "nodes/?page=2");
    make_client(m_server.url() + "/api")->perform_request(method::get, "x");

    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].target, "/api/zones/");
    EXPECT_EQ(requests[1].target, "/api/nodes/?page=2");
    EXPECT_EQ(requests[2].target, "/apix");
}

TEST_F(core_http_sync, disabled_method_is_answered_without_traffic) {
    m_server.set_default_response(reply(500, "must not be reached"));
    m_server.set_response("/zones/", reply(200, "[]"));
    auto client = make_client(m_server.url(), 5s, {method::post});

    const auto posted = client->perform_request(method::post, "/alarms/", "{\"a\":1}");
    EXPECT_EQ(posted.status_code(), 200);
    EXPECT_EQ(posted.data(), "");
    EXPECT_FALSE(posted.error());
    EXPECT_TRUE(posted.not_sent());

    const auto got = client->perform_request(method::get, "/zones/");
    EXPECT_EQ(got.data(), "[]");
    EXPECT_FALSE(got.not_sent());
    const auto requests = m_server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
}

TEST_F(core_http_sync, follows_redirects_over_http) {
    m_server.set_redirect("/old", m_server.url() + "/new");
    m_server.set_response("/new", reply(200, "moved"));
    const auto r = make_client(m_server.url())->perform_request(method::get, "/old");
    EXPECT_EQ(r.status_code(), 200);
    EXPECT_EQ(r.data(), "moved");
}

TEST_F(core_http_sync, only_http_and_https_are_spoken) {
    m_server.set_redirect("/leak", "file:///etc/hostname");
    const auto redirected = make_client(m_server.url())->perform_request(method::get, "/leak");
    EXPECT_EQ(redirected.status_code(), 302);
    EXPECT_FALSE(redirected.data());
    EXPECT_EQ(
        redirected.error(),
        "redirected (status 302) to file:///etc/hostname; not followed: protocol not allowed");

    // Allowed by libcurl's own default redirect set.
    std::string closed_port_url;
    {
        server gone;
        closed_port_url = "ftp://127.0.0.1:" + std::to_string(gone.port()) + "/x";
    }
    m_server.set_redirect("/ftp", closed_port_url);
    const auto to_ftp = make_client(m_server.url())->perform_request(method::get, "/ftp");
    EXPECT_EQ(to_ftp.error(), "redirected (status 302) to " + closed_port_url +
                                  "; not followed: protocol not allowed");

    const auto local = make_client("file:///etc/")->perform_request(method::get, "hostname");
    EXPECT_FALSE(local.status_code());
    EXPECT_EQ(local.error(), perform_failed +
                                 "Unsupported protocol: Protocol \"file\" not supported or "
                                 "disabled in libcurl");
}

TEST_F(core_http_sync, total_timeout_gives_a_transfer_error) {
    auto slow = reply(200, "late");
    slow.delay = 3s;
    m_server.set_response("/slow", slow);
    const auto r = make_client(m_server.url(), 1s)->perform_request(method::get, "/slow");
    EXPECT_FALSE(r.status_code());
    EXPECT_FALSE(r.data());
    // libcurl's detail follows its generic text.
    EXPECT_TRUE(starts_with(r.error(), perform_failed + "Timeout was reached: Operation timed out"))
        << r.error().value_or("");
}

// A stop signal must not wait for a platform that hangs at start-up.
TEST_F(core_http_sync, stopping_the_loop_aborts_a_request_in_flight) {
    auto hung = reply(200, "never in time");
    hung.delay = 30s;
    m_server.set_response("/hung", hung);
    auto client = make_client(m_server.url(), 60s);
    std::thread stopper([&] {
        m_server.wait_for_requests(1, 10s);
        m_loop->stop();
    });
    const auto start = std::chrono::steady_clock::now();
    const auto r = client->perform_request(method::get, "/hung");
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    EXPECT_EQ(r.error(), perform_failed +
                             "Operation was aborted by an application callback: Callback aborted");
}

TEST_F(core_http_sync, refused_connection_gives_a_transfer_error) {
    std::string closed_url;
    {
        server gone;
        closed_url = gone.url();
    }
    const auto r = make_client(closed_url)->perform_request(method::get, "/");
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.status_code());
    EXPECT_TRUE(starts_with(r.error(), perform_failed +
                                           "Couldn't connect to server: Failed to "
                                           "connect to 127.0.0.1 port " +
                                           closed_url.substr(closed_url.rfind(':') + 1) + " "))
        << r.error().value_or("");
}

// SIGPIPE keeps its default action here: a signal would end the test program.
TEST_F(core_http_sync, peer_closing_mid_transfer_is_a_transfer_error) {
    auto cut = reply(200, "partial");
    cut.truncate = true;
    m_server.set_response("/cut", cut);
    auto reset = reply(200);
    reset.reset_after_headers = true;
    m_server.set_response("/reset", reset);
    auto client = make_client(m_server.url());

    const auto truncated = client->perform_request(method::get, "/cut");
    EXPECT_FALSE(truncated.status_code());
    EXPECT_TRUE(starts_with(truncated.error(), perform_failed)) << truncated.error().value_or("");

    const std::string upload(900 * 1024, 'x');
    const auto refused = client->perform_request(method::post, "/reset", upload);
    EXPECT_FALSE(refused.ok());
    EXPECT_TRUE(starts_with(refused.error(), perform_failed)) << refused.error().value_or("");

    m_server.set_response("/after", reply(200, "alive"));
    EXPECT_EQ(client->perform_request(method::get, "/after").data(), "alive");
}

TEST_F(core_http_sync, easy_handle_failure_throws_to_the_caller) {
    http::client_impl client(*m_loop, m_loop->get_logger(),
                             settings_of(m_server.url(), 5s, {method::put}, 1),
                             [] { return static_cast<CURL*>(nullptr); });
    try {
        client.perform_request(method::get, "/");
        FAIL() << "no exception";
    } catch (const check_failed_exception& e) {
        EXPECT_EQ(e.get_string_error(), "check failed: curl_handle != NULL");
    }
    // A disabled method needs no handle.
    EXPECT_EQ(client.perform_request(method::put, "/").status_code(), 200);
    EXPECT_EQ(m_server.request_count(), 0u);
}

}  // namespace
}  // namespace zentu::libs::core::testing
