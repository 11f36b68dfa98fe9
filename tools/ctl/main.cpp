// marovane-ctl: what the running service holds, from its read-only API.
// Exit status: 0 answered, 1 the service could not be reached or did not
// answer, 2 a bad option, configuration or uid.
#include <CLI/CLI.hpp>

#include <iostream>
#include <stdexcept>

#include "api_client.hpp"
#include "views.hpp"

namespace {

namespace ctl = zentu::ctl;

constexpr int ok = 0;
constexpr int unreachable = 1;
constexpr int bad_request = 2;

int show(const std::string& base, const std::string& path, bool json,
         void (*print)(const Json::Value&, std::ostream&)) {
    const auto reply = ctl::api_get(base, path);
    if (reply.status == 0) {
        std::cerr << "marovane-ctl: cannot reach the service at " << base << ": " << reply.error
                  << '\n';
        return unreachable;
    }
    const std::string error = reply.json.isObject() && reply.json["error"].isString()
                                  ? reply.json["error"].asString()
                                  : reply.body;
    if (reply.status >= 500) {
        std::cerr << "marovane-ctl: the service at " << base << " did not answer: " << error
                  << '\n';
        return unreachable;
    }
    if (reply.status != 200) {
        std::cerr << "marovane-ctl: " << error << '\n';
        return bad_request;
    }
    if (json)
        std::cout << reply.body;
    else
        print(reply.json, std::cout);
    return ok;
}

int run(int argc, char** argv) {
    CLI::App app{"marovane-ctl: what the running marovane service holds"};
    app.require_subcommand(1);
    std::string config_file = "/etc/marovane/marovane.json";
    std::string url;
    bool json = false;
    app.add_option("-c,--config", config_file,
                   "The service's configuration, for its metrics.listen address")
        ->capture_default_str();
    app.add_option("--url", url, "The service's address, e.g. http://127.0.0.1:9100");
    app.add_flag("--json", json, "Print the API's JSON as it came");

    auto* status = app.add_subcommand("status", "Health, counts, stream, platform, mirror");
    auto* alarms = app.add_subcommand("alarms", "Every alarm held, with its delivery");
    bool undelivered = false;
    std::string object_filter;
    std::string zone_filter;
    alarms->add_flag("--undelivered", undelivered, "Only those the platform has not confirmed");
    alarms->add_option("--object", object_filter, "Only those of this object uid");
    alarms->add_option("--zone", zone_filter, "Only those of this zone uid");
    auto* explain = app.add_subcommand("explain", "Why an object has the alarms it has, or none");
    std::string object_uid;
    explain->add_option("OBJECT_UID", object_uid, "The object's uid")->required();
    auto* zone = app.add_subcommand("zone", "A zone's rule and the objects inside it");
    std::string zone_uid;
    zone->add_option("ZONE_UID", zone_uid, "The zone's uid")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return bad_request;
    }

    try {
        if (url.empty())
            url = ctl::url_from_config(config_file);
    } catch (const std::exception& e) {
        std::cerr << "marovane-ctl: " << e.what() << '\n';
        return bad_request;
    }
    while (!url.empty() && url.back() == '/')
        url.pop_back();

    if (*status)
        return show(url, "/v1/status", json, ctl::print_status);
    if (*alarms) {
        std::string query;
        const auto add = [&](const std::string& field) {
            query += (query.empty() ? "?" : "&") + field;
        };
        if (undelivered)
            add("undelivered=1");
        if (!object_filter.empty())
            add("object=" + ctl::url_escaped(object_filter));
        if (!zone_filter.empty())
            add("zone=" + ctl::url_escaped(zone_filter));
        return show(url, "/v1/alarms" + query, json, ctl::print_alarms);
    }
    if (*explain)
        return show(url, "/v1/objects/" + ctl::url_escaped(object_uid), json,
                    ctl::print_explanation);
    return show(url, "/v1/zones/" + ctl::url_escaped(zone_uid), json, ctl::print_zone);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "marovane-ctl: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "marovane-ctl: unexpected failure\n";
    }
    return unreachable;
}
