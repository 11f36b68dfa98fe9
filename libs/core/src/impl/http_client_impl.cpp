#include "http_client_impl.hpp"

#include <algorithm>
#include "core/constants.hpp"

#include "core/exception.hpp"

namespace zentu::libs::core::http {
namespace {

const char* const json_content_type = "content-type: application/json";
const char* const allowed_protocols = "http,https";
constexpr long connect_timeout_seconds = 10;
// How long the transfer thread sleeps in libcurl when nothing wakes it.
constexpr int idle_poll_ms = 1000;

std::size_t append_to_string(char* data, std::size_t size, std::size_t count, void* user) noexcept {
    try {
        static_cast<std::string*>(user)->append(data, size * count);
        return size * count;
    } catch (...) {
        return 0;  // makes libcurl fail the transfer
    }
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
                         const std::vector<method>& disabled_methods, int max_transfers,
                         easy_handle_factory make_easy_handle)
    : m_main_events_loop(main_events_loop),
      m_logger(logger),
      m_address(address),
      m_timeout(timeout),
      m_disabled_methods(disabled_methods.begin(), disabled_methods.end()),
      m_make_easy_handle(make_easy_handle),
      m_max_transfers(static_cast<std::size_t>(max_transfers)) {
    ZENTU_CHECK(max_transfers > 0);
    m_multi.reset(curl_multi_init());
    ZENTU_CHECK(m_multi != nullptr);
    // Each transfer has a connection of its own, and connections are kept
    // for the next transfers.
    ZENTU_CHECK(curl_multi_setopt(m_multi.get(), CURLMOPT_MAX_TOTAL_CONNECTIONS,
                                  static_cast<long>(max_transfers)) == CURLM_OK);
    ZENTU_CHECK(curl_multi_setopt(m_multi.get(), CURLMOPT_MAXCONNECTS,
                                  static_cast<long>(max_transfers)) == CURLM_OK);
    m_thread = std::thread([this] { run_transfers(); });
}

client_impl::~client_impl() {
    stop();
}

void client_impl::stop() noexcept {
    m_stopping = true;
    curl_multi_wakeup(m_multi.get());
    if (m_thread.joinable())
        m_thread.join();
    abort_all();
}

// ---- blocking requests ---------------------------------------------------------------

result client_impl::perform_request(method m, std::string_view address) {
    return perform_request(m, address, std::string_view());
}

result client_impl::perform_request(method m, std::string_view address, std::string_view body) {
    if (auto local = answer_locally(m))
        return std::move(*local);
    CURL* curl_handle = m_make_easy_handle();
    // The check's text, "curl_handle != NULL", is a message operators know.
    ZENTU_CHECK(curl_handle != NULL);  // NOLINT(modernize-use-nullptr)
    const curl_easy_ptr owner(curl_handle);
    std::string url, received;
    curl_slist_ptr headers;
    // A stop of the loop ends the wait: start-up requests block the loop's thread.
    prepare(curl_handle, m, address, body, url, received, headers,
            [](void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept -> int {
                const auto* self = static_cast<const client_impl*>(user);
                return self->m_stopping || self->m_main_events_loop.is_stopped() ? 1 : 0;
            });
    return outcome(curl_handle, curl_easy_perform(curl_handle), received);
}

// ---- asynchronous requests --------------------------------------------------------------

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
    auto h = handle_impl::create(
        m_main_events_loop,
        [this, lifetime = std::weak_ptr<const bool>(m_lifetime), m, address = std::move(address),
         body = std::move(body)](const handle_impl::completion& completion) {
            if (lifetime.expired())
                return;
            if (auto local = answer_locally(m)) {
                completion.return_result(std::move(*local));
                return;
            }
            {
                const std::lock_guard<std::mutex> lock(m_jobs_mutex);
                m_jobs.push_back({m, address, body, completion});
            }
            curl_multi_wakeup(m_multi.get());
        });
    h->start();
    return h;
}

std::optional<result> client_impl::answer_locally(method m) const {
    to_string(m);  // an invalid method fails even when it would not be sent
    if (m_disabled_methods.count(m) == 0)
        return std::nullopt;
    result local(200, std::string(), std::nullopt);
    local.m_not_sent = true;
    return local;
}

// ---- the transfer thread -------------------------------------------------------------------

void client_impl::run_transfers() {
    while (!m_stopping) {
        start_waiting_jobs();
        int running = 0;
        if (curl_multi_perform(m_multi.get(), &running) != CURLM_OK)
            m_logger.error("%1%") % "curl_multi_perform failed";
        finish_transfers();
        if (m_stopping)
            break;
        int ready = 0;
        curl_multi_poll(m_multi.get(), nullptr, 0, idle_poll_ms, &ready);
    }
}

void client_impl::start_waiting_jobs() {
    for (;;) {
        std::optional<job> next;
        {
            const std::lock_guard<std::mutex> lock(m_jobs_mutex);
            if (m_jobs.empty() || m_transfers.size() >= m_max_transfers)
                return;
            next.emplace(std::move(m_jobs.front()));
            m_jobs.pop_front();
        }
        if (next->completion.is_abandoned())
            continue;
        auto t = std::make_unique<transfer>(transfer{std::move(*next), {}, {}, {}, {}});
        t->easy.reset(m_make_easy_handle());
        if (!t->easy) {
            m_logger.error("%1%") % "curl_easy_init failed";
            t->request.completion.return_result(transfer_failed("curl_easy_init failed"));
            continue;
        }
        try {
            prepare(t->easy.get(), t->request.m, t->request.address, t->request.body, t->url,
                    t->received, t->headers,
                    [](void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept {
                        return static_cast<const client_impl*>(user)->m_stopping ? 1 : 0;
                    });
            set_option(t->easy.get(), CURLOPT_PRIVATE, static_cast<void*>(t.get()));
        } catch (const exception& e) {
            t->request.completion.return_result(transfer_failed(e.get_string_error()));
            continue;
        }
        if (curl_multi_add_handle(m_multi.get(), t->easy.get()) != CURLM_OK) {
            t->request.completion.return_result(transfer_failed("curl_multi_add_handle failed"));
            continue;
        }
        m_transfers.push_back(std::move(t));
    }
}

void client_impl::finish_transfers() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi.get(), &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL* easy = message->easy_handle;
        const CURLcode code = message->data.result;
        void* owner = nullptr;
        curl_easy_getinfo(easy, CURLINFO_PRIVATE, &owner);
        curl_multi_remove_handle(m_multi.get(), easy);
        const auto it =
            std::find_if(m_transfers.begin(), m_transfers.end(),
                         [owner](const std::unique_ptr<transfer>& t) { return t.get() == owner; });
        if (it == m_transfers.end())
            continue;
        std::unique_ptr<transfer> done = std::move(*it);
        m_transfers.erase(it);
        if (m_stopping || done->request.completion.is_abandoned())
            continue;
        done->request.completion.return_result(outcome(easy, code, done->received));
    }
}

void client_impl::abort_all() noexcept {
    for (auto& t : m_transfers)
        curl_multi_remove_handle(m_multi.get(), t->easy.get());
    m_transfers.clear();
    const std::lock_guard<std::mutex> lock(m_jobs_mutex);
    m_jobs.clear();
}

// ---- one transfer ------------------------------------------------------------------------

void client_impl::prepare(CURL* curl_handle, method m, std::string_view address,
                          std::string_view body, std::string& url, std::string& received,
                          curl_slist_ptr& headers, abort_check should_abort) {
    if (!body.empty()) {
        headers.reset(curl_slist_append(nullptr, json_content_type));
        ZENTU_CHECK(headers != nullptr);
        set_option(curl_handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        set_option(curl_handle, CURLOPT_POSTFIELDS, body.data());
    }
    url.reserve(m_address.size() + address.size());
    url.append(m_address).append(address);

    // The constant is a literal, so its data is terminated.
    set_option(curl_handle, CURLOPT_USERAGENT, constants::project_name.data());
    set_option(curl_handle, CURLOPT_HTTPHEADER, headers.get());
    set_option(curl_handle, CURLOPT_CUSTOMREQUEST, to_string(m).data());
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
    set_option(curl_handle, CURLOPT_XFERINFOFUNCTION, should_abort);
    set_option(curl_handle, CURLOPT_XFERINFODATA, static_cast<void*>(this));
    set_option(curl_handle, CURLOPT_SHARE, m_shared_curl_data.get_ptr());
    set_option(curl_handle, CURLOPT_URL, url.c_str());
}

result client_impl::outcome(CURL* curl_handle, CURLcode code, std::string& received) {
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
