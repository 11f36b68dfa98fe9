#include "http_client_impl.hpp"

#include <boost/asio/post.hpp>

#include "core/constants.hpp"
#include "core/exception.hpp"
#include "core/scope_guard.hpp"

namespace zentu::libs::core::http {
namespace {

const char* const json_content_type = "content-type: application/json";
const char* const allowed_protocols = "http,https";
constexpr long connect_timeout_seconds = 10;

// The easy handle of the current worker thread; it keeps that thread's
// connections alive between transfers. Null on other threads.
struct worker_slot {
    curl_easy_ptr handle;
};
thread_local worker_slot* t_worker_slot = nullptr;

std::size_t append_to_string(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    try {
        static_cast<std::string*>(user)->append(data, size * count);
        return size * count;
    } catch (...) {
        return 0;  // makes libcurl fail the transfer
    }
}

int abort_when_stopping(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
    return static_cast<const std::atomic<bool>*>(user)->load() ? 1 : 0;
}

template <typename T>
void set_option(CURL* curl_handle, CURLoption option, T value) {
    const CURLcode code = curl_easy_setopt(curl_handle, option, value);
    if (code != CURLE_OK)
        ZENTU_THROW(std::string("curl_easy_setopt failed:") + curl_easy_strerror(code));
}

result transfer_failed(std::string error) {
    return result(std::nullopt, std::nullopt, std::move(error));
}

}  // namespace

client_impl::client_impl(events_loop& main_events_loop, const component_logger& logger,
                         const std::string& address, std::chrono::seconds timeout,
                         const std::vector<method>& disabled_methods, int threads,
                         easy_handle_factory make_easy_handle)
    : m_main_events_loop(main_events_loop),
      m_logger(logger),
      m_address(address),
      m_timeout(timeout),
      m_disabled_methods(disabled_methods.begin(), disabled_methods.end()),
      m_make_easy_handle(make_easy_handle),
      m_worker_events_loop_work(boost::asio::make_work_guard(m_worker_io_context)) {
    ZENTU_CHECK(threads > 0);
    m_worker_thread_pool.reserve(static_cast<std::size_t>(threads));
    try {
        for (int i = 0; i < threads; ++i)
            m_worker_thread_pool.emplace_back([this] { run_worker(); });
    } catch (...) {
        stop_workers();
        throw;
    }
}

client_impl::~client_impl() {
    stop_workers();
}

void client_impl::stop_workers() noexcept {
    // Transfers in flight see the flag and abort; queued jobs are dropped.
    m_stopping = true;
    m_worker_events_loop_work.reset();
    m_worker_io_context.stop();
    for (auto& thread : m_worker_thread_pool)
        if (thread.joinable())
            thread.join();
}

result client_impl::perform_request(method m, std::string_view address) {
    return perform_request(m, address, std::string_view());
}

result client_impl::perform_request(method m, std::string_view address, std::string_view body) {
    if (auto local = answer_locally(m))
        return std::move(*local);
    CURL* curl_handle = m_make_easy_handle();
    ZENTU_CHECK(curl_handle != NULL);
    const curl_easy_ptr owner(curl_handle);
    return perform_request_impl(curl_handle, m, address, body);
}

client::handle::ptr client_impl::perform_async_request(method m, std::string address, callback cb) {
    auto h = perform_async_request_impl(m, std::move(address), std::string());
    h->set_callback(std::move(cb));
    return h;
}

client::handle::ptr client_impl::perform_async_request(method m, std::string address,
                                                       std::string body, callback cb) {
    auto h = perform_async_request_impl(m, std::move(address), std::move(body));
    h->set_callback(std::move(cb));
    return h;
}

client::handle::ptr client_impl::perform_async_request(method m, std::string address,
                                                       std::string body) {
    return perform_async_request_impl(m, std::move(address), std::move(body));
}

// The callback may be installed after start(): results reach it only through
// the main loop, whose thread is the caller's.
client_impl::handle_impl::ptr client_impl::perform_async_request_impl(method m, std::string address,
                                                                      std::string body) {
    auto shared_address = std::make_shared<const std::string>(std::move(address));
    auto shared_body = std::make_shared<const std::string>(std::move(body));
    auto h = handle_impl::create(
        m_main_events_loop,
        [this, lifetime = std::weak_ptr<const bool>(m_lifetime), m, shared_address,
         shared_body](const handle_impl::completion& completion) {
            if (lifetime.expired())
                return;
            boost::asio::post(m_worker_io_context,
                              [this, m, shared_address, shared_body, completion] {
                                  run_worker_job(m, *shared_address, *shared_body, completion);
                              });
        });
    h->start();
    return h;
}

void client_impl::run_worker() {
    worker_slot slot;
    t_worker_slot = &slot;
    const auto clear_slot = execute_on_scope_exit([] { t_worker_slot = nullptr; });
    for (;;) {
        try {
            m_worker_io_context.run();
            return;
        } catch (...) {
            m_logger.log_exception(ZENTU_SOURCE_LOCATION());
        }
    }
}

void client_impl::run_worker_job(method m, const std::string& address, const std::string& body,
                                 const handle_impl::completion& completion) {
    if (completion.is_abandoned())
        return;
    result outcome;
    try {
        outcome = perform_on_worker(m, address, body);
    } catch (const exception& e) {
        outcome = transfer_failed(e.get_string_error());
    } catch (const std::exception& e) {
        outcome = transfer_failed(e.what());
    } catch (...) {
        outcome = transfer_failed("Unknown exception");
    }
    // Nothing is delivered once the client is going away.
    if (m_stopping || completion.is_abandoned())
        return;
    completion.return_result(std::move(outcome));
}

result client_impl::perform_on_worker(method m, const std::string& address,
                                      const std::string& body) {
    if (auto local = answer_locally(m))
        return std::move(*local);
    ZENTU_CHECK(t_worker_slot != nullptr);
    worker_slot& slot = *t_worker_slot;
    if (!slot.handle) {
        slot.handle.reset(m_make_easy_handle());
        if (!slot.handle) {
            m_logger.error("%1%") % "curl_easy_init failed";
            return transfer_failed("curl_easy_init failed");
        }
    }
    // Back to defaults for the next transfer; connections stay open.
    const auto reset = execute_on_scope_exit([&slot] { curl_easy_reset(slot.handle.get()); });
    return perform_request_impl(slot.handle.get(), m, address, body);
}

std::optional<result> client_impl::answer_locally(method m) const {
    to_string(m);  // an invalid method fails even when it would not be sent
    if (m_disabled_methods.count(m) == 0)
        return std::nullopt;
    return result(200, std::string(), std::nullopt);
}

result client_impl::perform_request_impl(CURL* curl_handle, method m, std::string_view address,
                                         std::string_view body) {
    curl_slist_ptr headers;
    if (!body.empty()) {
        headers.reset(curl_slist_append(nullptr, json_content_type));
        ZENTU_CHECK(headers != nullptr);
        set_option(curl_handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        set_option(curl_handle, CURLOPT_POSTFIELDS, body.data());
    }
    const std::string method_text(to_string(m));
    const std::string user_agent(constants::project_name);
    std::string url;
    url.reserve(m_address.size() + address.size());
    url.append(m_address).append(address);
    std::string received;

    set_option(curl_handle, CURLOPT_USERAGENT, user_agent.c_str());
    set_option(curl_handle, CURLOPT_HTTPHEADER, headers.get());
    set_option(curl_handle, CURLOPT_CUSTOMREQUEST, method_text.c_str());
    set_option(curl_handle, CURLOPT_WRITEFUNCTION, &append_to_string);
    set_option(curl_handle, CURLOPT_WRITEDATA, &received);
    set_option(curl_handle, CURLOPT_TIMEOUT, static_cast<long>(m_timeout.count()));
    set_option(curl_handle, CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds);
    set_option(curl_handle, CURLOPT_FOLLOWLOCATION, 1L);
    // Neither the base URL nor a redirect may lead to file://, ftp:// and the like.
#if LIBCURL_VERSION_NUM >= 0x075500
    set_option(curl_handle, CURLOPT_PROTOCOLS_STR, allowed_protocols);
    set_option(curl_handle, CURLOPT_REDIR_PROTOCOLS_STR, allowed_protocols);
#else
    (void)allowed_protocols;
    set_option(curl_handle, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    set_option(curl_handle, CURLOPT_REDIR_PROTOCOLS,
               static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    // Signals cannot be used for time-outs on a multi-threaded process.
    set_option(curl_handle, CURLOPT_NOSIGNAL, 1L);
    set_option(curl_handle, CURLOPT_NOPROGRESS, 0L);
    set_option(curl_handle, CURLOPT_XFERINFOFUNCTION, &abort_when_stopping);
    set_option(curl_handle, CURLOPT_XFERINFODATA, &m_stopping);
    set_option(curl_handle, CURLOPT_SHARE, m_shared_curl_data.get_ptr());
    set_option(curl_handle, CURLOPT_URL, url.c_str());

    const CURLcode code = curl_easy_perform(curl_handle);
    if (code != CURLE_OK)
        return transfer_failed(std::string("curl_easy_perform failed:") + curl_easy_strerror(code));

    long status = 0;
    if (curl_easy_getinfo(curl_handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status == 0)
        status = 200;
    const int code_value = static_cast<int>(status);
    if (code_value >= 200 && code_value <= 299)
        return result(code_value, std::move(received), std::nullopt);
    return result(code_value, std::nullopt, std::move(received));
}

}  // namespace zentu::libs::core::http
