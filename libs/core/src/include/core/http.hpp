#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/async_operation_handle.hpp"

namespace zentu::libs::core::http {

enum class method { get = 0, post = 1, put = 2, del = 3 };

// "GET", "POST", "PUT", "DELETE"; throws exception "Unknown enumeration value".
std::string_view to_string(method m);

// Outcome of one request. Transport failures have no status code.
class result {
public:
    result() = default;
    result(std::optional<int> code, std::optional<std::string> data,
           std::optional<std::string> error)
        : m_code(code), m_data(std::move(data)), m_error(std::move(error)) {}

    bool ok() const noexcept { return m_code && *m_code >= 200 && *m_code <= 299; }
    // The client answered itself because the method is disabled (read-only
    // mode): status 200, nothing reached the server.
    bool not_sent() const noexcept { return m_not_sent; }
    const std::optional<int>& status_code() const noexcept { return m_code; }
    const std::optional<std::string>& data() const& noexcept { return m_data; }
    std::optional<std::string> data() && noexcept { return std::move(m_data); }
    const std::optional<std::string>& error() const noexcept { return m_error; }

    std::optional<int> m_code;
    std::optional<std::string> m_data;
    std::optional<std::string> m_error;
    bool m_not_sent = false;
};

// Client of one REST server. Transport and HTTP failures come back as results;
// only a synchronous request that cannot get a libcurl handle throws.
//
// Threading: synchronous requests may be made from any thread and block it
// for up to the total timeout. Asynchronous requests, their handles and the
// client itself belong to the events loop's thread: transfers run on a worker
// pool, callbacks on the loop. Keep a handle until its callback has run;
// dropping it abandons the request. A handle restarted after the client is
// gone does nothing.
//
// The process must ignore SIGPIPE: a transfer may write to a connection the
// peer has closed.
class client {
public:
    using ptr = std::unique_ptr<client>;
    using handle = async_operation_handle<result>;
    using callback = handle::callback;

    virtual ~client() = default;

    virtual result perform_request(method m, std::string_view address) = 0;
    virtual result perform_request(method m, std::string_view address, std::string_view body) = 0;
    virtual handle::ptr perform_async_request(method m, std::string address, callback cb) = 0;
    virtual handle::ptr perform_async_request(method m, std::string address, std::string body,
                                              callback cb) = 0;
    virtual handle::ptr perform_async_request(method m, std::string address, std::string body) = 0;
};

}  // namespace zentu::libs::core::http
