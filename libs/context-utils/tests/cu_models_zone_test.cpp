#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_utils/objects/zone.hpp"
#include "support/cu_test_helpers.hpp"

namespace zentu::libs::context_utils::objects {
namespace {

using test_kit::error_of;
using testing::parse_json;

const char* const zone_record = R"({
    "uid": "z1", "project_uid": "p1", "zone_id": 4, "name": "Hall", "active": true,
    "shape": "CIRCLE", "zone_type_name": "KEEP_IN", "zone_alarm_level": 2, "zone_type_id": 9,
    "default_allowed": true, "priority": -1, "updated_at": "2021-03-04T05:06:07.089Z",
    "sublocation_id": "7",
    "zone_geometry": {"radius": 5.5, "positions": [{"x": 1, "y": 2}, 3, {"x": 4.2, "y": 5}]},
    "trackables_in_zone": [
        {"uid": "t1", "entered": {"x": 1, "y": 2, "z": 3, "time": "2021-03-04 05:06:07"}},
        7,
        {"uid": "t2", "entered": {"x": "a", "time": "yesterday"}}],
    "zone_exceptions": ["b", 3, "a", "b"],
    "zone_exceptions_groups": [],
    "user_params": {"max_occupancy": 12.8}
})";

zone::ptr make_zone(const char* text) {
    return zone::create(json_template<_json_object_tag>(parse_json(text)));
}

TEST(cu_models_zone, converts_fields) {
    const auto zone = make_zone(zone_record);
    EXPECT_EQ(zone->get_uid(), "z1");
    EXPECT_EQ(zone->get_project_uid(), "p1");
    EXPECT_EQ(zone->get_zone_id(), 4u);
    EXPECT_EQ(zone->get_name(), "Hall");
    EXPECT_EQ(zone->get_sublocation_uid(), std::nullopt);
    EXPECT_TRUE(zone->get_active());
    EXPECT_EQ(zone->get_shape(), "CIRCLE");
    EXPECT_EQ(zone->get_zone_type_name(), "KEEP_IN");
    EXPECT_EQ(zone->get_zone_alarm_level(), 2u);
    EXPECT_EQ(zone->get_sublocation_id(), std::nullopt);
    EXPECT_EQ(zone->get_zone_type_id(), 9u);
    EXPECT_TRUE(zone->get_default_allowed());
    EXPECT_EQ(zone->get_priority(), -1);
    EXPECT_EQ(zone->get_updated_at().get_time_since_epoch().count(), 1614834367089);
    EXPECT_EQ(zone->get_zone_geometry().get_radius(), 5);
    EXPECT_EQ(zone->get_zone_exceptions(), (std::vector<std::string>{"a", "b", "b"}));
    EXPECT_TRUE(zone->get_zone_exceptions_groups().empty());
    ASSERT_TRUE(zone->get_user_params());
    EXPECT_EQ(zone->get_user_params()->get_max_occupancy(), 12u);
}

TEST(cu_models_zone, caches_converted_fields) {
    const auto zone = make_zone(zone_record);
    const std::string& first = zone->get_name();
    EXPECT_EQ(&first, &zone->get_name());
    EXPECT_EQ(&zone->get_zone_geometry(), &zone->get_zone_geometry());
    EXPECT_EQ(&zone->get_zone_exceptions(), &zone->get_zone_exceptions());
}

TEST(cu_models_zone, failed_conversion_is_not_cached) {
    const auto zone = make_zone(
        R"({"active": "yes", "zone_geometry": "round", "updated_at": "2021-03-04", "priority": 2.5})");
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(error_of([&] { zone->get_active(); }), "\"active\" is not a bool!");
        EXPECT_EQ(error_of([&] { zone->get_zone_geometry(); }),
                  "\"zone_geometry\" is not an object!");
    }
    EXPECT_EQ(error_of([&] { zone->get_uid(); }), "\"uid\" is not a string!");
    EXPECT_EQ(error_of([&] { zone->get_priority(); }), "\"priority\" is not an int!");
    EXPECT_EQ(error_of([&] { zone->get_zone_alarm_level(); }),
              "\"zone_alarm_level\" is not an unsigned int!");
    EXPECT_EQ(error_of([&] { zone->get_zone_exceptions(); }),
              "\"zone_exceptions\" is not an array!");
    EXPECT_EQ(error_of([&] { zone->get_updated_at(); }),
              "failed to parse timestamp: \"updated_at\"");
}

