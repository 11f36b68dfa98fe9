#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_utils/context_updater.hpp"
#include "support/cu_sync_fixture.hpp"
#include "support/cu_test_helpers.hpp"
#include "test_kit/platform_records.hpp"

namespace zentu::libs::context_utils {
namespace {

using test_kit::error_of;
namespace platform = test_kit::platform;

class cu_sync_notify : public testing::sync_fixture {
protected:
    std::vector<std::string> m_calls;
};

TEST_F(cu_sync_notify, kind_and_action_are_case_insensitive) {
    m_synchronizer->on_zone_creating([&](parsers::zone& zone) {
        m_calls.push_back("created " + zone.get_uid() + " " + std::to_string(zone.get_ts()) + "." +
                          std::to_string(zone.get_ms()));
    });
    m_synchronizer->on_zone_updating(
        [&](parsers::zone& zone) { m_calls.push_back("updated " + zone.get_uid()); });
    m_synchronizer->handle_notify(platform::notify(
        "Zone", "Created", R"({"uid": "z1", "updated_at": "2021-03-04T05:06:07.089Z"})", 1600000000,
        7));
    m_synchronizer->handle_notify(platform::notify("zone", "UPDATED", R"({"uid": "z2"})", 1, 0));
    EXPECT_EQ(m_calls, (std::vector<std::string>{"created z1 1600000000.7", "updated z2"}));
}

TEST_F(cu_sync_notify, deletions_report_uid_and_envelope_time) {
    std::vector<std::pair<std::string, std::int64_t>> deleted;
    auto record = [&](const std::string& uid, timestamp ts) {
        deleted.emplace_back(uid, ts.get_time_since_epoch().count());
    };
    m_synchronizer->on_zone_deleting(record);
    m_synchronizer->on_trackable_object_deleting(record);
    m_synchronizer->handle_notify(
        platform::notify("ZONE", "deleted", R"({"uid": "z1"})", 1600000000, 250));
    m_synchronizer->handle_notify(
        platform::notify("TRACKABLE_OBJECT", "deleted", R"({"uid": "t1"})", 2, 1));
    EXPECT_EQ(deleted, (std::vector<std::pair<std::string, std::int64_t>>{{"z1", 1600000000250},
                                                                          {"t1", 2001}}));
}

TEST_F(cu_sync_notify, unknown_kinds_actions_and_empty_slots_are_ignored) {
    m_synchronizer->on_zone_creating([&](parsers::zone&) { m_calls.push_back("zone"); });
    m_synchronizer->on_trackable_object_groups_updating(
        [&](parsers::trackable_object_groups& groups) {
            m_calls.push_back("groups " + groups.get_project_uid());
        });
    m_synchronizer->handle_notify(R"({"object": "ALARM", "action": "created", "plist": {}})");
    m_synchronizer->handle_notify(R"({"object": "ZONE", "action": "removed", "plist": {}})");
    m_synchronizer->handle_notify(
        R"({"object": "TRACKABLE_OBJECT_GROUPS", "action": "created", "plist": {}})");
    m_synchronizer->handle_notify(R"({"object": "NODE", "action": "created", "plist": {}})");
    m_synchronizer->handle_notify(
        R"({"object": "TRACKABLE_OBJECT_GROUPS", "action": "updated", "project_uid": "p", "plist": {}})");
    EXPECT_EQ(m_calls, (std::vector<std::string>{"groups p"}));
}

TEST_F(cu_sync_notify, malformed_messages) {
    const std::string error = error_of([&] { m_synchronizer->handle_notify("{oops"); });
    EXPECT_EQ(error.rfind("parse_error: ", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("parse_error: ").size());
    EXPECT_EQ(error_of([&] { m_synchronizer->handle_pos("]"); }).rfind("parse_error: ", 0), 0u);
    // Deeper than the reader's stack limit: its failure, not its exception.
    const std::string deep = std::string(1001, '[') + std::string(1001, ']');
    EXPECT_EQ(error_of([&] { m_synchronizer->handle_notify(deep); }).rfind("parse_error: ", 0), 0u);
    EXPECT_EQ(error_of([&] { m_synchronizer->handle_notify(R"({"object": 5})"); }),
              "\"object\" is not a string!");
    EXPECT_EQ(error_of([&] { m_synchronizer->handle_notify(R"({"object": "ZONE"})"); }),
              "\"action\" is not a string!");
    EXPECT_EQ(error_of([&] { m_synchronizer->handle_notify("[1]"); }),
              "\"object\" is not a string!");
}

TEST_F(cu_sync_notify, record_errors_propagate_from_callbacks) {
    m_synchronizer->on_trackable_object_updating(
        [](parsers::trackable_object& object) { object.get_name(); });
    EXPECT_EQ(test_kit::error_of<std::logic_error>([&] {
                  m_synchronizer->handle_notify(
                      R"({"object": "TRACKABLE_OBJECT", "action": "updated", "plist": {}})");
              }),
              "context-utils: \"name\" is not a string!");
}

TEST_F(cu_sync_notify, positions_and_associations) {
    m_synchronizer->on_pos([&](parsers::pos& pos) {
        m_calls.push_back("pos " + std::string(pos.get_trackable_uid()) + " " +
                          std::to_string(pos.get_x()));
    });
    m_synchronizer->on_trackable_object_association_creating(
        [&](parsers::trackable_object_association& a) {
            m_calls.push_back("association " + a.get_trackable_object_uid() + " " +
                              std::to_string(a.get_ts().get_time_since_epoch().count()));
        });
    m_synchronizer->handle_pos(R"({"tk_uid": "t1", "data": {"x": 4.5}})");
    m_synchronizer->handle_notify(
        platform::notify("trackable_object_association", "created", R"({"trob_uid": "t9"})", 3, 4));
    m_synchronizer->handle_notify(
        R"({"object": "TRACKABLE_OBJECT_ASSOCIATION", "action": "deleted", "plist": {}})");
    EXPECT_EQ(m_calls, (std::vector<std::string>{"pos t1 4", "association t9 3004"}));
}

TEST(cu_sync_updater, slots_by_catalogue_row) {
    context_updater updater;
    std::vector<std::string> calls;
    auto record = [&](const char* name) {
        return [&calls, name](const json_template<_json_notify_tag>&) { calls.push_back(name); };
    };
    updater.on_creating(object_infos::win_anchor, record("anchor created"));
    updater.on_updating(object_infos::sublocation, record("sublocation updated"));
    updater.on_deleting(object_infos::node, record("node deleted"));
    updater.on_creating(object_infos::alarm, record("alarm"));
    updater.handle_notify(R"({"object": "win_anchor", "action": "created"})");
    updater.handle_notify(R"({"object": "SUBLOCATION", "action": "updated"})");
    updater.handle_notify(R"({"object": "NODE", "action": "deleted"})");
    updater.handle_notify(R"({"object": "ALARM", "action": "created"})");
    updater.handle_notify(R"({"object": "NODE", "action": "created"})");
    EXPECT_EQ(calls,
              (std::vector<std::string>{"anchor created", "sublocation updated", "node deleted"}));
}

}  // namespace
}  // namespace zentu::libs::context_utils
