#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <json/json.h>

#include <boost/type_index.hpp>

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <stdexcept>
#include <string>

#include "config.hpp"
#include "core/exception.hpp"

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
    try {
        read(doc);
    } catch (const libs::core::exception& e) {
        return e.get_string_error();
    }
    return "no error";
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
              "Config file is invalid: Can not find field <int>: server.timeout\n"
              "Can not find field <int>: redis.port");

    doc = valid_document();
    doc["redis"]["port"] = "6379";
    EXPECT_EQ(invalid_reason(doc), "Config file is invalid: Can not find field <int>: redis.port");

    doc = valid_document();
    doc["system"]["local_debug"] = "yes";
    doc["proxy"] = 5;
    EXPECT_EQ(invalid_reason(doc),
              "Config file is invalid: Can not find field <bool>: system.local_debug\n"
              "Can not find object <object>: proxy, path: proxy.address\n"
              "Can not find object <object>: proxy, path: proxy.output_port");
}

TEST(config_service, empty_document_names_all_eleven_fields) {
    const std::string text = invalid_reason(Json::Value(Json::objectValue));
    const std::string s = boost::typeindex::type_id<std::string>().pretty_name();
    EXPECT_EQ(text,
              "Config file is invalid: Can not find object <object>: system, path: "
              "system.pidfile\n"
              "Can not find object <object>: system, path: system.debug_port\n"
              "Can not find object <object>: system, path: system.local_debug\n"
              "Can not find object <object>: proxy, path: proxy.address\n"
              "Can not find object <object>: proxy, path: proxy.output_port\n"
              "Can not find object <object>: server, path: server.protocol\n"
              "Can not find object <object>: server, path: server.address\n"
              "Can not find object <object>: server, path: server.timeout\n"
              "Can not find object <object>: redis, path: redis.host\n"
              "Can not find object <object>: redis, path: redis.port\n"
              "Can not find object <object>: redis, path: redis.password");

    Json::Value doc = valid_document();
    doc["redis"] = Json::Value(Json::objectValue);
    EXPECT_EQ(invalid_reason(doc), "Config file is invalid: Can not find field <" + s +
                                       ">: redis.host\nCan not find field <int>: redis.port\n"
                                       "Can not find field <" +
                                       s + ">: redis.password");
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

}  // namespace
}  // namespace zentu
