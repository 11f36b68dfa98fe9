#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/asio.hpp>

#include <cstdio>
#include <fstream>

#include <map>

#include "platform-sim/catalogue.hpp"
#include "platform-sim/site_generator.hpp"
#include "support/sim_test_support.hpp"
#include "test_kit/http_client.hpp"

namespace zentu::platform_sim::test {
namespace {

using test_kit::http_answer;
using test_kit::http_get;
using test_kit::http_post;
const std::string examples = MAROVANE_SIM_EXAMPLES;

Json::Value valid_alarm(const std::string& state) {
    return parse(R"({"obj_uid": "obj-forklift-1", "mac_address": "02:00:00:00:00:01",
        "alarm_name": "zone_violation", "state": ")" +
                 state + R"(", "obj_class": "TO",
        "ts": 1796754720, "ms": 45, "x": 8500, "y": 1000, "z": 0,
        "sublocation_uid": "sl-ground-floor",
        "additional_info": {"zone_alarm_level": 2, "zone_uid": "zone-ko-dock-3",
            "text": "Keep out zone Dock 3 with zone alarm level 2",
            "zone_violation_type": "keep_out"}})");
}

class sim_platform_api : public ::testing::Test {
protected:
    void SetUp() override {
        m_site = read_json_file(examples + "/site.json");
        // ctest runs the cases of this file in parallel processes: one file each.
        m_log_file = ::testing::TempDir() + "sim_platform_api_requests_" +
                     std::to_string(::getpid()) + ".jsonl";
        std::remove(m_log_file.c_str());
        m_sim = start_simulator(m_site, m_log_file);
        m_url = base_url(*m_sim);
    }

    http_answer post_alarm(const Json::Value& body) {
        return http_post(m_url + "/api/private/alarms/", to_text(body));
    }

    Json::Value m_site;
    std::string m_log_file;
    simulator::ptr m_sim;
    std::string m_url;
};

TEST_F(sim_platform_api, serves_every_list_as_written_under_its_name) {
    for (const auto& info : lists) {
        const std::string name(info.name);
        auto answer = http_get(m_url + std::string(info.path));
        ASSERT_EQ(answer.status, 200) << info.path;
        ASSERT_TRUE(answer.json().isObject()) << answer.body;
        EXPECT_EQ(answer.json().getMemberNames(), std::vector<std::string>{name});
        EXPECT_EQ(answer.json()[name], m_site[name]) << name;
    }
    auto types = http_get(m_url + "/api/private/alarm_types/");
    EXPECT_EQ(types.status, 200);
    EXPECT_EQ(types.json(), m_site["alarm_types"]);
    EXPECT_EQ(http_get(m_url + "/api/private/track_obj/").json()["trackableObjects"].size(), 4u);
}

TEST_F(sim_platform_api, unknown_paths_answer_404_and_are_recorded) {
    EXPECT_EQ(http_get(m_url + "/api/private/nothing/").status, 404);
    EXPECT_EQ(http_post(m_url + "/api/private/zones/", "{}").status, 404);
    auto requests = http_get(m_url + "/sim/requests").json()["requests"];
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["outcome"], "not_found");
    EXPECT_EQ(requests[1]["method"], "POST");
}

