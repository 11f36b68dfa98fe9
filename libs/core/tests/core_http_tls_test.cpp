#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/core_http_fixture.hpp"
#include "test_kit/tls_test_server.hpp"

// https against a real TLS server whose certificate no system store knows.
namespace zentu::libs::core::testing {
namespace {

using http::method;

class core_http_tls : public http_client_test {
protected:
    http::client_settings trusting(const std::string& ca_file) const {
        auto settings = settings_of(m_tls.url());
        settings.ca_file = ca_file;
        return settings;
    }

    test_kit::tls_test_server m_tls;
};

// The operator must read why, not only libcurl's generic text for the code.
TEST_F(core_http_tls, untrusted_certificate_names_the_precise_cause) {
    m_tls.set_response("zones", 200, "[]");
    const std::string cause =
        "curl_easy_perform failed:SSL peer certificate or SSH remote key was not OK: "
        "SSL certificate problem: self-signed certificate";
    auto client = make_client(m_tls.url());

    const auto blocking = client->perform_request(method::get, "/zones");
    EXPECT_FALSE(blocking.status_code());
    EXPECT_EQ(blocking.error(), cause);

    std::optional<http::result> answer;
    auto handle = client->perform_async_request(method::post, "/zones", "{}",
                                                [&](http::result r) { answer = std::move(r); });
    ASSERT_TRUE(run_until([&] { return answer.has_value(); }));
    EXPECT_EQ(answer->error(), cause);

    const auto unreadable =
        make_client(trusting("/nonexistent/ca.pem"))->perform_request(method::get, "/zones");
    EXPECT_FALSE(unreadable.status_code());
    EXPECT_NE(unreadable.error().value_or("").find("/nonexistent/ca.pem"), std::string::npos)
        << unreadable.error().value_or("");
}

TEST_F(core_http_tls, ca_file_trusts_a_private_ca_and_https_never_redirects_to_http) {
    m_tls.set_response("zones", 200, "[1]");
    m_tls.set_redirect("moved", m_server.url() + "/zones");
    m_server.set_response("/zones", reply(200, "[\"plain http\"]"));
    auto client = make_client(trusting(m_tls.certificate_file()));

    const auto trusted = client->perform_request(method::get, "/zones");
    EXPECT_TRUE(trusted.ok()) << trusted.error().value_or("");
    EXPECT_EQ(trusted.data(), "[1]");

    const auto downgraded = client->perform_request(method::get, "/moved");
    EXPECT_FALSE(downgraded.ok());
    EXPECT_EQ(downgraded.status_code(), 302);
    EXPECT_EQ(downgraded.error(), "redirected (status 302) to " + m_server.url() +
                                      "/zones; not followed: protocol not allowed");
    EXPECT_EQ(m_server.request_count(), 0u);
}

}  // namespace
}  // namespace zentu::libs::core::testing
