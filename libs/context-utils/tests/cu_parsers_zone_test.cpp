#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_utils/parsers/parser_utils.hpp"
#include "context_utils/parsers/trackable_object.hpp"
#include "context_utils/parsers/zone.hpp"
#include "support/cu_test_helpers.hpp"

namespace zentu::libs::context_utils::parsers {
namespace {

using test_kit::error_of;
using testing::parse_json;

const char* const zone_record = R"({
    "uid": "z1", "project_uid": "p1", "name": "Hall", "active": true, "shape": "POLYGON",
    "zone_type_name": "KEEP_OUT", "zone_alarm_level": 3, "default_allowed": false,
    "priority": -2, "updated_at": "2021-03-04T05:06:07.089Z", "sublocation_uid": "s1",
    "zone_geometry": {"radius": 4.7, "positions": [{"x": 1, "y": 2}, {"x": 3.9, "y": -4}]},
    "zone_exceptions": ["b", null, 5, "a"],
    "zone_exceptions_groups": [],
    "trackables_in_zone": [
        {"uid": "t1", "entered": {"x": 1, "y": 2, "z": 3, "time": "2021-03-04T05:06:07.089Z"}},
        {"uid": "t2", "entered": {"x": "1", "time": "2021-03-04T05:06:07.089"}}]
})";

TEST(cu_parsers_zone, reads_rest_record) {
    const Json::Value json = parse_json(zone_record);
    const auto zone = parsers::zone::make_view(json);
    EXPECT_EQ(zone->get_uid(), "z1");
    EXPECT_EQ(zone->get_project_uid(), "p1");
    EXPECT_EQ(zone->get_name(), "Hall");
    EXPECT_EQ(zone->get_sublocation_uid(), "s1");
    EXPECT_TRUE(zone->get_active());
    EXPECT_EQ(zone->get_shape(), "POLYGON");
    EXPECT_EQ(zone->get_zone_type_name(), "KEEP_OUT");
    EXPECT_EQ(zone->get_zone_alarm_level(), 3u);
    EXPECT_FALSE(zone->get_default_allowed());
    EXPECT_EQ(zone->get_priority(), -2);
    EXPECT_EQ(zone->get_ts(), 1614834367u);
    EXPECT_EQ(zone->get_ms(), 89u);
    EXPECT_EQ(zone->get_trackable_object_uid(), std::nullopt);
    EXPECT_EQ(zone->get_radius(), 4);
}

TEST(cu_parsers_zone, notification_time_comes_from_envelope) {
    const Json::Value notify =
        parse_json(std::string(R"({"ts": 1600000000, "ms": 5, "plist": )") + zone_record + "}");
    const auto zone = parsers::zone::make_view(notify["plist"], notify);
    EXPECT_EQ(zone->get_ts(), 1600000000u);
    EXPECT_EQ(zone->get_ms(), 5u);

    const Json::Value late_ms = parse_json(R"({"ts": 1, "ms": 1000, "plist": {}})");
    EXPECT_EQ(error_of<std::logic_error>(
                  [&] { parsers::zone::make_view(late_ms["plist"], late_ms)->get_ms(); }),
              "context-utils: envelope time is invalid: milliseconds 1000 is out of range 0..999");

    const Json::Value bad_envelope = parse_json(R"({"ts": -1, "plist": {}})");
    const auto bad = parsers::zone::make_view(bad_envelope["plist"], bad_envelope);
    EXPECT_EQ(error_of<std::logic_error>([&] { bad->get_ts(); }),
              "context-utils: \"ts\" is not an uint!");
    EXPECT_EQ(error_of<std::logic_error>([&] { bad->get_ms(); }),
              "context-utils: \"ms\" is not an uint!");
}

