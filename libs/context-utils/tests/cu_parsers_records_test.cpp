#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_utils/parsers/alarm.hpp"
#include "context_utils/parsers/pos.hpp"
#include "context_utils/parsers/trackable_object_association.hpp"
#include "context_utils/parsers/trackable_object_groups.hpp"
#include "support/cu_test_helpers.hpp"

namespace zentu::libs::context_utils::parsers {
namespace {

using test_kit::error_of;
using testing::parse_json;

std::int64_t ms_of(const timestamp& ts) {
    return ts.get_time_since_epoch().count();
}

TEST(cu_parsers_alarm, reads_rest_record) {
    const Json::Value json = parse_json(R"({
        "uid": "a1", "mac_address": "m", "alarm_name": "KO", "obj_uid": "t1",
        "additional_info": {"text": "hello", "zone_alarm_level": 2,
                            "zone_violation_type": "KEEP_OUT", "zone_uid": "z1"},
        "ts": "2021-03-04T05:06:07.089Z", "sublocation_uid": "s1",
        "x": 12.9, "y": 3, "z": "1"})");
    const auto alarm = parsers::alarm::make_view(json);
    EXPECT_EQ(alarm->get_uid(), "a1");
    EXPECT_EQ(alarm->get_mac_address(), "m");
    EXPECT_EQ(alarm->get_alarm_name(), "KO");
    EXPECT_EQ(alarm->get_text(), "hello");
    EXPECT_EQ(alarm->get_zone_alarm_level(), 2u);
    EXPECT_EQ(alarm->get_zone_violation_type(), "KEEP_OUT");
    EXPECT_EQ(alarm->get_zone_uid(), "z1");
    EXPECT_EQ(alarm->get_ts(), 1614834367u);
    EXPECT_EQ(alarm->get_ms(), 89u);
    EXPECT_EQ(alarm->get_sublocation_uid(), "s1");
    EXPECT_EQ(alarm->get_x(), std::nullopt);
    EXPECT_EQ(alarm->get_y(), 3);
    EXPECT_EQ(alarm->get_z(), std::nullopt);
    EXPECT_EQ(alarm->get_obj_uid(), "t1");
}

TEST(cu_parsers_alarm, fixed_error_texts) {
    const Json::Value json = parse_json(R"({"ts": "2021-03-04T05:06:07.089"})");
    const auto alarm = parsers::alarm::make_view(json);
    EXPECT_EQ(error_of<std::logic_error>([&] { alarm->get_uid(); }),
              "context-utils: uid is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { alarm->get_mac_address(); }),
              "context-utils: mac_address is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { alarm->get_alarm_name(); }),
              "context-utils: alarm_name is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { alarm->get_text(); }),
              "context-utils: additional_info.text is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { alarm->get_obj_uid(); }),
              "context-utils: obj_uid is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { alarm->get_ts(); }),
              "context-utils: failed to parse timestamp: \"ts\"");

    const Json::Value no_ts = parse_json(R"({"ts": 5})");
    EXPECT_EQ(error_of<std::logic_error>([&] { parsers::alarm::make_view(no_ts)->get_ms(); }),
              "context-utils: ts is not a string!");

    const Json::Value notify = parse_json(R"({"ts": 7, "ms": "x", "plist": {}})");
    const auto notified = parsers::alarm::make_view(notify["plist"], notify);
    EXPECT_EQ(notified->get_ts(), 7u);
    EXPECT_EQ(error_of<std::logic_error>([&] { notified->get_ms(); }),
              "context-utils: ms is not an int!");

    // A negative envelope time is refused rather than wrapped to 4294967295.
    const Json::Value negative = parse_json(R"({"ts": -1, "ms": 999, "plist": {}})");
    EXPECT_EQ(
        error_of<std::logic_error>(
            [&] { parsers::alarm::make_view(negative["plist"], negative)->get_ts(); }),
        "context-utils: envelope time is invalid: seconds -1 is out of range 0..253402300799");
}

TEST(cu_parsers_pos, reads_message_views) {
    const Json::Value json = parse_json(R"({
        "tk_uid": "t1", "ts": "2024-05-01 10:00:00.5",
        "data": {"x": 1.9, "y": -2, "z": 3, "type": "UWB", "sl_uid": "s1", "fom": 7, "mac": "m"}})");
    const auto pos = parsers::pos::make_view(json);
    EXPECT_EQ(pos->get_trackable_uid(), "t1");
    EXPECT_EQ(ms_of(pos->get_ts()), 1714557600500);
    EXPECT_EQ(pos->get_x(), 1);
    EXPECT_EQ(pos->get_y(), -2);
    EXPECT_EQ(pos->get_z(), 3);
    EXPECT_EQ(pos->get_type(), "UWB");
    EXPECT_EQ(pos->get_sublocation_uid(), "s1");
    EXPECT_EQ(pos->get_fom(), 7u);
    EXPECT_EQ(pos->get_mac(), "m");
}

