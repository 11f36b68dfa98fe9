#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "async_operation_handle_impl.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "http_curl_handles.hpp"
#include "http_shared_curl_data.hpp"

namespace zentu::libs::core::http {

// libcurl transfers against one base URL.
//
// Threading: perform_request may be called from any thread and blocks it for
// up to the timeout; it uses a fresh easy handle per call and gives up within
// about a second once the main loop is stopped. perform_async_request and the
// handles it returns belong to the main loop's thread: transfers run on one
// thread of the client's own, which drives a libcurl multi handle with at most
// `max_transfers` transfers (and connections) at once and keeps the rest in
// order; every callback runs on the main loop. Connections are reused between
// transfers; cookies, DNS cache and TLS sessions are shared with the blocking
// requests. The client must be destroyed on the main loop's thread, before
// the loop; destruction aborts transfers in flight and drops queued ones
// without callbacks. A handle restarted after the client is gone does nothing.
//
// Transport rules, the same for both kinds of request: only http and https;
// the server's certificate and host name are always verified (against
// ca_file when one is given); a GET follows at most max_get_redirects
// redirects, never from https to http, and no other method follows any; a
// body over the method's limit aborts the transfer. What is not followed or
// taken fails the request, so no answer counts as delivered that the server
// did not give itself.
//
// The process must ignore SIGPIPE: a TLS layer may write to a socket the peer
// has closed, and libcurl cannot always keep that signal away.
class client_impl : public client {
public:
    // Makes an easy handle or returns null; replaceable to exercise failures.
    using easy_handle_factory = CURL* (*)();

    client_impl(events_loop& main_events_loop, const component_logger& logger,
                const client_settings& settings,
                easy_handle_factory make_easy_handle = &curl_easy_init);
    ~client_impl() override;

    result perform_request(method m, std::string_view address) override;
    result perform_request(method m, std::string_view address, std::string_view body) override;
    handle::ptr perform_async_request(method m, std::string address, callback cb) override;
    handle::ptr perform_async_request(method m, std::string address, std::string body,
                                      callback cb) override;
    handle::ptr perform_async_request(method m, std::string address, std::string body) override;

private:
    using handle_impl = async_operation_handle_impl<result>;
    struct curl_multi_deleter {
        void operator()(CURLM* multi) const noexcept { curl_multi_cleanup(multi); }
    };
    using curl_multi_ptr = std::unique_ptr<CURLM, curl_multi_deleter>;

    // A request waiting for a transfer slot.
    struct job {
        method m;
        std::string address;
        std::string body;
        handle_impl::completion completion;
    };
    // What libcurl reads and writes during one transfer; outlives it.
    struct transfer_io {
        method m = method::get;
        std::string url;
        curl_slist_ptr headers;
        std::string received;
        std::size_t body_limit = 0;
        bool cut_off = false;  // the body went over body_limit: the transfer was aborted
        char error[CURL_ERROR_SIZE] = {};  // libcurl's detail of a failure
    };
    // A request on the multi handle; owned by the transfer thread.
    struct transfer {
        job request;
        curl_easy_ptr easy;
        transfer_io io;
    };

    handle_impl::ptr perform_async_request_impl(method m, std::string address, std::string body);
    // Disabled methods are answered here, without a transfer.
    std::optional<result> answer_locally(method m) const;
    // Sets every option of one transfer on a handle in its default state;
    // the progress callback aborts it when should_abort(client) says so.
    using abort_check = int (*)(void* client, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    void prepare(CURL* curl_handle, method m, std::string_view address, std::string_view body,
                 transfer_io& io, abort_check should_abort);
    static result outcome(CURL* curl_handle, CURLcode code, transfer_io& io);
    static std::size_t take_body(char* data, std::size_t size, std::size_t count,
                                 void* user) noexcept;

    void run_transfers();
    void start_waiting_jobs();
    void finish_transfers();
    void abort_all() noexcept;
    void stop() noexcept;

    events_loop& m_main_events_loop;
    const component_logger& m_logger;
    const std::string m_address;
    const std::chrono::seconds m_timeout;
    const std::set<method> m_disabled_methods;
    const std::string m_ca_file;
    // Where a GET's redirect may lead: https only from an https server.
    const char* const m_redirect_protocols;
    const easy_handle_factory m_make_easy_handle;
    const std::size_t m_max_transfers;
    shared_curl_data m_shared_curl_data;
    // Expires with the client; handles that outlive it see that.
    const std::shared_ptr<const bool> m_lifetime = std::make_shared<const bool>(true);
    std::atomic<bool> m_stopping{false};

    curl_multi_ptr m_multi;
    std::mutex m_jobs_mutex;
    std::deque<job> m_jobs;
    // Transfer thread only.
    std::vector<std::unique_ptr<transfer>> m_transfers;
    std::thread m_thread;
};

}  // namespace zentu::libs::core::http
