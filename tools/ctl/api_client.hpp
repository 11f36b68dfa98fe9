#pragma once

#include <json/value.h>

#include <string>

namespace zentu::ctl {

// The answer of the service's API to one GET.
struct api_reply {
    long status = 0;    // 0: the service could not be reached
    std::string body;   // as received
    std::string error;  // why it could not be reached
    Json::Value json;   // the body read as JSON; null when it is not
};

// One blocking GET of base_url + path (5 s at most). Never throws for a
// transport failure: that is a reply with status 0.
api_reply api_get(const std::string& base_url, const std::string& path);

// The text percent-encoded for a path segment or a query value.
std::string url_escaped(const std::string& text);

// The API's base URL from the service's configuration file (its
// metrics.listen); throws std::runtime_error naming the file and the reason.
std::string url_from_config(const std::string& config_file);

// "host:port", "port", "[v6]:port" as the service listens on it into the URL
// to reach it: a wildcard address becomes the loopback one.
std::string url_from_listen(const std::string& listen);

}  // namespace zentu::ctl