TEST_F(sim_platform_api, malformed_alarm_requests_are_rejected_with_a_reason_and_recorded) {
    struct bad_case {
        const char* member;
        Json::Value value;
        std::string reason;
    };
    const std::vector<bad_case> cases = {
        {"obj_uid", Json::Value(12), "\"obj_uid\" is not a string"},
        {"mac_address", Json::Value(), "\"mac_address\" is not a string"},
        {"state", Json::Value("open"), "\"state\" is neither \"set\" nor \"clear\""},
        {"obj_class", Json::Value("XX"), "\"obj_class\" is not \"TO\""},
        {"ts", Json::Value(1.5), "\"ts\" is not an integer"},
        {"ts", Json::Value("1796754720"), "\"ts\" is not an integer"},
        {"ms", Json::Value(-1), "\"ms\" is not an unsigned integer"},
        {"ms", Json::Value(1000), "\"ms\" is greater than 999"},
        {"x", Json::Value(1.5), "\"x\" is not an integer"},
        {"z", Json::Value(), "\"z\" is not an integer"},
        {"sublocation_uid", Json::Value(3), "\"sublocation_uid\" is neither a string nor null"},
        {"additional_info", Json::Value("x"), "\"additional_info\" is not an object"},
    };
    for (const auto& c : cases) {
        auto body = valid_alarm("set");
        body[c.member] = c.value;
        auto answer = post_alarm(body);
        EXPECT_EQ(answer.status, 400) << c.member;
        EXPECT_EQ(answer.json()["error"], c.reason) << c.member;
    }
    auto body = valid_alarm("set");
    body.removeMember("sublocation_uid");
    EXPECT_EQ(post_alarm(body).json()["error"], "\"sublocation_uid\" is missing");
    body = valid_alarm("set");
    body["additional_info"]["zone_violation_type"] = "keep_around";
    EXPECT_EQ(post_alarm(body).status, 400);
    body = valid_alarm("set");
    body["additional_info"].removeMember("zone_uid");
    EXPECT_EQ(post_alarm(body).json()["error"], "\"additional_info.zone_uid\" is not a string");
    auto not_json = http_post(m_url + "/api/private/alarms/", "{\"obj_uid\": ");
    EXPECT_EQ(not_json.status, 400);
    EXPECT_EQ(not_json.json()["error"].asString().rfind("the body is not JSON: ", 0), 0u);

    // Nothing of it opened an alarm; every attempt is on record as rejected.
    EXPECT_EQ(http_get(m_url + "/sim/alarms").json()["alarms"].size(), 1u);
    auto requests = http_get(m_url + "/sim/requests").json()["requests"];
    ASSERT_EQ(requests.size(), cases.size() + 4);
    for (const auto& r : requests) {
        EXPECT_EQ(r["outcome"], "rejected");
        EXPECT_EQ(r["status"], 400);
        EXPECT_TRUE(r["reason"].isString());
    }
    EXPECT_EQ(requests[0]["reason"], cases[0].reason);
    EXPECT_EQ(requests[0]["body"]["obj_uid"], 12) << "a JSON body is kept as JSON";
    EXPECT_EQ(requests[static_cast<Json::ArrayIndex>(cases.size() + 3)]["body"], "{\"obj_uid\": ");
}

TEST_F(sim_platform_api, set_opens_refresh_keeps_and_clear_closes_the_served_alarm) {
    // A null sublocation and no coordinates are valid too.
    auto set = valid_alarm("set");
    set["sublocation_uid"] = Json::Value();
    set.removeMember("x");
    ASSERT_EQ(post_alarm(set).status, 200);

    auto alarms = http_get(m_url + "/api/private/alarms/").json()["alarms"];
    ASSERT_EQ(alarms.size(), 2u);
    const auto opened = alarms[1];
    EXPECT_EQ(opened["obj_uid"], "obj-forklift-1");
    EXPECT_EQ(opened["mac_address"], "02:00:00:00:00:01");
    EXPECT_EQ(opened["alarm_name"], "zone_violation");
    EXPECT_EQ(opened["ts"], "2026-12-08T18:32:00.045Z");
    EXPECT_EQ(opened["additional_info"]["zone_uid"], "zone-ko-dock-3");
    EXPECT_EQ(opened["additional_info"]["zone_alarm_level"], 2);
    EXPECT_EQ(opened["additional_info"]["zone_violation_type"], "keep_out");
    EXPECT_FALSE(opened.isMember("x"));
    EXPECT_EQ(opened["y"], 1000);
    EXPECT_TRUE(opened["uid"].isString());

    // The periodic re-send refreshes the same alarm.
    set["ts"] = 1796754780;
    ASSERT_EQ(post_alarm(set).status, 200);
    alarms = http_get(m_url + "/sim/alarms").json()["alarms"];
    ASSERT_EQ(alarms.size(), 2u);
    EXPECT_EQ(alarms[1]["uid"], opened["uid"]);
    EXPECT_EQ(alarms[1]["ts"], "2026-12-08T18:33:00.045Z");

    auto clear = valid_alarm("clear");
    EXPECT_EQ(post_alarm(clear).status, 200);
    EXPECT_EQ(post_alarm(clear).status, 404) << "a second clear finds nothing open";
    alarms = http_get(m_url + "/api/private/alarms/").json()["alarms"];
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0]["uid"], "alarm-17");

    // The alarm of the site file closes like any other.
    clear["obj_uid"] = "obj-worker-7";
    EXPECT_EQ(post_alarm(clear).status, 200);
    EXPECT_EQ(http_get(m_url + "/api/private/alarms/").json()["alarms"].size(), 0u);

    auto outcomes = http_get(m_url + "/sim/requests?since=2").json();
    ASSERT_EQ(outcomes["requests"].size(), 6u);
    EXPECT_EQ(outcomes["requests"][0]["index"], 2);
    EXPECT_EQ(outcomes["requests"][2]["outcome"], "not_found");
    EXPECT_EQ(outcomes["next"], 8);
}

