#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <json/json.h>

#include <boost/type_index.hpp>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/exception.hpp"
#include "service/config.hpp"
#include "service/config_values.hpp"
#include "test_kit/error_of.hpp"

namespace zentu {
namespace {

Json::Value valid_document() {
    Json::Value doc;
    doc["system"]["pidfile"] = "/run/marovane/marovane.pid";
    doc["system"]["debug_port"] = "tcp://127.0.0.1:5560";
    doc["system"]["local_debug"] = true;
    doc["proxy"]["address"] = "10.0.0.7";
    doc["proxy"]["output_port"] = 5557;
    doc["server"]["protocol"] = "https";
    doc["server"]["address"] = "platform.local:8443";
    doc["server"]["timeout"] = 12;
    doc["redis"]["host"] = "127.0.0.1";
    doc["redis"]["port"] = 6380;
    doc["redis"]["password"] = "secret with blanks";
    doc["unrelated"] = "ignored";
    return doc;
}

config read(const Json::Value& doc) {
    std::istringstream stream(Json::writeString(Json::StreamWriterBuilder(), doc));
    return config(stream);
}

std::string invalid_reason(const Json::Value& doc) {
    return test_kit::error_of([&] { read(doc); });
}

TEST(config_service, fields_are_read_and_composed) {
    const config cfg = read(valid_document());
    EXPECT_EQ(cfg.system.pidfile_path, "/run/marovane/marovane.pid");
    EXPECT_EQ(cfg.system.debug_port, "tcp://127.0.0.1:5560");
    EXPECT_TRUE(cfg.system.local_debug);
    EXPECT_EQ(cfg.proxy_output, "tcp://10.0.0.7:5557");
    EXPECT_EQ(cfg.server_url, "https://platform.local:8443");
    EXPECT_EQ(cfg.server_timeout, 12);
    EXPECT_EQ(cfg.redis_host, "127.0.0.1");
    EXPECT_EQ(cfg.redis_port, 6380);
    EXPECT_EQ(cfg.redis_password, "secret with blanks");
    EXPECT_TRUE(cfg.modify_server_state);
}

TEST(config_service, negative_numbers_are_taken_as_written) {
    Json::Value doc = valid_document();
    doc["proxy"]["output_port"] = -1;
    doc["server"]["timeout"] = -5;
    const config cfg = read(doc);
    EXPECT_EQ(cfg.proxy_output, "tcp://10.0.0.7:-1");
    EXPECT_EQ(cfg.server_timeout, -5);
}

TEST(config_service, modify_server_state_defaults_to_true) {
    Json::Value doc = valid_document();
    EXPECT_TRUE(read(doc).modify_server_state);
    doc["debug"]["modify_server_state"] = false;
    EXPECT_FALSE(read(doc).modify_server_state);
    doc["debug"]["modify_server_state"] = "false";
    EXPECT_TRUE(read(doc).modify_server_state);
    doc["debug"] = 0;
    EXPECT_TRUE(read(doc).modify_server_state);
}

TEST(config_service, every_bad_field_is_named_in_order) {
    Json::Value doc = valid_document();
    doc["redis"].removeMember("port");
    doc["server"].removeMember("timeout");
    EXPECT_EQ(invalid_reason(doc),
              "Config file is invalid: Can not find field <int>: server.timeout (missing)\n"
              "Can not find field <int>: redis.port (missing)");

    doc = valid_document();
    doc["redis"]["port"] = "6379";
    EXPECT_EQ(invalid_reason(doc),
              "Config file is invalid: Can not find field <int>: redis.port "
              "(expected an integer, found a string)");

    doc = valid_document();
    doc["system"]["local_debug"] = "yes";
    doc["proxy"] = 5;
    EXPECT_EQ(invalid_reason(doc),
              "Config file is invalid: Can not find field <bool>: system.local_debug "
              "(expected a boolean, found a string)\n"
              "Can not find object <object>: proxy, path: proxy.address "
              "(expected an object, found an integer)\n"
              "Can not find object <object>: proxy, path: proxy.output_port "
              "(expected an object, found an integer)");
}

TEST(config_service, empty_document_names_all_eleven_fields) {
    const std::string text = invalid_reason(Json::Value(Json::objectValue));
    const std::string s = boost::typeindex::type_id<std::string>().pretty_name();
    EXPECT_EQ(text,
              "Config file is invalid: Can not find object <object>: system, path: "
              "system.pidfile (missing)\n"
              "Can not find object <object>: system, path: system.debug_port (missing)\n"
              "Can not find object <object>: system, path: system.local_debug (missing)\n"
              "Can not find object <object>: proxy, path: proxy.address (missing)\n"
              "Can not find object <object>: proxy, path: proxy.output_port (missing)\n"
              "Can not find object <object>: server, path: server.protocol (missing)\n"
              "Can not find object <object>: server, path: server.address (missing)\n"
              "Can not find object <object>: server, path: server.timeout (missing)\n"
              "Can not find object <object>: redis, path: redis.host (missing)\n"
              "Can not find object <object>: redis, path: redis.port (missing)\n"
              "Can not find object <object>: redis, path: redis.password (missing)");

    Json::Value doc = valid_document();
    doc["redis"] = Json::Value(Json::objectValue);
    EXPECT_EQ(invalid_reason(doc), "Config file is invalid: Can not find field <" + s +
                                       ">: redis.host (missing)\nCan not find field <int>: "
                                       "redis.port (missing)\n"
                                       "Can not find field <" +
                                       s + ">: redis.password (missing)");
}

TEST(config_service, unreadable_file_fails_as_malformed_json) {
    std::ifstream missing("/nonexistent/marovane.json");
    try {
        config cfg(missing);
        FAIL() << "a missing file was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), testing::StartsWith("Cannot parse json: "));
    }
}

TEST(config_service, unusable_values_are_taken_and_named_as_warnings) {
    Json::Value doc = valid_document();
    EXPECT_TRUE(read(doc).warnings.empty());
    doc["system"]["debug_port"] = "127.0.0.1:5560";
    doc["proxy"]["output_port"] = 70000;
    doc["server"]["protocol"] = "htp";
    doc["server"]["address"] = "http://platform.local";
    doc["server"]["timeout"] = 0;
    doc["redis"]["port"] = 0;
    doc["debug"]["modify_server_state"] = "false";
    const config cfg = read(doc);
    EXPECT_EQ(cfg.server_url, "htp://http://platform.local");
    EXPECT_THAT(cfg.warnings,
                testing::ElementsAre(
                    "debug.modify_server_state: expected a boolean, found a string; true is used",
                    "system.debug_port: a ZeroMQ endpoint such as tcp://127.0.0.1:5560 is "
                    "expected, found \"127.0.0.1:5560\"",
                    "proxy.output_port: the port must be 1-65535, found 70000",
                    "server.protocol: must be http or https, found \"htp\"",
                    "server.address: only a host and a port are expected, without blanks, scheme "
                    "or path, found \"http://platform.local\"",
                    "server.timeout: must be more than 0 (seconds), found 0",
                    "redis.port: the port must be 1-65535, found 0"));
}

TEST(config_service, endpoints_are_parsed) {
    using config_values::host_port_problem;
    using config_values::zmq_endpoint_problem;
    EXPECT_EQ(host_port_problem("platform.local", false, false), "");
    EXPECT_EQ(host_port_problem("[::1]:8443", true, false), "");
    EXPECT_EQ(host_port_problem("127.0.0.1:0", true, true), "");
    EXPECT_EQ(host_port_problem("127.0.0.1:0", true, false), "the port must be 1-65535");
    EXPECT_EQ(host_port_problem("127.0.0.1:http", false, false), "the port must be a number");
    EXPECT_EQ(host_port_problem("::1", false, false),
              "an IPv6 address must be written in brackets");
    EXPECT_EQ(host_port_problem(":80", false, false), "a host is required");
    EXPECT_EQ(host_port_problem("9464", true, true), "a port is required (host:port)");
    EXPECT_EQ(zmq_endpoint_problem("tcp://127.0.0.1:5560"), "");
    EXPECT_EQ(zmq_endpoint_problem("ipc:///run/marovane/log"), "");
    EXPECT_EQ(zmq_endpoint_problem("tcp://127.0.0.1"), "a port is required (host:port)");
    EXPECT_EQ(zmq_endpoint_problem("udp://127.0.0.1:5560"),
              "the transport must be tcp, ipc or inproc");
}

TEST(config_service, optional_rebuild_period_and_metrics_address) {
    Json::Value doc = valid_document();
    config cfg = read(doc);
    EXPECT_EQ(cfg.system.rebuild_period, std::chrono::seconds(600));
    EXPECT_EQ(cfg.metrics.listen, "");

    doc["system"]["rebuild_period"] = 30;
    doc["metrics"]["listen"] = "127.0.0.1:9464";
    cfg = read(doc);
    EXPECT_EQ(cfg.system.rebuild_period, std::chrono::seconds(30));
    EXPECT_EQ(cfg.metrics.listen, "127.0.0.1:9464");

    // Unlike the older fields, new ones refuse to start with a value that cannot work.
    doc["system"]["rebuild_period"] = 0;
    doc["metrics"]["listen"] = 9464;
    EXPECT_EQ(invalid_reason(doc),
              "Config file is invalid: system.rebuild_period: must be at least 1 (seconds), "
              "found 0\nCan not find field <" +
                  boost::typeindex::type_id<std::string>().pretty_name() +
                  ">: metrics.listen (expected a string, found an integer)");
}

TEST(config_service, optional_redis_startup_wait) {
    Json::Value doc = valid_document();
    EXPECT_EQ(read(doc).redis_startup_wait, std::chrono::seconds(10));
    doc["redis"]["startup_wait"] = 0;
    EXPECT_EQ(read(doc).redis_startup_wait, std::chrono::seconds(0));
    doc["redis"]["startup_wait"] = -1;
    EXPECT_EQ(invalid_reason(doc),
              "Config file is invalid: redis.startup_wait: must be at least 0 (seconds), found -1");
}

class config_file_test : public ::testing::Test {
protected:
    config_file_test() {
        char pattern[] = "/tmp/config_file_test.XXXXXX";
        m_dir = ::mkdtemp(pattern);
    }
    ~config_file_test() override { std::system(("rm -rf '" + m_dir + "'").c_str()); }