TEST(cu_parsers_zone, required_fields_report_key_and_type) {
    const Json::Value json = parse_json(
        R"({"active": "yes", "priority": 1.5, "zone_alarm_level": -1, "updated_at": "2021-03-04T05:06:07.089"})");
    const auto zone = parsers::zone::make_view(json);
    EXPECT_EQ(error_of<std::logic_error>([&] { zone->get_uid(); }),
              "context-utils: \"uid\" is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { zone->get_active(); }),
              "context-utils: \"active\" is not a bool!");
    EXPECT_EQ(error_of<std::logic_error>([&] { zone->get_priority(); }),
              "context-utils: \"priority\" is not an int!");
    EXPECT_EQ(error_of<std::logic_error>([&] { zone->get_zone_alarm_level(); }),
              "context-utils: \"zone_alarm_level\" is not an uint!");
    // 23 characters: the trailing Z is missing.
    EXPECT_EQ(error_of<std::logic_error>([&] { zone->get_ts(); }),
              "context-utils: failed to parse timestamp: \"updated_at\"");
    EXPECT_EQ(error_of<std::logic_error>([&] { zone->get_zone_exceptions(); }),
              "context-utils: zone_exceptions is not an array!");
    EXPECT_EQ(error_of<std::logic_error>([&] { zone->get_zone_exceptions_groups(); }),
              "context-utils: zone_exceptions_groups is not an array!");
}

TEST(cu_parsers_zone, walks_points_and_stops_on_false) {
    const Json::Value json = parse_json(zone_record);
    const auto zone = parsers::zone::make_view(json);
    std::vector<std::pair<int, int>> points;
    EXPECT_TRUE(zone->for_each_point([&](const zone::point& p) {
        points.emplace_back(p.get_x(), p.get_y());
        return true;
    }));
    EXPECT_EQ(points, (std::vector<std::pair<int, int>>{{1, 2}, {3, -4}}));

    int calls = 0;
    EXPECT_FALSE(zone->for_each_point([&](const zone::point&) { return ++calls > 5; }));
    EXPECT_EQ(calls, 1);
}

TEST(cu_parsers_zone, zone_without_geometry_or_trackables) {
    const Json::Value json = parse_json(R"({"uid": "z"})");
    const auto zone = parsers::zone::make_view(json);
    EXPECT_EQ(zone->get_radius(), std::nullopt);
    bool called = false;
    EXPECT_TRUE(zone->for_each_point([&](const zone::point&) { return called = true; }));
    EXPECT_TRUE(zone->for_each_trackable_in_zone(
        [&](const zone::trackable_in_zone&) { return called = true; }));
    EXPECT_FALSE(called);
}

TEST(cu_parsers_zone, exceptions_are_converted_while_walked) {
    const Json::Value json = parse_json(zone_record);
    const auto zone = parsers::zone::make_view(json);
    std::vector<std::string> texts;
    for (const std::string& text : zone->get_zone_exceptions())
        texts.push_back(text);
    EXPECT_EQ(texts, (std::vector<std::string>{"b", "", "5", "a"}));
    EXPECT_TRUE(zone->get_zone_exceptions_groups().empty());
}

TEST(cu_parsers_zone, trackables_in_zone_report_entered_names) {
    const Json::Value json = parse_json(zone_record);
    const auto zone = parsers::zone::make_view(json);
    std::vector<std::string> uids;
    zone->for_each_trackable_in_zone([&](const zone::trackable_in_zone& t) {
        uids.push_back(t.get_uid());
        if (t.get_uid() == "t1") {
            EXPECT_EQ(t.get_x(), 1);
            EXPECT_EQ(t.get_y(), 2);
            EXPECT_EQ(t.get_z(), 3);
            EXPECT_EQ(t.get_time().get_time_since_epoch().count(), 1614834367089);
        } else {
            EXPECT_EQ(error_of<std::logic_error>([&] { t.get_x(); }),
                      "context-utils: \"entered.x\" is not a number!");
            EXPECT_EQ(error_of<std::logic_error>([&] { t.get_y(); }),
                      "context-utils: \"entered.y\" is not a number!");
            EXPECT_EQ(error_of<std::logic_error>([&] { t.get_time(); }),
                      "context-utils: failed to parse timestamp: \"entered.time\"");
        }
        return true;
    });
    EXPECT_EQ(uids, (std::vector<std::string>{"t1", "t2"}));
}

