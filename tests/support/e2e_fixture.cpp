#include "support/e2e_fixture.hpp"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "core/json.hpp"
#include "redis/redis_context.hpp"
#include "test_kit/http_client.hpp"

namespace zentu::test {
namespace {

using namespace std::chrono_literals;

constexpr unsigned mirror_database = 10;
const std::string alarms_path = "/api/private/alarms/";

// The answer's body, or why it is missing.
std::string what_came(const test_kit::http_answer& answer) {
    return answer.error.empty() ? answer.body : answer.error;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string tail(const std::string& text, std::size_t lines) {
    std::size_t at = text.size();
    while (lines-- > 0 && at > 0) {
        at = text.rfind('\n', at - 1);
        if (at == std::string::npos)
            return text;
    }
    return text.substr(at);
}

// The value after "key=" up to the next blank or the end of the line.
std::string field_of(const std::string& line, const std::string& key) {
    const auto at = line.find(key + "=");
    if (at == std::string::npos)
        throw std::runtime_error("no " + key + " in \"" + line + "\"");
    const auto begin = at + key.size() + 1;
    return line.substr(begin, line.find_first_of(" \n", begin) - begin);
}

std::string make_temporary_directory() {
    char pattern[] = "/tmp/marovane-e2e.XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

// Long re-send periods, so a test sees only the POSTs its own steps cause.
Json::Value quiet_alarm_types() {
    return parse_json(R"([{"name": "zone_violation", "histeresis": 600},
                          {"name": "buffer_violation", "histeresis": 600}])");
}

// The body of an "enter" or "leave" command.
Json::Value zone_move(const std::string& obj, const std::string& zone, int x, int y, int z) {
    Json::Value body(Json::objectValue);
    body["obj_uid"] = obj;
    body["zone_uid"] = zone;
    body["x"] = x;
    body["y"] = y;
    body["z"] = z;
    return body;
}

}  // namespace

log_sink::log_sink() : m_socket(m_context, zmq::socket_type::pull) {
    m_socket.set(zmq::sockopt::rcvtimeo, 100);
    m_socket.bind("tcp://127.0.0.1:*");
    m_endpoint = m_socket.get(zmq::sockopt::last_endpoint);
    m_thread = std::thread([this] {
        zmq::message_t line;
        while (!m_stop)
            (void)m_socket.recv(line);
    });
}

log_sink::~log_sink() {
    m_stop = true;
    m_thread.join();
}

Json::Value parse_json(const std::string& text) {
    auto parsed = libs::core::json::try_parse(text);
    if (!parsed.ok)
        throw std::runtime_error("not JSON (" + parsed.error + "): " + text);
    return parsed.result;
}

std::string canonical(const Json::Value& value) {
    // Re-parsing gives every number the type the parser picks, so equal
    // documents built in different ways print the same.
    return libs::core::json::to_string(parse_json(libs::core::json::to_string(value)));
}

libs::core::timestamp request_time(const Json::Value& request) {
    const auto parsed = libs::core::timestamp::try_parse(request["time"].asString());
    if (!parsed)
        throw std::runtime_error("no time in " + canonical(request));
    return *parsed;
}

e2e_environment::e2e_environment(e2e_options options)
    : m_dir(make_temporary_directory()), m_options(std::move(options)) {
    Json::Value site = parse_json(read_file(m_options.site_file));
    site["alarm_types"] = quiet_alarm_types();
    if (m_options.edit_site)
        m_options.edit_site(site);
    const std::string site_file = m_dir + "/site.json";
    std::ofstream(site_file) << libs::core::json::to_string(site);

    const std::string ready_file = m_dir + "/sim.ready";
    m_sim = std::make_unique<child_process>(
        std::vector<std::string>{m_options.sim_binary, "--site", site_file, "--http", "127.0.0.1:0",
                                 "--pub", "tcp://127.0.0.1:0", "--ready-file", ready_file},
        m_dir + "/sim.out");
    std::string ready;
    wait_until(
        [&] {
            ready = read_file(ready_file);
            return ready.find('\n') != std::string::npos || !m_sim->running();
        },
        10s);
    if (ready.rfind("listening ", 0) != 0)
        throw std::runtime_error("the simulator did not start: " + m_sim->output());
    m_sim_url = "http://" + field_of(ready, "http");
    m_pub_endpoint = field_of(ready, "pub");

    m_pid_file = m_dir + "/marovane.pid";
    m_config_file = write_config();
}

e2e_environment::~e2e_environment() {
    m_service.reset();
    m_sim.reset();
    // MAROVANE_E2E_KEEP keeps the files for a look after a failure.
    if (!std::getenv("MAROVANE_E2E_KEEP"))
        std::system(("rm -rf '" + m_dir + "'").c_str());
}

std::string e2e_environment::write_config() const {
    const auto colon = m_pub_endpoint.rfind(':');
    Json::Value config(Json::objectValue);
    config["system"]["pidfile"] = m_pid_file;
    // With local_debug the log also goes to stderr, which the test reads.
    config["system"]["debug_port"] = m_log_sink.endpoint();
    config["system"]["local_debug"] = true;
    config["proxy"]["address"] = "127.0.0.1";
    config["proxy"]["output_port"] = std::stoi(m_pub_endpoint.substr(colon + 1));
    config["server"]["protocol"] = "http";
    config["server"]["address"] = m_sim_url.substr(std::string("http://").size());
    config["server"]["timeout"] = m_options.server_timeout_seconds;
    config["redis"]["host"] = "127.0.0.1";
    config["redis"]["port"] = m_redis.port();
    config["redis"]["password"] = "";
    config["debug"]["modify_server_state"] = m_options.modify_server_state;
    if (m_options.edit_config)
        m_options.edit_config(config);
    const std::string path = m_dir + "/marovane.json";
    std::ofstream(path) << libs::core::json::to_string(config);
    return path;
}

child_process& e2e_environment::start_service() {
    m_service = std::make_unique<child_process>(
        std::vector<std::string>{m_options.service_binary, "-c", m_config_file},
        m_dir + "/marovane" + std::to_string(m_started++) + ".out");
    return *m_service;
}

void e2e_environment::wait_until_running(std::chrono::milliseconds timeout) {
    const std::string probe_key = "marovane:trackable_objects:obj-pallet-9";
    const bool running = wait_until(
        [&] {
            if (!m_service->running())
                throw std::runtime_error("marovane ended: " + m_service->output());
            return mirror_hash(probe_key).count("update_time") > 0;
        },
        timeout, [&] { touch_object("obj-pallet-9"); });
    if (!running)
        throw std::runtime_error("marovane did not start to follow the platform");
}

std::pair<int, std::string> e2e_environment::run_second_instance() {
    child_process second({m_options.service_binary, "-c", m_config_file},
                         m_dir + "/second" + std::to_string(m_started++) + ".out");
    const auto status = second.wait(30s);
    return {status.value_or(-1), second.output()};
}

Json::Value e2e_environment::control(const std::string& command, const Json::Value& body) {
    const auto answer =
        test_kit::http_post(m_sim_url + "/sim/" + command, libs::core::json::to_string(body));
    if (answer.status != 200)
        throw std::runtime_error("/sim/" + command + " answered " + std::to_string(answer.status) +
                                 ": " + what_came(answer));
    return parse_json(answer.body);
}

Json::Value e2e_environment::enter(const std::string& obj, const std::string& zone, int x, int y,
                                   int z) {
    return control("enter", zone_move(obj, zone, x, y, z))["message"];
}

Json::Value e2e_environment::leave(const std::string& obj, const std::string& zone, int x, int y,
                                   int z) {
    return control("leave", zone_move(obj, zone, x, y, z))["message"];
}

void e2e_environment::touch_object(const std::string& obj) {
    Json::Value body(Json::objectValue);
    body["uid"] = obj;
    control("object", body);
}

std::vector<Json::Value> e2e_environment::requests() {
    const auto answer = test_kit::http_get(m_sim_url + "/sim/requests");
    if (answer.status != 200)
        throw std::runtime_error("/sim/requests answered " + std::to_string(answer.status) + ": " +
                                 what_came(answer));
    const Json::Value document = parse_json(answer.body);
    std::vector<Json::Value> all;
    for (const auto& request : document["requests"])
        all.push_back(request);
    return all;
}

std::vector<Json::Value> e2e_environment::alarm_posts() {
    std::vector<Json::Value> posts;
    for (auto& request : requests())
        if (request["method"] == "POST" && request["path"] == alarms_path)
            posts.push_back(std::move(request));
    return posts;
}

std::vector<Json::Value> e2e_environment::alarm_posts(const std::string& obj,
                                                      const std::string& zone) {
    std::vector<Json::Value> posts;
    for (auto& post : alarm_posts()) {
        const auto& body = post["body"];
        if (body.isObject() && body["obj_uid"] == obj && body["additional_info"].isObject() &&
            body["additional_info"]["zone_uid"] == zone)
            posts.push_back(std::move(post));
    }
    return posts;
}

std::vector<Json::Value> e2e_environment::wait_for_alarm_posts(const std::string& obj,
                                                               const std::string& zone,
                                                               std::size_t count,
                                                               std::chrono::milliseconds timeout) {
    std::vector<Json::Value> posts;
    wait_until(
        [&] {
            posts = alarm_posts(obj, zone);
            return posts.size() >= count;
        },
        timeout);
    return posts;
}

Json::Value e2e_environment::open_alarms() {
    return parse_json(test_kit::http_get(m_sim_url + "/sim/alarms").body)["alarms"];
}

std::set<std::string> e2e_environment::mirror_set(const std::string& key) {
    std::set<std::string> members;
    try {
        redis::context redis("127.0.0.1", m_redis.port(), mirror_database, "");
        redis.get_set_members(key).as_array().for_each_element(
            [&](const redis::reply_element& member) {
                members.insert(member.to_string());
                return true;
            });
    } catch (const std::exception&) {
        // Redis is down: nothing mirrored can be seen.
    }
    return members;
}

std::map<std::string, std::string> e2e_environment::mirror_hash(const std::string& key) {
    std::map<std::string, std::string> fields;
    try {
        redis::context redis("127.0.0.1", m_redis.port(), mirror_database, "");
        const auto reply = redis.execute_command_argv({"HGETALL", key});
        const auto array = reply.as_array();
        for (std::size_t i = 0; i + 1 < array.size(); i += 2)
            fields[array[i].to_string()] = array[i + 1].to_string();
    } catch (const std::exception&) {
    }
    return fields;
}

bool e2e_environment::wait_until(const std::function<bool()>& condition,
                                 std::chrono::milliseconds timeout,
                                 const std::function<void()>& between) {
    const auto deadline = clock::now() + timeout;
    auto next_nudge = clock::now();
    for (;;) {
        if (condition())
            return true;
        if (clock::now() >= deadline)
            return false;
        if (between && clock::now() >= next_nudge) {
            between();
            next_nudge = clock::now() + 300ms;
        }
        std::this_thread::sleep_for(30ms);
    }
}

std::string e2e_environment::service_output() const {
    return m_service ? m_service->output() : std::string();
}

void e2e_environment::dump_logs() const {
    std::cerr << "---- marovane (last lines) ----" << tail(service_output(), 60)
              << "\n---- platform simulator (last lines) ----" << tail(m_sim->output(), 40)
              << std::endl;
}

e2e_environment& e2e_test::start(e2e_options options) {
    m_env = std::make_unique<e2e_environment>(std::move(options));
    m_env->start_service();
    m_env->wait_until_running();
    return *m_env;
}

void e2e_test::TearDown() {
    if (HasFailure() && m_env)
        m_env->dump_logs();
}

}  // namespace zentu::test

namespace Json {
void PrintTo(const Value& value, std::ostream* os) {
    *os << zentu::libs::core::json::to_string(value);
}
}  // namespace Json
