#pragma once

#include <curl/curl.h>

#include <memory>

namespace zentu::libs::core::http {

struct curl_easy_deleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct curl_slist_deleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
struct curl_share_deleter {
    void operator()(CURLSH* share) const noexcept { curl_share_cleanup(share); }
};

using curl_easy_ptr = std::unique_ptr<CURL, curl_easy_deleter>;
using curl_slist_ptr = std::unique_ptr<curl_slist, curl_slist_deleter>;
using curl_share_ptr = std::unique_ptr<CURLSH, curl_share_deleter>;

// libcurl's process-wide set-up is not thread safe: done once, before the
// first handle of any client is made.
void ensure_curl_global_init();

}  // namespace zentu::libs::core::http
