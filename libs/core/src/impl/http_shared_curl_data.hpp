#pragma once

#include <array>
#include <mutex>

#include "http_curl_handles.hpp"

namespace zentu::libs::core::http {

// One libcurl share object for all transfers of a client: cookies, DNS cache
// and TLS sessions. Connections are deliberately not shared: libcurl does not
// support a connection cache used by several threads at once, so each thread
// keeps its own. Thread safe: libcurl locks through the per-kind mutexes.
class shared_curl_data {
public:
    shared_curl_data();
    shared_curl_data(const shared_curl_data&) = delete;
    shared_curl_data& operator=(const shared_curl_data&) = delete;

    CURLSH* get_ptr() const noexcept { return m_data.get(); }

private:
    static void lock(CURL* handle, curl_lock_data data, curl_lock_access access,
                     void* user) noexcept;
    static void unlock(CURL* handle, curl_lock_data data, void* user) noexcept;

    std::array<std::mutex, 8> m_mutexes;
    curl_share_ptr m_data;
};

}  // namespace zentu::libs::core::http
