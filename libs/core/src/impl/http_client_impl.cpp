#include "http_client_impl.hpp"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/constants.hpp"
#include "core/exception.hpp"

namespace zentu::libs::core::http {
namespace {

const char* const json_content_type = "content-type: application/json";
const char* const allowed_protocols = "http,https";
const char* const secure_protocols = "https";
constexpr long connect_timeout_seconds = 10;
// How long the transfer thread sleeps in libcurl when nothing wakes it.
constexpr int idle_poll_ms = 1000;

bool is_https(const std::string& url) {
    return url.size() >= 6 && strncasecmp(url.c_str(), "https:", 6) == 0;
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

std::string cut_off_text(std::size_t limit) {
    return "response body over " + std::to_string(limit) + " bytes: cut off";
}

// libcurl's text for the code, then its error buffer when that says more.
std::string transport_error_text(CURLcode code, const char* detail) {
    std::string text = std::string("curl_easy_perform failed:") + curl_easy_strerror(code);
    std::string more(detail, strnlen(detail, CURL_ERROR_SIZE));
    while (!more.empty() && (more.back() == '\n' || more.back() == ' '))
        more.pop_back();
    if (!more.empty() && more != curl_easy_strerror(code))
        text += ": " + more;
    return text;
}

long response_status(CURL* curl_handle) {
    long status = 0;
    if (curl_easy_getinfo(curl_handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
        return 0;
    return status;
}

std::string info_text(CURL* curl_handle, CURLINFO what) {
    const char* text = nullptr;
    if (curl_easy_getinfo(curl_handle, what, &text) != CURLE_OK || text == nullptr)
        return {};
    return text;
}

// A 3xx answer that was not followed: a failure, never a success.
result not_followed(long status, const std::string& target, const std::string& why) {
    std::string text = "redirected (status " + std::to_string(status) + ")";
    text += target.empty() ? " without a Location" : " to " + target;
    text += "; not followed";
    if (!why.empty())
        text += ": " + why;
    return result(static_cast<int>(status), std::nullopt, std::move(text));
}

}  // namespace

// Never more than the limit is kept: the first chunk that would go over it
// aborts the transfer (chunked bodies announce no length beforehand).
std::size_t client_impl::take_body(char* data, std::size_t size, std::size_t count,
                                   void* user) noexcept {
    auto& io = *static_cast<transfer_io*>(user);
    const std::size_t length = size * count;
    if (length > io.body_limit - io.received.size()) {
        io.cut_off = true;
        return 0;  // makes libcurl fail the transfer
    }
    try {
        io.received.append(data, length);
        return length;
    } catch (...) {
        return 0;
    }
}

client_impl::client_impl(events_loop& main_events_loop, const component_logger& logger,
                         const client_settings& settings, easy_handle_factory make_easy_handle)
    : m_main_events_loop(main_events_loop),
      m_logger(logger),
      m_address(settings.address),
      m_timeout(settings.timeout),
      m_disabled_methods(settings.disabled_methods.begin(), settings.disabled_methods.end()),
      m_ca_file(settings.ca_file),
      m_redirect_protocols(is_https(settings.address) ? secure_protocols : allowed_protocols),
      m_make_easy_handle(make_easy_handle),
      m_max_transfers(static_cast<std::size_t>(settings.max_transfers)) {
    const int max_transfers = settings.max_transfers;
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
    transfer_io io;
    // A stop of the loop ends the wait: start-up requests block the loop's thread.
    prepare(curl_handle, m, address, body, io,
            [](void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept -> int {
                const auto* self = static_cast<const client_impl*>(user);
                return self->m_stopping || self->m_main_events_loop.is_stopped() ? 1 : 0;
            });
    return outcome(curl_handle, curl_easy_perform(curl_handle), io);
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
        auto t = std::make_unique<transfer>(transfer{std::move(*next), {}, {}});
        t->easy.reset(m_make_easy_handle());
        if (!t->easy) {
            m_logger.error("%1%") % "curl_easy_init failed";
            t->request.completion.return_result(transfer_failed("curl_easy_init failed"));
            continue;
        }
        try {
            prepare(t->easy.get(), t->request.m, t->request.address, t->request.body, t->io,
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
        done->request.completion.return_result(outcome(easy, code, done->io));
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
                          std::string_view body, transfer_io& io, abort_check should_abort) {
    io.m = m;
    io.body_limit = m == method::get ? max_get_body_bytes : max_answer_body_bytes;
    if (!body.empty()) {
        io.headers.reset(curl_slist_append(nullptr, json_content_type));
        ZENTU_CHECK(io.headers != nullptr);
        set_option(curl_handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        set_option(curl_handle, CURLOPT_POSTFIELDS, body.data());
    }
    io.url.reserve(m_address.size() + address.size());
    io.url.append(m_address).append(address);

    // The constant is a literal, so its data is terminated.
    set_option(curl_handle, CURLOPT_USERAGENT, constants::project_name.data());
    set_option(curl_handle, CURLOPT_HTTPHEADER, io.headers.get());
    set_option(curl_handle, CURLOPT_CUSTOMREQUEST, to_string(m).data());
    set_option(curl_handle, CURLOPT_ERRORBUFFER, static_cast<char*>(io.error));
    set_option(curl_handle, CURLOPT_WRITEFUNCTION, &take_body);
    set_option(curl_handle, CURLOPT_WRITEDATA, static_cast<void*>(&io));
    // A body whose announced length is over the limit is refused unread.
    set_option(curl_handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(io.body_limit));
    set_option(curl_handle, CURLOPT_TIMEOUT, static_cast<long>(m_timeout.count()));
    set_option(curl_handle, CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds);
    // A login page behind a redirect must not pass for the platform's answer:
    // only lists may move, a few times, and never to plain http from https.
    const bool follows = m == method::get;
    set_option(curl_handle, CURLOPT_FOLLOWLOCATION, follows ? 1L : 0L);
    set_option(curl_handle, CURLOPT_MAXREDIRS, follows ? max_get_redirects : 0L);
    // Neither the base URL nor a redirect may lead to file://, ftp:// and the like.
#if LIBCURL_VERSION_NUM >= 0x075500
    set_option(curl_handle, CURLOPT_PROTOCOLS_STR, allowed_protocols);
    set_option(curl_handle, CURLOPT_REDIR_PROTOCOLS_STR, m_redirect_protocols);
#else
    set_option(curl_handle, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    set_option(curl_handle, CURLOPT_REDIR_PROTOCOLS,
               m_redirect_protocols == secure_protocols
                   ? static_cast<long>(CURLPROTO_HTTPS)
                   : static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    // libcurl's defaults, stated: nothing here or elsewhere turns them off.
    set_option(curl_handle, CURLOPT_SSL_VERIFYPEER, 1L);
    set_option(curl_handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_ca_file.empty())
        set_option(curl_handle, CURLOPT_CAINFO, m_ca_file.c_str());
    // Signals cannot be used for time-outs on a multi-threaded process.
    set_option(curl_handle, CURLOPT_NOSIGNAL, 1L);
    set_option(curl_handle, CURLOPT_NOPROGRESS, 0L);
    set_option(curl_handle, CURLOPT_XFERINFOFUNCTION, should_abort);
    set_option(curl_handle, CURLOPT_XFERINFODATA, static_cast<void*>(this));
    set_option(curl_handle, CURLOPT_SHARE, m_shared_curl_data.get_ptr());
    set_option(curl_handle, CURLOPT_URL, io.url.c_str());
}

result client_impl::outcome(CURL* curl_handle, CURLcode code, transfer_io& io) {
    if (io.cut_off || code == CURLE_FILESIZE_EXCEEDED)
        return transfer_failed(cut_off_text(io.body_limit));
    if (code == CURLE_TOO_MANY_REDIRECTS)
        return not_followed(response_status(curl_handle),
                            info_text(curl_handle, CURLINFO_REDIRECT_URL),
                            "more than " + std::to_string(max_get_redirects) + " redirects");
    long redirects = 0;
    if (code == CURLE_UNSUPPORTED_PROTOCOL &&
        curl_easy_getinfo(curl_handle, CURLINFO_REDIRECT_COUNT, &redirects) == CURLE_OK &&
        redirects > 0)
        // The refused target is where the transfer stopped.
        return not_followed(response_status(curl_handle),
                            info_text(curl_handle, CURLINFO_EFFECTIVE_URL), "protocol not allowed");
    if (code != CURLE_OK)
        return transfer_failed(transport_error_text(code, io.error));
    long status = response_status(curl_handle);
    if (status == 0)
        status = 200;
    if (status >= 300 && status <= 399)
        return not_followed(status, info_text(curl_handle, CURLINFO_REDIRECT_URL), {});
    const int code_value = static_cast<int>(status);
    if (code_value >= 200 && code_value <= 299)
        return result(code_value, std::move(io.received), std::nullopt);
    return result(code_value, std::nullopt, std::move(io.received));
}

}  // namespace zentu::libs::core::http
