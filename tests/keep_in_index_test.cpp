// The keep-in index keeps per-object tallies up to date incrementally; after
// every change of a random history they must equal what a walk over every
// zone gives, and every object whose answer changed must be reported.
#include <gtest/gtest.h>

#include <random>

#include "context/context.hpp"
#include "support/records.hpp"

namespace zentu::context {
namespace {

using libs::core::timestamp;

class keep_in_index_test : public ::testing::Test {
protected:
    std::string pick(const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(m_random)];
    }
    bool coin() { return std::uniform_int_distribution<int>(0, 1)(m_random) == 1; }
    std::set<std::string> some(const std::vector<std::string>& from) {
        std::set<std::string> out;
        for (const auto& s : from)
            if (std::uniform_int_distribution<int>(0, 3)(m_random) == 0)
                out.insert(s);
        return out;
    }

    zone make_zone(const std::string& uid) {
        const zone_type types[] = {zone_type::KEEP_IN, zone_type::KEEP_IN, zone_type::KEEP_OUT,
                                   zone_type::INFORM};
        return test::a_zone(uid)
            .project(pick(m_projects))
            .active(coin())
            .type(types[std::uniform_int_distribution<int>(0, 3)(m_random)])
            .default_allowed(std::uniform_int_distribution<int>(0, 3)(m_random) == 0)
            .exceptions(some(m_objects))
            .exceptions_groups(some(m_groups));
    }
    trackable_object make_object(const std::string& uid) {
        return test::an_object(uid).project(pick(m_projects)).groups(some(m_groups));
    }

    void random_change() {
        const auto zone_uid = pick(m_zone_uids);
        const auto obj_uid = pick(m_objects);
        switch (std::uniform_int_distribution<int>(0, 9)(m_random)) {
            case 0:
                if (coin())
                    m_ctx.take_keep_in_index().expect_occupancy(zone_uid, some(m_objects));
                m_ctx.take_zones().update_or_add(make_zone(zone_uid), timestamp());
                break;
            case 1:
                m_ctx.take_zones().remove(zone_uid, timestamp());
                break;
            case 2:
                m_ctx.take_trackable_objects().update_or_add(make_object(obj_uid), timestamp());
                break;
            case 3:
                m_ctx.take_trackable_objects().remove(obj_uid, timestamp());
                break;
            default:
                m_ctx.take_zone_events().update_or_add(
                    test::a_movement(obj_uid, zone_uid).action(coin() ? "enter" : "leave"),
                    timestamp());
                break;
        }
    }

    // The answer computed from scratch.
    std::vector<std::string> holding(const trackable_object& object) const {
        std::vector<std::string> out;
        m_ctx.get_zones().for_each([&](const zone& z) {
            if (holds_in(z, object))
                out.push_back(z.get_uid());
            return true;
        });
        return out;
    }
    bool has_left_all(const trackable_object& object) const {
        const auto zones = holding(object);
        return !zones.empty() && std::all_of(zones.begin(), zones.end(), [&](const auto& z) {
            return m_ctx.get_keep_in_index().position_of(object.get_uid(), z) ==
                   keep_in_index::position::outside;
        });
    }

    std::mt19937 m_random{20261208};
    std::vector<std::string> m_projects{"p1", "p2"};
    std::vector<std::string> m_groups{"g1", "g2", "g3"};
    std::vector<std::string> m_objects{"o1", "o2", "o3", "o4", "o5", "o6"};
    std::vector<std::string> m_zone_uids{"za", "zb", "zc", "zd"};
    writable_context m_ctx;
};

TEST_F(keep_in_index_test, tallies_match_a_full_walk_after_every_change) {
    std::map<std::string, bool> left;
    for (int step = 0; step < 20'000; ++step) {
        if (std::uniform_int_distribution<int>(0, 19)(m_random) == 0) {
            const keep_in_index::deferred_counts loading(m_ctx.take_keep_in_index());
            for (int change = 0; change < 6; ++change)
                random_change();
        } else {
            random_change();
        }
        const auto changed = m_ctx.take_keep_in_changes();
        std::map<std::string, bool> now;
        m_ctx.get_trackable_objects().for_each([&](const trackable_object& object) {
            const auto& uid = object.get_uid();
            now[uid] = has_left_all(object);
            EXPECT_EQ(m_ctx.get_keep_in_index().has_left_all(uid), now[uid])
                << "step " << step << " object " << uid;
            EXPECT_EQ(m_ctx.get_keep_in_index().zones_holding_in(uid), holding(object))
                << "step " << step << " object " << uid;
            const auto before = left.find(uid);
            if (before != left.end() && before->second != now[uid]) {
                EXPECT_TRUE(std::count(changed.begin(), changed.end(), uid))
                    << "step " << step << " object " << uid << " not reported";
            }
            return true;
        });
        left = std::move(now);
        if (HasFailure())
            return;
    }
}

}  // namespace
}  // namespace zentu::context

namespace zentu::context {
namespace {

zone keep_in_zone(const std::string& uid, const std::string& project) {
    return test::a_zone(uid).project(project);
}
trackable_object object_in(const std::string& uid, const std::string& project) {
    return test::an_object(uid).project(project);
}
zone_event movement(const std::string& obj, const std::string& zone, const char* action) {
    return test::a_movement(obj, zone).action(action);
}

TEST(keep_in_index_positions_test, objects_a_list_did_not_know_are_unknown_until_they_move) {
    writable_context ctx;
    const auto& index = ctx.get_keep_in_index();
    ctx.take_trackable_objects().add(object_in("A", "P"), {});
    for (const auto& [uid, project] : {std::pair{"KP", "P"}, std::pair{"KQ", "Q"}}) {
        ctx.take_keep_in_index().expect_occupancy(uid, {});
        ctx.take_zones().add(keep_in_zone(uid, project), {});
    }
    EXPECT_TRUE(index.has_left_all("A"));
    EXPECT_TRUE(ctx.take_keep_in_index().take_unknown().empty());

    // Created after the lists, or moved to another project: where it is was
    // never learnt, so it counts as inside, and fresh lists would tell.
    ctx.take_trackable_objects().add(object_in("B", "P"), {});
    ctx.take_trackable_objects().update_or_add(object_in("A", "Q"), {});
    for (const char* uid : {"A", "B"}) {
        EXPECT_FALSE(index.has_left_all(uid)) << uid;
        EXPECT_TRUE(index.position_unknown(uid)) << uid;
    }
    EXPECT_EQ(ctx.take_keep_in_index().take_unknown(), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(ctx.take_keep_in_index().take_unknown().empty());

    // A movement makes it known, also one that says what was assumed.
    ctx.take_zone_events().add(movement("A", "KQ", "enter"), {});
    ctx.take_zone_events().add(movement("B", "KP", "leave"), {});
    EXPECT_FALSE(index.position_unknown("A"));
    EXPECT_FALSE(index.position_unknown("B"));
    EXPECT_TRUE(index.has_left_all("B"));

    // A zone that came without a list never tells: nothing to ask for.
    ctx.take_zones().add(keep_in_zone("KN", "R"), {});
    ctx.take_trackable_objects().add(object_in("C", "R"), {});
    EXPECT_FALSE(index.position_unknown("C"));
    EXPECT_TRUE(ctx.take_keep_in_index().take_unknown().empty());
}

}  // namespace
}  // namespace zentu::context