    std::string write(const std::string& name, const std::string& text) {
        const std::string path = m_dir + "/" + name;
        std::ofstream(path) << text;
        return path;
    }

    static std::string load_error(const std::string& path) {
        return test_kit::error_of<std::exception>([&] { config::from_file(path); });
    }

    std::string m_dir;
};

TEST_F(config_file_test, unreadable_empty_or_malformed_files_name_the_path_and_the_cause) {
    const std::string missing = m_dir + "/missing.json";
    EXPECT_EQ(load_error(missing),
              "Cannot parse json: " + missing + ": cannot read: No such file or directory");
    EXPECT_EQ(config::check_file(missing),
              std::vector<std::string>{"cannot read: No such file or directory"});
    EXPECT_EQ(load_error(m_dir), "Cannot parse json: " + m_dir + ": cannot read: Is a directory");

    const std::string empty = write("empty.json", " \n");
    EXPECT_EQ(load_error(empty), "Cannot parse json: " + empty + ": the file is empty");

    const std::string broken = write("broken.json", "{\"system\": {");
    EXPECT_THAT(load_error(broken),
                testing::StartsWith("Cannot parse json: " + broken + ": * Line"));
    ASSERT_EQ(config::check_file(broken).size(), 1u);
    EXPECT_THAT(config::check_file(broken)[0], testing::StartsWith("* Line 1, Column"));
}

TEST_F(config_file_test, check_names_every_problem_at_once) {
    Json::Value doc = valid_document();
    const std::string good =
        write("good.json", Json::writeString(Json::StreamWriterBuilder(), doc));
    EXPECT_TRUE(config::check_file(good).empty());
    EXPECT_EQ(config::from_file(good).redis_port, 6380);

    doc["redis"]["port"] = "6379";
    doc["proxy"] = 5;
    doc["server"].removeMember("protocol");
    doc["server"]["timeout"] = -3;
    doc["metrics"]["listen"] = "localhost";
    const std::string bad = write("bad.json", Json::writeString(Json::StreamWriterBuilder(), doc));
    EXPECT_THAT(config::check_file(bad),
                testing::ElementsAre("proxy: expected an object, found an integer",
                                     "server.protocol: missing",
                                     "redis.port: expected an integer, found a string",
                                     "metrics.listen: a port is required (host:port), found "
                                     "\"localhost\"",
                                     "server.timeout: must be more than 0 (seconds), found -3"));
}

TEST_F(config_file_test, optional_ca_file_must_name_a_readable_file) {
    Json::Value doc = valid_document();
    EXPECT_EQ(read(doc).server_ca_file, "");

    const std::string bundle = write("ca.pem", "-----BEGIN CERTIFICATE-----\n");
    doc["server"]["ca_file"] = bundle;
    EXPECT_EQ(read(doc).server_ca_file, bundle);
    EXPECT_TRUE(read(doc).warnings.empty());

    // Started with, named, and refused by the check: the file may appear later.
    const std::string missing = m_dir + "/missing.pem";
    for (const auto& [file, problem] :
         {std::pair<std::string, std::string>{missing, "cannot read: No such file or directory"},
          {m_dir, "cannot read: Is a directory"},
          {write("empty.pem", ""), "the file is empty"}}) {
        doc["server"]["ca_file"] = file;
        EXPECT_EQ(read(doc).server_ca_file, file);
        EXPECT_THAT(read(doc).warnings, testing::ElementsAre("server.ca_file: " + problem +
                                                             ", found \"" + file + "\""));
    }

    doc["server"]["ca_file"] = "";
    EXPECT_EQ(invalid_reason(doc),
              "Config file is invalid: server.ca_file: a file name is required (without the "
              "field the system's trust store is used)");
    doc["server"]["ca_file"] = true;
    const std::string checked =
        write("bad.json", Json::writeString(Json::StreamWriterBuilder(), doc));
    EXPECT_THAT(config::check_file(checked),
                testing::ElementsAre("server.ca_file: expected a string, found a boolean"));
}

}  // namespace
}  // namespace zentu
