#include <gtest/gtest.h>

#include <string>

#include "support/core_http_fixture.hpp"

// What the client refuses to take for an answer: redirects it does not follow
// and bodies over the limit are failures, never a success with someone
// else's page or a cut-off body.
namespace zentu::libs::core::testing {
namespace {

using namespace std::chrono_literals;
using http::method;

class core_http_transport : public http_client_test {
protected:
    http::result post(const std::string& target) {
        return make_client(m_server.url())->perform_request(method::post, target, "{\"a\":1}");
    }
    http::result get(const std::string& target) {
        return make_client(m_server.url())->perform_request(method::get, target);
    }
};

// A proxy or single sign-on page answering 200 must not confirm an alarm.
TEST_F(core_http_transport, post_never_follows_a_redirect) {
    m_server.set_redirect("/alarms/", "https://sso.example/login");
    m_server.set_response("/login", reply(200, "<html>login</html>"));
    const std::string refused =
        "redirected (status 302) to https://sso.example/login; not followed";

    const auto r = post("/alarms/");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.status_code(), 302);
    EXPECT_FALSE(r.data());
    EXPECT_EQ(r.error(), refused);

    // The asynchronous path applies the same rule.
    auto client = make_client(m_server.url());
    std::optional<http::result> answer;
    auto handle = client->perform_async_request(method::post, "/alarms/", "{}",
                                                [&](http::result a) { answer = std::move(a); });
    ASSERT_TRUE(run_until([&] { return answer.has_value(); }));
    EXPECT_EQ(answer->status_code(), 302);
    EXPECT_EQ(answer->error(), refused);

    m_server.set_redirect("/relative", "/login", 307);
    EXPECT_EQ(post("/relative").error(),
              "redirected (status 307) to " + m_server.url() + "/login; not followed");
    m_server.set_response("/nowhere", reply(303));
    EXPECT_EQ(post("/nowhere").error(), "redirected (status 303) without a Location; not followed");

    for (const auto& request : m_server.requests())
        EXPECT_EQ(request.method, "POST") << request.target;
    EXPECT_EQ(m_server.request_count(), 4u);
}

TEST_F(core_http_transport, get_follows_three_redirects_and_no_more) {
    m_server.set_redirect("/r2", m_server.url() + "/r3");
    m_server.set_redirect("/r3", m_server.url() + "/r4");
    m_server.set_redirect("/r4", m_server.url() + "/r5");
    m_server.set_redirect("/r5", m_server.url() + "/list");
    m_server.set_response("/list", reply(200, "[]"));

    const auto three = get("/r3");  // r3, r4, r5, list
    EXPECT_TRUE(three.ok());
    EXPECT_EQ(three.data(), "[]");

    const auto four = get("/r2");
    EXPECT_FALSE(four.ok());
    EXPECT_EQ(four.status_code(), 302);
    EXPECT_EQ(four.error(), "redirected (status 302) to " + m_server.url() +
                                "/list; not followed: more than 3 redirects");
}

// Content-Length over the limit is refused before the body is read; a
// chunked body is cut at the limit. GETs carry lists and get a larger limit.
TEST_F(core_http_transport, body_over_the_limit_fails_the_request) {
    const std::size_t limit = http::max_answer_body_bytes;
    const std::string over = "response body over " + std::to_string(limit) + " bytes: cut off";
    m_server.set_response("/fits", reply(200, std::string(limit, 'a')));
    m_server.set_response("/long", reply(200, std::string(limit + 1, 'b')));
    auto chunked = reply(500, std::string(limit + 1, 'c'));
    chunked.chunked = true;
    m_server.set_response("/chunked", chunked);

    EXPECT_EQ(post("/fits").data()->size(), limit);
    for (const std::string target : {"/long", "/chunked"}) {
        const auto r = post(target);
        EXPECT_FALSE(r.ok()) << target;
        EXPECT_FALSE(r.status_code()) << target;
        EXPECT_FALSE(r.data()) << target;
        EXPECT_EQ(r.error(), over) << target;
    }

    EXPECT_EQ(get("/long").data()->size(), limit + 1);
    auto huge = reply(200, "[");
    huge.truncate = true;
    huge.announced_length = http::max_get_body_bytes + 1;
    m_server.set_response("/huge", huge);
    EXPECT_EQ(get("/huge").error(),
              "response body over " + std::to_string(http::max_get_body_bytes) + " bytes: cut off");
}

}  // namespace
}  // namespace zentu::libs::core::testing
