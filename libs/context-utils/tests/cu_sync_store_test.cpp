#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/cu_sync_fixture.hpp"
#include "support/cu_test_helpers.hpp"
#include "test_kit/platform_records.hpp"

namespace zentu::libs::context_utils {
namespace {

using namespace std::chrono_literals;
namespace platform = test_kit::platform;

// Records every store notification as "<event> <uid> <ms>".
template <typename T>
class recorder : public objects_repository<T>::observer {
public:
    void after_creating(const T& o, timestamp ts) override { add("created", o, ts); }
    void after_updating(const T& o, timestamp ts) override { add("updated", o, ts); }
    void before_deleting(const T& o, timestamp ts) override { add("deleted", o, ts); }

    std::vector<std::string> m_events;
    std::vector<timestamp> m_times;

private:
    void add(const char* what, const T& o, timestamp ts) {
        m_events.push_back(std::string(what) + " " + o.get_uid());
        m_times.push_back(ts);
    }
};

template <typename T>
std::vector<std::string> uids(const objects_repository<T>& store) {
    std::vector<std::string> result;
    for (const T& object : store.get_range())
        result.push_back(object.get_uid());
    return result;
}

class cu_sync_store : public testing::sync_fixture {};

TEST_F(cu_sync_store, initial_fill_and_notifications) {
    serve("/api/private/zones/", R"({"zones": [
        {"uid": "z2", "updated_at": "2021-03-04T05:06:07.089Z"},
        {"uid": "z1", "updated_at": "2021-03-04T05:06:08.000Z"}]})");
    auto zones = m_synchronizer->make_zones(1h);
    EXPECT_EQ(uids(zones->get_objects()), (std::vector<std::string>{"z1", "z2"}));
    EXPECT_EQ(zones->get_objects().get("z2").get_updated_at().get_time_since_epoch().count(),
              1614834367089);

    recorder<objects::zone> observer;
    auto subscription = zones->get_objects().subscribe(observer);
    m_synchronizer->handle_notify(
        platform::notify("ZONE", "created", R"({"uid": "z3", "name": "n"})", 10, 1));
    m_synchronizer->handle_notify(
        platform::notify("ZONE", "updated", R"({"uid": "z1", "name": "new"})", 11, 2));
    m_synchronizer->handle_notify(platform::notify("ZONE", "deleted", R"({"uid": "z2"})", 12, 3));
    EXPECT_EQ(observer.m_events,
              (std::vector<std::string>{"created z3", "updated z1", "deleted z2"}));
    EXPECT_EQ(observer.m_times[1].get_time_since_epoch().count(), 11002);
    EXPECT_EQ(observer.m_times[2].get_time_since_epoch().count(), 12003);
    EXPECT_EQ(zones->get_objects().get("z1").get_name(), "new");
    EXPECT_EQ(uids(zones->get_objects()), (std::vector<std::string>{"z1", "z3"}));
}

TEST_F(cu_sync_store, objects_without_uid_or_time_never_enter) {
    serve("/api/private/nodes/", R"({"nodes": [{"uid": "n1", "updated_at": "x"}]})");
    EXPECT_EQ(test_kit::error_of([&] { m_synchronizer->make_nodes(1h); }),
              "failed to parse timestamp: \"updated_at\"");

    serve("/api/private/nodes/", R"({"nodes": []})");
    auto nodes = m_synchronizer->make_nodes(1h);
    EXPECT_EQ(test_kit::error_of([&] {
                  m_synchronizer->handle_notify(platform::notify("NODE", "created", R"({})", 1, 0));
              }),
              "\"uid\" is not a string!");
    EXPECT_TRUE(nodes->get_objects().empty());
}

TEST_F(cu_sync_store, last_registration_takes_the_slot) {
    serve("/api/private/zones/", R"({"zones": []})");
    auto zones = m_synchronizer->make_zones(1h);
    std::vector<std::string> app;
    m_synchronizer->on_zone_creating([&](parsers::zone& zone) { app.push_back(zone.get_uid()); });
    m_synchronizer->handle_notify(platform::notify("ZONE", "created", R"({"uid": "z1"})", 1, 0));
    EXPECT_EQ(app, std::vector<std::string>{"z1"});
    EXPECT_TRUE(zones->get_objects().empty());
}

TEST_F(cu_sync_store, notifications_after_the_store_is_gone_are_dropped) {
    serve("/api/private/sublocations/", R"({"sublocations": []})");
    m_synchronizer->make_sublocations(1h).reset();
    m_synchronizer->handle_notify(
        platform::notify("SUBLOCATION", "created", R"({"uid": "s"})", 1, 0));
    m_synchronizer->handle_notify(
        platform::notify("SUBLOCATION", "deleted", R"({"uid": "s"})", 1, 0));
}

TEST_F(cu_sync_store, periodic_reload_replaces_and_removes) {
    serve("/api/private/win_anchors/", R"({"win_anchors": [
        {"uid": "w1", "updated_at": "2021-03-04T05:06:07.089Z"},
        {"uid": "w2", "updated_at": "2021-03-04T05:06:07.089Z"}]})");
    auto anchors = m_synchronizer->make_win_anchors(1h);
    recorder<objects::win_anchor> observer;
    auto subscription = anchors->get_objects().subscribe(observer);

    // Failing reloads leave the store as it is.
    m_server.set_response("/api/private/win_anchors/", reply(500, "down"));
    anchors->set_update_period(20ms);
    ASSERT_TRUE(run_until([&] { return m_server.request_count() >= 3; }));
    EXPECT_TRUE(observer.m_events.empty());
    EXPECT_EQ(uids(anchors->get_objects()), (std::vector<std::string>{"w1", "w2"}));

    anchors->disable_timer();
    run_for(50ms);
    serve("/api/private/win_anchors/",
          R"({"win_anchors": [{"uid": "w3", "name": "x"}, {"uid": "w2"}]})");
    const timestamp before = timestamp::current_time();
    anchors->set_update_period(20ms);
    ASSERT_TRUE(run_until([&] { return observer.m_events.size() >= 3; }));
    anchors->disable_timer();

    EXPECT_EQ(std::vector<std::string>(observer.m_events.begin(), observer.m_events.begin() + 3),
              (std::vector<std::string>{"created w3", "updated w2", "deleted w1"}));
    EXPECT_GE(observer.m_times[2], before);
    EXPECT_EQ(observer.m_times[0], observer.m_times[2]);
    EXPECT_EQ(uids(anchors->get_objects()), (std::vector<std::string>{"w2", "w3"}));
}

TEST_F(cu_sync_store, trackable_objects_store) {
    serve(
        "/api/private/track_obj/",
        R"({"trackableObjects": [{"uid": "t1", "groups": ["b", "a"], "updated_at": "2021-03-04T05:06:07.089Z"}]})");
    auto objects = m_synchronizer->make_trackable_objects(1h);
    const auto& object = objects->get_objects().get("t1");
    ASSERT_TRUE(object.get_groups());
    EXPECT_EQ(*object.get_groups(), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace zentu::libs::context_utils
