#pragma once

#include <json/value.h>

#include <chrono>
#include <string>

namespace zentu::test_kit {

struct http_answer {
    long status = 0;  // 0: no answer; error tells why
    std::string body;
    std::string error;  // libcurl's text of a transport failure
    // The body as JSON; null when it is not JSON.
    Json::Value json() const;
};

// Blocking requests for tests, one libcurl easy handle each, safe to make from
// several threads at once. A transport failure (refused, reset, timed out) is
// an answer with status 0, never an exception.
constexpr std::chrono::seconds default_http_timeout{10};
http_answer http_get(const std::string& url,
                     std::chrono::milliseconds timeout = default_http_timeout);
// Sends body as "Content-Type: application/json".
http_answer http_post(const std::string& url, const std::string& body,
                      std::chrono::milliseconds timeout = default_http_timeout);

}  // namespace zentu::test_kit
