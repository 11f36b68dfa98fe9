#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "context/alarm_rules.hpp"
#include "context/context.hpp"
#include "context/pair_uid.hpp"
#include "core/enum_from_string.hpp"
#include "support/records.hpp"
#include "test_kit/error_of.hpp"

namespace zentu::context {
namespace {

using libs::core::enum_from_string;
using libs::core::timestamp;
using test_kit::error_of;

TEST(context_enumerations, zone_type_text_round_trip) {
    EXPECT_EQ(enum_from_string<zone_type>("keep_in"), zone_type::KEEP_IN);
    EXPECT_EQ(enum_from_string<zone_type>("information"), zone_type::INFORM);
    EXPECT_EQ(enum_from_string<zone_type>("UNKNOWN"), zone_type::UNKNOWN);
    EXPECT_EQ(enum_from_string<zone_type>("KEEP_IN"), std::nullopt);
    EXPECT_EQ(enum_from_string<zone_type>("keep_in "), std::nullopt);
    EXPECT_EQ(enum_from_string<zone_type>(""), std::nullopt);
    for (int i = 0; i < static_cast<int>(zone_type::_count); ++i) {
        const auto type = static_cast<zone_type>(i);
        EXPECT_EQ(enum_from_string<zone_type>(to_string(type)), type);
    }
    EXPECT_EQ(to_string(zone_type::ONE_WAY), "one_way");
    EXPECT_EQ(error_of([] { to_string(static_cast<zone_type>(9)); }), "Unknown enumeration type");
    EXPECT_EQ(to_string(zone_shape::POLYGON), "POLYGON");
    EXPECT_EQ(to_string(zone_shape::CIRCLE), "CIRCLE");
}

TEST(context_enumerations, alarm_type_maps_to_zone_type) {
    EXPECT_EQ(to_zone_type(alarm_type::ki), zone_type::KEEP_IN);
    EXPECT_EQ(to_zone_type(alarm_type::ko), zone_type::KEEP_OUT);
    EXPECT_EQ(error_of([] { to_zone_type(static_cast<alarm_type>(2)); }),
              "Unknown enumeration type");
    EXPECT_EQ(to_string(alarm_type::ki), "ki");
    EXPECT_EQ(to_string(alarm_type::ko), "ko");
    EXPECT_EQ(enum_from_string<alarm_type>("ko"), alarm_type::ko);
}

TEST(context_records, uids_join_object_and_zone_unchanged) {
    EXPECT_EQ(pair_uid("o1", "z7"), "o1:z7");
    EXPECT_EQ(pair_uid("a:b", " z"), "a:b: z");
    EXPECT_EQ(pair_prefix("a:b"), "a:b:");
}

// Each reason of the rules once, from an object and a zone the keep-in rule
// allows, changed in one term at a time.
TEST(context_alarm_rules, each_refusal_names_its_reason) {
    const auto verdict = [](auto change_zone, auto change_object) {
        zone z = test::a_zone("z");
        trackable_object o = test::an_object("o1").groups({"g1"});
        change_zone(z);
        change_object(o);
        return std::string(to_string(alarm_verdict(alarm_type::ki, z, o))) + ", " +
               std::string(to_string(alarm_verdict(alarm_type::ko, z, o)));
    };
    const auto same = [](auto&) {};
    EXPECT_EQ(verdict(same, same), "applies, other kind");
    EXPECT_EQ(verdict([](zone& z) { z.set_project_uid("p2"); }, same), "other project, other kind");
    EXPECT_EQ(verdict([](zone& z) { z.set_active(false); }, same), "inactive, other kind");
    EXPECT_EQ(verdict([](zone& z) { z.set_exceptions({"o1"}); }, same),
              "exception by uid, other kind");
    EXPECT_EQ(verdict([](zone& z) { z.set_exceptions_groups({"g1"}); }, same),
              "exception by group, other kind");
    EXPECT_EQ(verdict([](zone& z) { z.set_default_allowed(true); }, same),
              "default allowed, other kind");
    EXPECT_EQ(verdict(
                  [](zone& z) {
                      z.set_default_allowed(true);
                      z.set_exceptions_groups({"g1"});
                  },
                  same),
              "applies, other kind");
    EXPECT_EQ(verdict(same, [](trackable_object& o) { o.set_responsive(false); }),
              "unresponsive, other kind");
    EXPECT_EQ(verdict(same, [](trackable_object& o) { o.set_mac_address(std::nullopt); }),
              "no MAC address, other kind");
    // Keep-out asks for a MAC address alone, whatever the project or activity.
    EXPECT_EQ(verdict(
                  [](zone& z) {
                      z.set_type(zone_type::KEEP_OUT);
                      z.set_project_uid("p2");
                      z.set_active(false);
                  },
                  [](trackable_object& o) { o.set_responsive(false); }),
              "other kind, applies");
    EXPECT_EQ(verdict([](zone& z) { z.set_type(zone_type::KEEP_OUT); },
                      [](trackable_object& o) { o.set_mac_address(std::nullopt); }),
              "other kind, no MAC address");
}

TEST(context_records, group_inserted_through_a_write_handle_is_announced_on_release) {
    struct watcher : context::trackable_objects::observer {
        void after_creating(const trackable_object&, timestamp) override {}
        void after_updating(const trackable_object& o, timestamp) override {
            seen.push_back(o.get_groups().size());
        }
        void before_deleting(const trackable_object&, timestamp) override {}
        std::vector<std::size_t> seen;
    } w;
    writable_context ctx;
    ctx.take_trackable_objects().add(test::an_object("o1"), timestamp());
    const auto sub = ctx.get_trackable_objects().subscribe(w);
    {
        auto handle = ctx.take_trackable_objects().try_get("o1", timestamp());
        (*handle)->get_groups().insert("g1");
        EXPECT_TRUE(w.seen.empty());
    }
    EXPECT_EQ(w.seen, std::vector<std::size_t>{1});
    EXPECT_EQ(ctx.get_trackable_objects().get("o1").get_groups().count("g1"), 1u);
}

TEST(context_sublocation, zone_own_sublocation_wins) {
    writable_context ctx;
    ctx.take_trackable_objects().add(test::an_object("o1").sublocation("s2"), timestamp());
    EXPECT_EQ(ctx.get_sublocation_uid(test::a_zone("z").sublocation("s1").attached_to("o1").get()),
              "s1");
}

TEST(context_sublocation, attached_zone_takes_the_object_sublocation) {
    writable_context ctx;
    ctx.take_trackable_objects().add(test::an_object("o1").sublocation("s2"), timestamp());
    ctx.take_trackable_objects().add(test::an_object("o2"), timestamp());
    EXPECT_EQ(ctx.get_sublocation_uid(test::a_zone("z").attached_to("o1").get()), "s2");
    EXPECT_EQ(ctx.get_sublocation_uid(test::a_zone("z").attached_to("o2").get()), std::nullopt);
    EXPECT_EQ(ctx.get_sublocation_uid(test::a_zone("z").attached_to("absent").get()), std::nullopt);
    EXPECT_EQ(ctx.get_sublocation_uid(test::a_zone("z").get()), std::nullopt);
}

}  // namespace
}  // namespace zentu::context