TEST(cu_parsers_pos, errors_are_located_exceptions) {
    const Json::Value json = parse_json(R"({"ts": "2024-05-01", "data": {"fom": -1}})");
    const auto pos = parsers::pos::make_view(json);
    EXPECT_EQ(error_of([&] { pos->get_trackable_uid(); }),
              "context-utils: pos: tk_uid is not a string!");
    EXPECT_EQ(error_of([&] { pos->get_ts(); }), "timestamp: \"2024-05-01\" is invalid!");
    EXPECT_EQ(error_of([&] { pos->get_x(); }), "context-utils: pos: data.x is not a number!");
    EXPECT_EQ(error_of([&] { pos->get_y(); }), "context-utils: pos: data.y is not a number!");
    EXPECT_EQ(error_of([&] { pos->get_z(); }), "context-utils: pos: data.z is not a number!");
    EXPECT_EQ(error_of([&] { pos->get_type(); }), "context-utils: pos: data.type is not a string!");
    EXPECT_EQ(error_of([&] { pos->get_sublocation_uid(); }),
              "context-utils: pos: data.sl_uid is not a string!");
    EXPECT_EQ(error_of([&] { pos->get_fom(); }), "context-utils: pos: data.fom is not an uint!");
    EXPECT_EQ(error_of([&] { pos->get_mac(); }), "context-utils: pos: data.mac is not a string!");

    const Json::Value no_ts = parse_json(R"({"ts": 1})");
    EXPECT_EQ(error_of([&] { parsers::pos::make_view(no_ts)->get_ts(); }),
              "context-utils: pos: ts is not a string!");

    // Numbers beyond 32 bits and messages that are no object fail the same way.
    const Json::Value huge = parse_json(R"({"data": {"x": 1e20, "y": 4294967296}})");
    EXPECT_EQ(error_of([&] { parsers::pos::make_view(huge)->get_x(); }),
              "context-utils: pos: data.x is not a number!");
    EXPECT_EQ(error_of([&] { parsers::pos::make_view(huge)->get_y(); }),
              "context-utils: pos: data.y is not a number!");
    const Json::Value array = parse_json("[1]");
    EXPECT_EQ(error_of([&] { parsers::pos::make_view(array)->get_mac(); }),
              "context-utils: pos: data.mac is not a string!");
}

TEST(cu_parsers_association, reads_plist_and_envelope) {
    const Json::Value notify = parse_json(R"({"ts": 1600000000, "ms": 250, "plist": {
        "project_uid": "p", "mac_address": "m", "trob_uid": "t1",
        "created_at": "2021-03-04T05:06:07.089Z", "removed_at": "9999-12-31T23:59:59.000Z"}})");
    const auto association =
        parsers::trackable_object_association::make_view(notify["plist"], notify);
    EXPECT_EQ(ms_of(association->get_ts()), 1600000000250);
    EXPECT_EQ(association->get_project_uid(), "p");
    EXPECT_EQ(association->get_mac_address(), "m");
    EXPECT_EQ(association->get_trackable_object_uid(), "t1");
    EXPECT_EQ(ms_of(association->get_created_at()), 1614834367089);
    EXPECT_EQ(association->get_removed_at(), std::nullopt);

    const Json::Value removed =
        parse_json(R"({"plist": {"removed_at": "2021-03-04T05:06:08.001Z"}})");
    const auto removed_view =
        parsers::trackable_object_association::make_view(removed["plist"], removed);
    ASSERT_TRUE(removed_view->get_removed_at());
    EXPECT_EQ(ms_of(*removed_view->get_removed_at()), 1614834368001);
}

