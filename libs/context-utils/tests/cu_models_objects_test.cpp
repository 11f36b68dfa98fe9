#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_utils/objects/node.hpp"
#include "context_utils/objects/sublocation.hpp"
#include "context_utils/objects/trackable_object.hpp"
#include "context_utils/objects/win_anchor.hpp"
#include "support/cu_test_helpers.hpp"

namespace zentu::libs::context_utils::objects {
namespace {

using test_kit::error_of;
using testing::parse_json;

json_template<_json_object_tag> element(const char* text) {
    return json_template<_json_object_tag>(parse_json(text));
}

TEST(cu_models_trackable_object, converts_fields_and_nested_models) {
    const auto object = objects::trackable_object::create(element(R"({
        "uid": "t1", "name": "Cart", "project_uid": "p", "company_uid": "c",
        "updated_at": "2021-03-04T05:06:07.089Z", "self_zone_uid": "z9",
        "groups": ["b", 3, "a", "b"], "default_height": 170.6, "type": "PERSON",
        "category": "staff",
        "node": {"responsive": false, "mac_address": "m1"},
        "position": {"x": 1.5, "y": 2, "z": -3, "sl_id": "s1"},
        "tag_config": {"stationary": true,
                       "t2t_no_alarm": [{"mac": "a"}, "skip", {"mac": 5}],
                       "t2t_cfg": {"role": "master", "distance": 2.9, "delay": 4, "haptic": true,
                                   "angle": "wide"}}})"));
    EXPECT_EQ(object->get_uid(), "t1");
    EXPECT_EQ(object->get_name(), "Cart");
    EXPECT_EQ(object->get_company_uid(), "c");
    EXPECT_EQ(object->get_self_zone_uid(), "z9");
    ASSERT_TRUE(object->get_groups());
    EXPECT_EQ(*object->get_groups(), (std::vector<std::string>{"a", "b", "b"}));
    EXPECT_EQ(object->get_default_height(), 170);
    EXPECT_EQ(object->get_type(), "PERSON");
    EXPECT_EQ(object->get_category(), "staff");
    EXPECT_EQ(object->get_updated_at().get_time_since_epoch().count(), 1614834367089);

    ASSERT_TRUE(object->get_node());
    EXPECT_FALSE(object->get_node()->get_responsive());
    EXPECT_EQ(object->get_node()->get_mac_address(), "m1");
    ASSERT_TRUE(object->get_position());
    EXPECT_EQ(object->get_position()->get_x(), 1);
    EXPECT_EQ(object->get_position()->get_z(), -3);
    EXPECT_EQ(object->get_position()->get_sl_id(), "s1");

    const auto& tag_config = object->get_tag_config();
    EXPECT_TRUE(tag_config.get_stationary());
    std::vector<std::string> macs;
    tag_config.for_each_t2t_no_alarm_item([&](const auto& item) {
        const std::string error = error_of([&] { item.get_mac(); });
        macs.push_back(error == "no error" ? item.get_mac() : error);
        return true;
    });
    EXPECT_EQ(macs, (std::vector<std::string>{"a", "\"t2t_no_alarm.mac\" is not a string!"}));
    auto cfg = tag_config.get_t2t_cfg();
    ASSERT_TRUE(cfg);
    EXPECT_EQ(cfg->get_role(), "master");
    EXPECT_EQ(cfg->get_distance(), 2u);
    EXPECT_EQ(cfg->get_delay(), 4u);
    EXPECT_EQ(cfg->get_haptic(), true);
    EXPECT_EQ(cfg->get_angle(), std::nullopt);
    EXPECT_EQ(cfg->get_buzzer(), std::nullopt);
}

TEST(cu_models_trackable_object, missing_parts) {
    const auto object =
        objects::trackable_object::create(element(R"({"groups": "g", "tag_config": {}})"));
    EXPECT_FALSE(object->get_node());
    EXPECT_FALSE(object->get_position());
    EXPECT_FALSE(object->get_groups());
    EXPECT_FALSE(object->get_tag_config().get_t2t_cfg());
    EXPECT_TRUE(
        object->get_tag_config().for_each_t2t_no_alarm_item([](const auto&) { return false; }));
    EXPECT_EQ(error_of([&] { object->get_tag_config().get_stationary(); }),
              "\"stationary\" is not a bool!");
    EXPECT_EQ(error_of([&] { object->get_default_height(); }),
              "\"default_height\" is not a number!");
    EXPECT_EQ(error_of([&] { object->get_updated_at(); }), "\"updated_at\" is not a string!");

    const auto no_tag_config = objects::trackable_object::create(element("{}"));
    EXPECT_EQ(error_of([&] { no_tag_config->get_tag_config(); }),
              "\"tag_config\" is not an object!");
}

TEST(cu_models_win_anchor, converts_fields) {
    const auto anchor = objects::win_anchor::create(element(R"({
        "uid": "w1", "name": "A", "sublocation_uid": "s1", "project_uid": "p", "company_uid": "c",
        "updated_at": "2021-03-04T05:06:07.089Z",
        "node": {"responsive": true, "mac_address": "m", "node_id": 17},
        "position": {"x": 1, "y": 2, "z": 3.7}})"));
    EXPECT_EQ(anchor->get_uid(), "w1");
    EXPECT_EQ(anchor->get_name(), "A");
    EXPECT_EQ(anchor->get_sublocation_uid(), "s1");
    ASSERT_TRUE(anchor->get_node());
    EXPECT_EQ(anchor->get_node()->get_node_id(), 17u);
    ASSERT_TRUE(anchor->get_position());
    EXPECT_EQ(anchor->get_position()->get_z(), 3);

    const auto bare = objects::win_anchor::create(element(R"({"node": {"node_id": -1}})"));
    EXPECT_EQ(error_of([&] { bare->get_sublocation_uid(); }),
              "\"sublocation_uid\" is not a string!");
    EXPECT_EQ(error_of([&] { bare->get_node()->get_node_id(); }),
              "\"node_id\" is not an unsigned int!");
    EXPECT_FALSE(bare->get_position());
}

TEST(cu_models_sublocation, optional_fields) {
    const auto sublocation = objects::sublocation::create(element(R"({
        "uid": "s1", "updated_at": "2021-03-04T05:06:07.089Z", "name": "Floor 1",
        "project_name": 5, "id": 7.9, "offset_x": -1.5, "offset_y": "1"})"));
    EXPECT_EQ(sublocation->get_uid(), "s1");
    EXPECT_EQ(sublocation->get_name(), "Floor 1");
    EXPECT_EQ(sublocation->get_project_name(), std::nullopt);
    EXPECT_EQ(sublocation->get_location_uid(), std::nullopt);
    EXPECT_EQ(sublocation->get_id(), 7u);
    EXPECT_EQ(sublocation->get_offset_x(), -1);
    EXPECT_EQ(sublocation->get_offset_y(), std::nullopt);
    EXPECT_EQ(sublocation->get_offset_z(), std::nullopt);
}

TEST(cu_models_node, from_notification) {
    const auto node = objects::node::create(json_template<_json_notify_tag>(parse_json(R"({
        "object": "NODE", "action": "updated", "ts": 1600000000, "ms": 999,
        "plist": {"uid": "n1", "mac_address": "m", "updated_at": "bad",
                  "status": {"ext_pow": true}}})")));
    EXPECT_EQ(node->get_uid(), "n1");
    EXPECT_EQ(node->get_mac_address(), "m");
    EXPECT_EQ(node->get_updated_at().get_time_since_epoch().count(), 1600000000999);
    ASSERT_TRUE(node->get_status());
    EXPECT_TRUE(node->get_status()->get_ext_pow());

    const auto no_status = objects::node::create(element(R"({"status": [true]})"));
    EXPECT_FALSE(no_status->get_status());
}

}  // namespace
}  // namespace zentu::libs::context_utils::objects