TEST(cu_models_zone, walks_skip_non_objects_and_stop_on_false) {
    const auto zone = make_zone(zone_record);
    std::vector<std::pair<int, int>> points;
    EXPECT_TRUE(zone->get_zone_geometry().for_each_point([&](const zone::point& p) {
        points.emplace_back(p.get_x(), p.get_y());
        return true;
    }));
    EXPECT_EQ(points, (std::vector<std::pair<int, int>>{{1, 2}, {4, 5}}));

    std::vector<std::string> uids;
    EXPECT_FALSE(zone->for_each_trackable_in_zone([&](const zone::trackable_in_zone& t) {
        uids.push_back(t.get_uid());
        return t.get_uid() != "t2";
    }));
    EXPECT_EQ(uids, (std::vector<std::string>{"t1", "t2"}));
}

TEST(cu_models_zone, trackables_in_zone_read_entered) {
    const auto zone = make_zone(zone_record);
    zone->for_each_trackable_in_zone([&](const zone::trackable_in_zone& t) {
        if (t.get_uid() == "t1") {
            EXPECT_EQ(t.get_x() + t.get_y() + t.get_z(), 6);
            EXPECT_EQ(t.get_time().get_time_since_epoch().count(), 1614834367000);
        } else {
            EXPECT_EQ(error_of([&] { t.get_x(); }), "\"entered.x\" is not a number!");
            EXPECT_EQ(error_of([&] { t.get_z(); }), "\"entered.z\" is not a number!");
            EXPECT_EQ(error_of([&] { t.get_time(); }),
                      "failed to parse timestamp: \"entered.time\"");
        }
        return true;
    });
}

TEST(cu_models_zone, absent_optional_parts) {
    const auto zone = make_zone(R"({"zone_geometry": {}, "user_params": "none"})");
    EXPECT_FALSE(zone->get_user_params());
    EXPECT_EQ(zone->get_zone_geometry().get_radius(), std::nullopt);
    bool called = false;
    EXPECT_TRUE(
        zone->get_zone_geometry().for_each_point([&](const auto&) { return called = true; }));
    EXPECT_TRUE(zone->for_each_trackable_in_zone([&](const auto&) { return called = true; }));
    EXPECT_FALSE(called);
}

TEST(cu_models_zone, notification_time_from_envelope) {
    const json_template<_json_notify_tag> notify(
        parse_json(std::string(R"({"object": "ZONE", "ts": 1600000000, "ms": 5, "plist": )") +
                   zone_record + "}"));
    const auto zone = objects::zone::create(notify);
    EXPECT_EQ(zone->get_uid(), "z1");
    EXPECT_EQ(zone->get_updated_at().get_time_since_epoch().count(), 1600000000005);

    const auto bad = objects::zone::create(
        json_template<_json_notify_tag>(parse_json(R"({"ts": 1, "ms": -5})")));
    EXPECT_EQ(error_of([&] { bad->get_updated_at(); }), "\"ms\" is not an unsigned int!");
    EXPECT_EQ(error_of([&] { bad->get_uid(); }), "\"uid\" is not a string!");
}

TEST(cu_models_zone, non_object_list_element_fails_type_tests) {
    const auto zone = make_zone("5");
    EXPECT_EQ(error_of([&] { zone->get_uid(); }), "\"uid\" is not a string!");
    EXPECT_FALSE(zone->get_user_params());
}

}  // namespace
}  // namespace zentu::libs::context_utils::objects
