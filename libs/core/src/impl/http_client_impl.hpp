#pragma once

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/async_operation_handle_impl.hpp"
#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "http_curl_handles.hpp"
#include "http_shared_curl_data.hpp"

namespace zentu::libs::core::http {

// libcurl easy transfers against one base URL.
//
// Threading: perform_request may be called from any thread and blocks it for
// up to the timeout; it uses a fresh easy handle per call. perform_async_request
// and the handles it returns belong to the main loop's thread: transfers run
// on `threads` worker threads (at most that many at once), each reusing its
// own easy handle and so its own connections, and every callback runs on the
// main loop. Cookies, DNS cache and TLS sessions are shared by all transfers.
// The client must be destroyed on the main loop's thread, before the loop;
// destruction aborts transfers in flight and waits for the workers. A handle
// restarted after the client is gone does nothing.
//
// The process must ignore SIGPIPE: a TLS layer may write to a socket the peer
// has closed, and libcurl cannot always keep that signal away.
class client_impl : public client {
public:
    // Makes an easy handle or returns null; replaceable to exercise failures.
    using easy_handle_factory = CURL* (*)();

    client_impl(events_loop& main_events_loop, const component_logger& logger,
                const std::string& address, std::chrono::seconds timeout,
                const std::vector<method>& disabled_methods, int threads,
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

    handle_impl::ptr perform_async_request_impl(method m, std::string address, std::string body);
    void run_worker_job(method m, const std::string& address, const std::string& body,
                        const handle_impl::completion& completion);
    result perform_on_worker(method m, const std::string& address, const std::string& body);
    // Disabled methods are answered here, without a transfer.
    std::optional<result> answer_locally(method m) const;
    // Performs one transfer on a handle in its default state.
    result perform_request_impl(CURL* curl_handle, method m, std::string_view address,
                                std::string_view body);
    void run_worker();
    void stop_workers() noexcept;

    events_loop& m_main_events_loop;
    const component_logger& m_logger;
    const std::string m_address;
    const std::chrono::seconds m_timeout;
    const std::set<method> m_disabled_methods;
    const easy_handle_factory m_make_easy_handle;
    shared_curl_data m_shared_curl_data;
    std::atomic<bool> m_stopping{false};
    // Expires with the client; handles that outlive it see that.
    const std::shared_ptr<const bool> m_lifetime = std::make_shared<const bool>(true);
    boost::asio::io_context m_worker_io_context;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type>
        m_worker_events_loop_work;
    std::vector<std::thread> m_worker_thread_pool;
};

}  // namespace zentu::libs::core::http
