#include "http_shared_curl_data.hpp"

#include "core/exception.hpp"

namespace zentu::libs::core::http {

static_assert(CURL_LOCK_DATA_LAST <= 8, "one mutex per libcurl lock-data kind");

void ensure_curl_global_init() {
    static const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    ZENTU_CHECK(code == CURLE_OK);
}

shared_curl_data::shared_curl_data() {
    ensure_curl_global_init();
    m_data.reset(curl_share_init());
    ZENTU_CHECK(m_data != nullptr);
    CURLSH* share = m_data.get();
    ZENTU_CHECK(curl_share_setopt(share, CURLSHOPT_USERDATA, this) == CURLSHE_OK);
    ZENTU_CHECK(curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &shared_curl_data::lock) ==
                CURLSHE_OK);
    ZENTU_CHECK(curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &shared_curl_data::unlock) ==
                CURLSHE_OK);
    ZENTU_CHECK(curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) == CURLSHE_OK);
    ZENTU_CHECK(curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) == CURLSHE_OK);
    ZENTU_CHECK(curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) ==
                CURLSHE_OK);
}

// Called by libcurl from any transfer thread; an unknown kind cannot be locked
// safely, so at() ends the process rather than run unprotected.
void shared_curl_data::lock(CURL*, curl_lock_data data, curl_lock_access, void* user) noexcept {
    static_cast<shared_curl_data*>(user)->m_mutexes.at(static_cast<std::size_t>(data)).lock();
}

void shared_curl_data::unlock(CURL*, curl_lock_data data, void* user) noexcept {
    static_cast<shared_curl_data*>(user)->m_mutexes.at(static_cast<std::size_t>(data)).unlock();
}

}  // namespace zentu::libs::core::http
