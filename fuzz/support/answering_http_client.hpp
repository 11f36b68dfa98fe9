#pragma once

#include <string>
#include <utility>

#include "core/http.hpp"

namespace zentu::fuzz {

// Answers every synchronous request with 200 and the body it was given, so a
// target can feed its input to the code that loads REST lists. Asynchronous
// requests are not made by the code under test and get no handle.
// Single-threaded: used only on the target's thread.
class answering_http_client : public libs::core::http::client {
public:
    using method = libs::core::http::method;
    using result = libs::core::http::result;

    void set_body(std::string body) { m_body = std::move(body); }

    result perform_request(method, std::string_view) override { return {200, m_body, {}}; }
    result perform_request(method, std::string_view, std::string_view) override {
        return {200, m_body, {}};
    }
    handle::ptr perform_async_request(method, std::string, callback) override { return nullptr; }
    handle::ptr perform_async_request(method, std::string, std::string, callback) override {
        return nullptr;
    }
    handle::ptr perform_async_request(method, std::string, std::string) override { return nullptr; }

private:
    std::string m_body;
};

}  // namespace zentu::fuzz
