#include "test_kit/http_client.hpp"

#include <curl/curl.h>

#include <memory>

#include "core/json.hpp"

namespace zentu::test_kit {
namespace {

struct easy_deleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct slist_deleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::size_t append(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

http_answer perform(const std::string& url, const std::string* post_body,
                    std::chrono::milliseconds timeout) {
    http_answer answer;
    const std::unique_ptr<CURL, easy_deleter> handle(curl_easy_init());
    if (!handle) {
        answer.error = "curl_easy_init failed";
        return answer;
    }
    const std::unique_ptr<curl_slist, slist_deleter> headers(
        curl_slist_append(nullptr, "Content-Type: application/json"));
    CURL* const curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // No signals: several test threads may be waiting at once.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    if (post_body) {
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post_body->c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(post_body->size()));
    }
    const CURLcode code = curl_easy_perform(curl);
    if (code != CURLE_OK) {
        answer.error = url + ": " + curl_easy_strerror(code);
        return answer;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    return answer;
}

}  // namespace

Json::Value http_answer::json() const {
    auto parsed = libs::core::json::try_parse(body);
    return parsed.ok ? parsed.result : Json::Value();
}

http_answer http_get(const std::string& url, std::chrono::milliseconds timeout) {
    return perform(url, nullptr, timeout);
}

http_answer http_post(const std::string& url, const std::string& body,
                      std::chrono::milliseconds timeout) {
    return perform(url, &body, timeout);
}

}  // namespace zentu::test_kit