TEST(cu_parsers_association, fixed_error_texts) {
    const Json::Value notify = parse_json(
        R"({"ts": "1", "ms": 1, "plist": {"removed_at": null, "created_at": "2021-03-04T05:06:07"}})");
    const auto view = parsers::trackable_object_association::make_view(notify["plist"], notify);
    EXPECT_EQ(error_of<std::logic_error>([&] { view->get_ts(); }),
              "context-utils: ts is not an int!");
    EXPECT_EQ(error_of<std::logic_error>([&] { view->get_project_uid(); }),
              "context-utils: project_uid is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { view->get_mac_address(); }),
              "context-utils: mac_address is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { view->get_trackable_object_uid(); }),
              "context-utils: trob_uid is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { view->get_removed_at(); }),
              "context-utils: removed_at is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { view->get_created_at(); }),
              "context-utils: failed to parse timestamp: \"created_at\"");

    const Json::Value short_removed =
        parse_json(R"({"plist": {"removed_at": "9999-12-31"}, "ms": 1})");
    const auto short_view =
        parsers::trackable_object_association::make_view(short_removed["plist"], short_removed);
    EXPECT_EQ(error_of<std::logic_error>([&] { short_view->get_removed_at(); }),
              "context-utils: failed to parse timestamp: \"removed_at\"");
    EXPECT_EQ(error_of<std::logic_error>([&] { short_view->get_created_at(); }),
              "context-utils: created_at is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { short_view->get_ts(); }),
              "context-utils: ts is not an int!");
}

std::vector<std::string> walk(const trackable_object_groups& groups, bool added) {
    std::vector<std::string> seen;
    auto collect = [&](const trackable_object_groups::group& g) {
        seen.push_back(g.get_uid() + "=" + g.get_trackable_object_uid());
        return true;
    };
    added ? groups.for_each_added_group(collect) : groups.for_each_removed_group(collect);
    return seen;
}

TEST(cu_parsers_groups, walks_members_by_action_in_name_order) {
    const Json::Value notify = parse_json(R"({"ts": 10, "ms": 2, "project_uid": "p", "plist": {
        "g2": {"action": "REMOVE_GROUP", "trackableObject": "t2"},
        "g1": {"action": "ADD_GROUP", "trackableObject": "t1"},
        "g0": {"action": "ADD_GROUP", "trackableObject": "t0"},
        "g3": {"action": "add_group", "trackableObject": "t3"},
        "g4": {"trackableObject": "t4"},
        "g5": 5}})");
    const auto groups = parsers::trackable_object_groups::make_view(notify["plist"], notify);
    EXPECT_EQ(ms_of(groups->get_ts()), 10002);
    EXPECT_EQ(groups->get_project_uid(), "p");
    EXPECT_EQ(walk(*groups, true), (std::vector<std::string>{"g0=t0", "g1=t1"}));
    EXPECT_EQ(walk(*groups, false), (std::vector<std::string>{"g2=t2"}));

    int calls = 0;
    EXPECT_FALSE(groups->for_each_added_group([&](const auto&) { return ++calls > 1; }));
    EXPECT_EQ(calls, 1);
}

TEST(cu_parsers_groups, errors) {
    const Json::Value notify = parse_json(
        R"({"plist": {"g": {"action": "ADD_GROUP", "trackableObject": 1}}, "project_uid": 1})");
    const auto groups = parsers::trackable_object_groups::make_view(notify["plist"], notify);
    EXPECT_EQ(error_of<std::logic_error>([&] { groups->get_project_uid(); }),
              "context-utils: project_uid is not a string!");
    EXPECT_EQ(error_of<std::logic_error>([&] { groups->get_ts(); }),
              "context-utils: ts is not an int!");
    EXPECT_EQ(error_of<std::logic_error>([&] { walk(*groups, true); }),
              "context-utils::group_impl: trackableObject is not a string!");
}

}  // namespace
}  // namespace zentu::libs::context_utils::parsers