TEST_F(sim_platform_api, the_requests_log_holds_one_json_line_per_request) {
    post_alarm(valid_alarm("set"));
    http_get(m_url + "/api/private/zones/");
    http_get(m_url + "/sim/health");  // control requests are not platform requests
    std::ifstream file(m_log_file);
    std::string line;
    std::vector<Json::Value> lines;
    while (std::getline(file, line))
        lines.push_back(parse(line));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["path"], "/api/private/alarms/");
    EXPECT_EQ(lines[0]["body"]["state"], "set");
    EXPECT_EQ(lines[0]["outcome"], "accepted");
    EXPECT_EQ(lines[1]["index"], 1);
    EXPECT_EQ(lines[1]["status"], 200);
}

TEST_F(sim_platform_api, answers_100_continue_before_reading_an_announced_body) {
    namespace asio = boost::asio;
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), m_sim->http_port()});
    const auto body = to_text(valid_alarm("set"));
    const auto head = "POST /api/private/alarms/ HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\nExpect: 100-continue\r\n\r\n";
    asio::write(socket, asio::buffer(head));
    asio::streambuf reply;
    asio::read_until(socket, reply, "\r\n\r\n");
    std::string interim{asio::buffers_begin(reply.data()), asio::buffers_end(reply.data())};
    EXPECT_EQ(interim.rfind("HTTP/1.1 100 Continue\r\n", 0), 0u) << interim;
    reply.consume(reply.size());
    asio::write(socket, asio::buffer(body));
    asio::read_until(socket, reply, "\r\n\r\n");
    std::string final_head{asio::buffers_begin(reply.data()), asio::buffers_end(reply.data())};
    EXPECT_EQ(final_head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << final_head;
    EXPECT_EQ(http_get(m_url + "/sim/alarms").json()["alarms"].size(), 2u);
}

TEST(sim_site, refuses_a_malformed_site_and_a_non_loopback_address) {
    EXPECT_THROW(start_simulator(parse(R"({"zones": {}})")), request_error);
    EXPECT_THROW(start_simulator(parse(R"({"zones": [{"name": "no uid"}]})")), request_error);
    options o;
    o.http_address = "0.0.0.0:0";
    EXPECT_THROW(simulator::create(o), request_error);
    o.http_address = "127.0.0.1:0";
    o.pub_endpoint = "tcp://0.0.0.0:0";
    EXPECT_THROW(simulator::create(o), request_error);
    EXPECT_TRUE(is_loopback_endpoint("tcp://[::1]:5000"));
    EXPECT_TRUE(is_loopback_host("127.0.0.2"));
    EXPECT_FALSE(is_loopback_host("10.0.0.1"));
}

TEST(sim_site, generates_a_large_consistent_site) {
    auto sim = start_simulator(
        generate_site("objects=1000,zones=50,keep_in=10,keep_out=10,projects=2,alarms=30"));
    const auto url = base_url(*sim);
    auto zones = http_get(url + "/api/private/zones/").json()["zones"];
    auto objects = http_get(url + "/api/private/track_obj/").json()["trackableObjects"];
    ASSERT_EQ(zones.size(), 50u);
    ASSERT_EQ(objects.size(), 1000u);
    EXPECT_EQ(http_get(url + "/api/private/alarms/").json()["alarms"].size(), 30u);
    EXPECT_EQ(http_get(url + "/api/private/sublocations/").json()["sublocations"].size(), 2u);
    std::map<std::string, int> types;
    std::size_t inside = 0;
    for (const auto& zone : zones) {
        ++types[zone["zone_type_name"].asString()];
        inside += zone["trackables_in_zone"].size();
    }
    EXPECT_EQ(types["keep_in"], 10);
    EXPECT_EQ(types["keep_out"], 10);
    EXPECT_EQ(types["information"], 30);
    EXPECT_EQ(inside, 1000u) << "every object starts in one keep-in zone";
    EXPECT_THROW(generate_site("objects=ten"), request_error);
    EXPECT_THROW(generate_site("rooms=3"), request_error);
}

}  // namespace
}  // namespace zentu::platform_sim::test