TEST(cu_parsers_utils, iso8601_fixed_positions) {
    EXPECT_EQ(
        parser_utils::parse_iso8601("2021-03-04T05:06:07.089Z")->get_time_since_epoch().count(),
        1614834367089);
    // Separators are not checked, only offsets.
    EXPECT_EQ(
        parser_utils::parse_iso8601("2021/03/04 05.06.07,089+")->get_time_since_epoch().count(),
        1614834367089);
    EXPECT_FALSE(parser_utils::parse_iso8601("2021-03-04T05:06:07.089"));
    // Past 2038 and 2106 without wrapping; the "not removed" mark is a time too.
    EXPECT_EQ(
        parser_utils::parse_iso8601("2200-01-01T00:00:00.000Z")->get_time_since_epoch().count(),
        7258118400000);
    EXPECT_TRUE(parser_utils::parse_iso8601("9999-12-31T23:59:59.000Z"));
    const Json::Value json = parse_json(R"({"t": 5, "u": "2021-03-04T05:06:07.089Z"})");
    EXPECT_FALSE(parser_utils::try_get_iso8601_timestamp(json, "t"));
    EXPECT_TRUE(parser_utils::try_get_iso8601_timestamp(json, "u"));
    EXPECT_EQ(
        error_of<std::logic_error>([&] { parser_utils::get_iso8601_timestamp(json, "t", "time"); }),
        "context-utils: \"time\" is not a string!");
}

TEST(cu_parsers_utils, iso8601_nonsense_fails_naming_field_and_reason) {
    const auto error = [](const char* text) {
        Json::Value json;
        json["updated_at"] = text;
        return error_of<std::logic_error>([&] { parsers::zone::make_view(json)->get_ts(); });
    };
    const std::string prefix = "context-utils: failed to parse timestamp: \"updated_at\"";
    EXPECT_EQ(error("2021-13-45T99:99:99.999Z"), prefix + " (month 13 is out of range 1..12)");
    EXPECT_EQ(error("2021-02-29T00:00:00.000Z"), prefix + " (day 29 is out of range 1..28)");
    EXPECT_EQ(error("1969-12-31T23:59:59.000Z"),
              prefix + " (year 1969 is out of range 1970..9999)");
    EXPECT_EQ(error("2021-03-04T05:06:07.1234567890123456789Z"),
              prefix + " (fraction of a second longer than 9 digits)");
    // Signs and overlong numbers are not digits at the fixed offsets.
    EXPECT_EQ(error("-2147483648-01-01T00:00:00.000Z"), prefix);
    EXPECT_EQ(error("2021--2147483648T05:06:07.089Z"), prefix);
    // Seconds that do not fit the record's 32 bits are refused, not wrapped.
    EXPECT_EQ(error("2200-01-01T00:00:00.000Z"),
              "context-utils: \"updated_at\" is past 2106-02-07T06:28:15Z!");
}

const char* const trackable_record = R"({
    "uid": "t1", "name": "Forklift", "project_uid": "p1", "type": "VEHICLE",
    "category": "c", "default_height": 150.7, "updated_at": "2021-03-04T05:06:07.089Z",
    "node": {"responsive": true, "mac_address": "aa:bb"},
    "position": {"x": 12.9, "y": -3, "z": 0, "sl_id": "s1"},
    "groups": ["g2", "g1"], "self_zone_uid": "sz",
    "tag_config": {"stationary": false, "t2t_no_alarm": ["m1", 2],
                   "t2t_cfg": {"role": "r", "distance": -1, "delay": 5, "angle": 9.5,
                               "buzzer": "yes"}}
})";

