#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/async_operation_handle.hpp"

namespace zentu::libs::core::http {

enum class method { get = 0, post = 1, put = 2, del = 3 };

// "GET", "POST", "PUT", "DELETE"; throws exception "Unknown enumeration value".
std::string_view to_string(method m);

// Largest response body a client takes. Lists of the platform's records come
// by GET (those of 50,000 objects are tens of MB); every other answer, such as
// an alarm's acknowledgement, is small. A bigger body aborts the transfer and
// the request fails with "response body over <limit> bytes: cut off".
constexpr std::size_t max_get_body_bytes = std::size_t{256} * 1024 * 1024;
constexpr std::size_t max_answer_body_bytes = std::size_t{64} * 1024;
// Redirects a GET follows (never from https to http); other methods follow
// none. A redirect not followed is a failure with its status and target.
constexpr long max_get_redirects = 3;

// How a client reaches its server; fixed for the client's life.
struct client_settings {
    // Base URL; each request's address is appended to it as it is.
    std::string address;
    // Whole transfer, connecting included.
    std::chrono::seconds timeout{10};
    // Answered by the client itself, see result::not_sent.
    std::vector<method> disabled_methods;
    // Asynchronous transfers (and connections) at once.
    int max_transfers = 10;
    // CA bundle (PEM) that signs the server's certificate, for a platform with
    // a private CA; empty: the system's trust store. Peer and host name are
    // verified either way.
    std::string ca_file;
};

// Outcome of one request. Transport failures, and bodies over the limit,
// have no status code; a redirect not followed has its 3xx status and an
// error naming it.
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
// only a synchronous request that cannot get a libcurl handle throws. A
// transport failure's error is "curl_easy_perform failed:", libcurl's text for
// the code and, when libcurl says more, ": " and its detail (e.g. "SSL
// certificate problem: self-signed certificate").
//
// Threading: synchronous requests may be made from any thread and block it
// for up to the total timeout. Asynchronous requests, their handles and the
// client itself belong to the events loop's thread: transfers run on the
// client's own thread (one libcurl multi handle), callbacks on the loop. Keep a handle until its
// callback has run; dropping it abandons the request. A handle restarted after the client is gone
// does nothing.
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
