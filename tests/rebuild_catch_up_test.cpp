// A rebuilt context against the running one: what the lists do not say is
// taken from what the running service learnt, messages that arrived while it
// was built are caught up with, and nothing is invented or inherited.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "alarms_fakes.hpp"
#include "core/events_loop.hpp"
#include "intake/background_worker.hpp"
#include "intake/context_rebuild.hpp"
#include "test_kit/platform_records.hpp"

namespace zentu {
namespace {

using position = context::keep_in_index::position;
namespace platform = test_kit::platform;

libs::core::logger& test_logger() {
    static libs::core::logger logger("marovane-test", "catch-up");
    return logger;
}

// Zones and objects of project P; a zone comes without an occupancy list
// unless the test says who is inside (or that nobody is: empty_list).
platform::zone_record zone(const std::string& uid, const std::string& type) {
    return platform::zone_record(uid).project("P").type(type).without_occupancy();
}
platform::zone_record empty_list(platform::zone_record zone) {
    zone.set("trackables_in_zone", Json::Value(Json::arrayValue));
    return zone;
}
platform::object_record object(const std::string& uid) {
    return platform::object_record(uid).project("P");
}
std::string movement(const std::string& obj, const std::string& zone, const std::string& type,
                     const std::string& action) {
    return platform::zone_event_message(obj, zone).project("P").type(type).action(action);
}

class rebuild_catch_up_test : public ::testing::Test {
protected:
    rebuild_catch_up_test()
        : m_core(libs::core::core::create(test_logger())),
          m_loop(m_core->create_events_loop("main loop")),
          m_running_intake(m_running, m_http, *m_loop, test_logger()) {}

    // Fills a context from the lists, as a start-up or a rebuild does.
    static void load(context_intake& intake, const std::vector<std::string>& objects,
                     const std::vector<std::string>& zones) {
        intake.load_trackable_objects(platform::list("trackableObjects", objects));
        intake.load_zones(platform::list("zones", zones));
    }
    rebuilt_context build(const std::vector<std::string>& objects,
                          const std::vector<std::string>& zones) {
        rebuilt_context built;
        built.context = std::make_unique<context::writable_context>();
        built.intake =
            std::make_unique<context_intake>(*built.context, m_http, *m_loop, test_logger());
        load(*built.intake, objects, zones);
        return built;
    }
    // A message the running service handles while a rebuild is under way.
    void during_rebuild(bool is_notify, const std::string& body) {
        if (is_notify)
            m_running_intake.handle_notify(body);
        else
            m_running_intake.handle_zone_event(body);
        m_journal.push_back({is_notify, body});
    }

    test::fake_http_client m_http;
    libs::core::core::ptr m_core;
    libs::core::events_loop::ptr m_loop;
    context::writable_context m_running;
    context_intake m_running_intake;
    std::vector<context_updater::journal_entry> m_journal;
};

TEST_F(rebuild_catch_up_test, zones_listed_without_occupancy_keep_what_the_stream_taught) {
    load(m_running_intake, {object("A"), object("B")},
         {zone("KI", "keep_in"), zone("KO", "keep_out"), zone("LISTED", "keep_in").inside("A"),
          zone("FRESH", "keep_in").inside("B")});
    m_running_intake.handle_zone_event(movement("B", "KI", "keep_in", "leave"));
    m_running_intake.handle_zone_event(movement("A", "KO", "keep_out", "enter"));

    // This time LISTED comes without its list; FRESH with a new one.
    auto built = build({object("A"), object("B")},
                       {zone("KI", "keep_in"), zone("KO", "keep_out"), zone("LISTED", "keep_in"),
                        zone("FRESH", "keep_in").inside("A")});
    catch_up(built, m_running, m_journal);

    const auto& index = built.context->get_keep_in_index();
    EXPECT_EQ(index.position_of("B", "KI"), position::outside);
    EXPECT_EQ(index.position_of("A", "KI"), position::inside);
    EXPECT_EQ(index.position_of("B", "LISTED"), position::outside);
    EXPECT_EQ(index.position_of("A", "LISTED"), position::inside);
    // A list says more than what was learnt before it.
    EXPECT_EQ(index.position_of("B", "FRESH"), position::outside);
    EXPECT_TRUE(index.has_left_all("B"));
    EXPECT_FALSE(index.has_left_all("A"));
    const auto entry = built.context->get_zone_events().try_get("A:KO");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->get_action(), "enter");
}

TEST_F(rebuild_catch_up_test, uids_deleted_and_created_again_meanwhile_start_afresh) {
    const std::vector<std::string> objects{object("A")};
    const std::vector<std::string> zones{empty_list(zone("KI", "keep_in")),
                                         zone("KO", "keep_out").inside("A"),
                                         zone("KO2", "keep_out").inside("A")};
    load(m_running_intake, objects, zones);
    // The lists are read before these arrive.
    auto built = build(objects, zones);
    during_rebuild(true, platform::notify("TRACKABLE_OBJECT", "deleted", R"({"uid": "A"})"));
    during_rebuild(true, platform::notify("TRACKABLE_OBJECT", "created", object("A")));
    during_rebuild(true, platform::notify("ZONE", "deleted", R"({"uid": "KO2"})"));
    during_rebuild(true, platform::notify("ZONE", "created", empty_list(zone("KO2", "keep_out"))));
    catch_up(built, m_running, m_journal);

    for (const auto* context : {&static_cast<const context::context&>(*built.context),
                                &static_cast<const context::context&>(m_running)}) {
        // No "enter" of the object that went: it would raise a keep-out alarm.
        EXPECT_FALSE(context->get_zone_events().is_exists("A:KO"));
        EXPECT_FALSE(context->get_zone_events().is_exists("A:KO2"));
        // A new object: not outside the zone whose list did not know it.
        EXPECT_TRUE(context->get_keep_in_index().position_unknown("A"));
        EXPECT_FALSE(context->get_keep_in_index().has_left_all("A"));
    }
}

TEST_F(rebuild_catch_up_test, the_zones_are_asked_for_once_the_objects_answered) {
    background_worker worker;
    context_rebuild rebuild(m_http, *m_loop, test_logger(), worker,
                            [](std::unique_ptr<rebuilt_context>, const std::string&) {});
    const auto addresses = [&] {
        std::vector<std::string> out;
        for (const auto& request : m_http.m_requests)
            out.push_back(request.address);
        return out;
    };
    EXPECT_EQ(addresses(),
              (std::vector<std::string>{"/api/private/track_obj/", "/api/private/alarms/",
                                        "/api/private/alarm_types/"}));
    m_http.answer(0, 200);
    EXPECT_EQ(addresses().size(), 4u);
    EXPECT_EQ(addresses().back(), "/api/private/zones/");
}

}  // namespace
}  // namespace zentu