TEST(cu_parsers_trackable_object, reads_rest_record) {
    const Json::Value json = parse_json(trackable_record);
    const auto object = parsers::trackable_object::make_view(json);
    EXPECT_EQ(object->get_uid(), "t1");
    EXPECT_EQ(object->get_name(), "Forklift");
    EXPECT_EQ(object->get_responsive(), true);
    EXPECT_EQ(object->get_mac_address(), "aa:bb");
    EXPECT_EQ(object->get_project_uid(), "p1");
    EXPECT_EQ(object->get_sublocation_uid(), "s1");
    EXPECT_EQ(object->get_x(), 12);
    EXPECT_EQ(object->get_y(), -3);
    EXPECT_EQ(object->get_z(), 0);
    EXPECT_EQ(object->get_ts(), 1614834367u);
    EXPECT_EQ(object->get_ms(), 89u);
    EXPECT_EQ(object->get_self_zone_uid(), "sz");
    EXPECT_EQ(object->get_default_height(), 150);
    EXPECT_EQ(object->get_type(), "VEHICLE");
    EXPECT_EQ(object->get_category(), "c");
    auto groups = object->get_groups();
    ASSERT_TRUE(groups);
    EXPECT_EQ(std::vector<std::string>(groups->begin(), groups->end()),
              (std::vector<std::string>{"g2", "g1"}));
}

TEST(cu_parsers_trackable_object, tag_config_and_t2t_cfg) {
    const Json::Value json = parse_json(trackable_record);
    const auto object = parsers::trackable_object::make_view(json);
    const auto& tag_config = object->get_tag_config();
    EXPECT_FALSE(tag_config.get_stationary());
    auto no_alarm = tag_config.get_t2t_no_alarm();
    ASSERT_TRUE(no_alarm);
    EXPECT_EQ(std::vector<std::string>(no_alarm->begin(), no_alarm->end()),
              (std::vector<std::string>{"m1", "2"}));
    auto cfg = tag_config.get_t2t_cfg();
    ASSERT_TRUE(cfg);
    EXPECT_EQ(cfg->get_role(), "r");
    EXPECT_EQ(cfg->get_distance(), 4294967295u);
    EXPECT_EQ(cfg->get_angle(), 9u);
    EXPECT_EQ(cfg->get_delay(), 5u);
    EXPECT_EQ(cfg->get_buzzer(), std::nullopt);
    EXPECT_EQ(cfg->get_pin(), std::nullopt);
}

TEST(cu_parsers_trackable_object, optional_parts_absent) {
    const Json::Value json =
        parse_json(R"({"groups": "g1", "tag_config": {"t2t_cfg": [1]}, "default_height": "1"})");
    const auto object = parsers::trackable_object::make_view(json);
    EXPECT_EQ(object->get_responsive(), std::nullopt);
    EXPECT_EQ(object->get_x(), std::nullopt);
    EXPECT_FALSE(object->get_groups());
    EXPECT_FALSE(object->get_tag_config().get_t2t_cfg());
    EXPECT_FALSE(object->get_tag_config().get_t2t_no_alarm());
    EXPECT_EQ(error_of<std::logic_error>([&] { object->get_tag_config().get_stationary(); }),
              "context-utils: \"stationary\" is not a bool!");
    EXPECT_EQ(error_of<std::logic_error>([&] { object->get_default_height(); }),
              "context-utils: \"default_height\" is not a number!");
    EXPECT_EQ(error_of<std::logic_error>([&] { object->get_ts(); }),
              "context-utils: \"updated_at\" is not a string!");

    // A malformed tag_config does not make the view unbuildable.
    const Json::Value odd = parse_json(R"({"tag_config": "x"})");
    const auto odd_object = parsers::trackable_object::make_view(odd);
    EXPECT_FALSE(odd_object->get_tag_config().get_t2t_cfg());

    // Nor does a record that is no object at all: every getter fails with the
    // view's own error, never the JSON library's, so the caller's per-record
    // guard sees it.
    for (const char* text : {"5", "\"x\"", "[1]"}) {
        const Json::Value element = parse_json(text);
        const auto broken = parsers::trackable_object::make_view(element);
        EXPECT_EQ(error_of<std::logic_error>([&] { broken->get_uid(); }),
                  "context-utils: \"uid\" is not a string!");
        EXPECT_EQ(error_of<std::logic_error>([&] { broken->get_tag_config().get_stationary(); }),
                  "context-utils: \"stationary\" is not a bool!");
        EXPECT_FALSE(broken->get_tag_config().get_t2t_cfg());
        EXPECT_EQ(broken->get_x(), std::nullopt);
    }
}

}  // namespace
}  // namespace zentu::libs::context_utils::parsers
