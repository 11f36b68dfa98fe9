#include "api_client.hpp"

#include <curl/curl.h>
#include <json/reader.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace zentu::ctl {

namespace {

struct curl_deleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using curl_ptr = std::unique_ptr<CURL, curl_deleter>;

std::size_t append_body(char* data, std::size_t size, std::size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

Json::Value parsed(const std::string& text) {
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors))
        return Json::Value();
    return value;
}

}  // namespace

api_reply api_get(const std::string& base_url, const std::string& path) {
    api_reply reply;
    const curl_ptr curl(curl_easy_init());
    if (!curl) {
        reply.error = "cannot make an HTTP request";
        return reply;
    }
    const std::string url = base_url + path;
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, 5000L);
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, append_body);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, error);
    const CURLcode code = curl_easy_perform(curl.get());
    if (code != CURLE_OK) {
        reply.error = error[0] ? error : curl_easy_strerror(code);
        reply.body.clear();
        return reply;
    }
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply.status);
    reply.json = parsed(reply.body);
    return reply;
}

std::string url_escaped(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == ':') {
            out += static_cast<char>(c);
        } else {
            static const char digits[] = "0123456789ABCDEF";
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

std::string url_from_listen(const std::string& listen) {
    std::string host = "127.0.0.1";
    std::string port = listen;
    if (const auto colon = listen.rfind(':'); colon != std::string::npos) {
        host = listen.substr(0, colon);
        port = listen.substr(colon + 1);
    }
    if (host.empty() || host == "0.0.0.0" || host == "*")
        host = "127.0.0.1";
    else if (host == "[::]")
        host = "[::1]";
    return "http://" + host + ":" + port;
}

std::string url_from_config(const std::string& config_file) {
    std::ifstream in(config_file);
    if (!in)
        throw std::runtime_error("cannot read " + config_file +
                                 " (give the service's address with --url)");
    std::stringstream text;
    text << in.rdbuf();
    const Json::Value config = parsed(text.str());
    if (!config.isObject())
        throw std::runtime_error(config_file + " is not a JSON configuration");
    const Json::Value& listen = config["metrics"]["listen"];
    if (!listen.isString() || listen.asString().empty())
        throw std::runtime_error(config_file + " has no metrics.listen: the service serves no API");
    return url_from_listen(listen.asString());
}

}  // namespace zentu::ctl
