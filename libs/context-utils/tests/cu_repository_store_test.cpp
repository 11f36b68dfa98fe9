#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cu_repository_recorder.hpp"

namespace zentu::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> uids_of(const items& repo) {
    std::vector<std::string> out;
    for (const item& i : repo.get_range())
        out.push_back(i.get_uid());
    return out;
}

class repository_store : public ::testing::Test {
protected:
    items m_repo;
    std::vector<std::string> m_journal;
    recorder m_a{"A", m_journal};
    recorder m_b{"B", m_journal};
};

TEST_F(repository_store, range_and_for_each_follow_byte_wise_uid_order) {
    m_repo.add(item("b", 1), ts(1));
    m_repo.add(item("a", 2), ts(2));
    m_repo.add(item("ab", 3), ts(3));
    EXPECT_THAT(uids_of(m_repo), ElementsAre("a", "ab", "b"));

    std::vector<std::string> visited;
    EXPECT_TRUE(m_repo.for_each([&](const item& i) {
        visited.push_back(i.get_uid());
        return true;
    }));
    EXPECT_THAT(visited, ElementsAre("a", "ab", "b"));
}

TEST_F(repository_store, prefix_walk_visits_exactly_the_uids_that_start_with_it) {
    for (const char* uid : {"o1", "o1:a", "o1:b", "o10:a", "o1;", "o2:a"})
        m_repo.add(item(uid, 0), ts(1));
    std::vector<std::string> visited;
    EXPECT_TRUE(m_repo.for_each_with_prefix("o1:", [&](const item& i) {
        visited.push_back(i.get_uid());
        return true;
    }));
    EXPECT_THAT(visited, ElementsAre("o1:a", "o1:b"));
    visited.clear();
    EXPECT_TRUE(m_repo.for_each_with_prefix("zz", [&](const item& i) {
        visited.push_back(i.get_uid());
        return true;
    }));
    EXPECT_THAT(visited, IsEmpty());
}

TEST_F(repository_store, for_each_stops_at_first_false) {
    int calls = 0;
    EXPECT_TRUE(m_repo.for_each([&](const item&) { return ++calls, true; }));
    EXPECT_EQ(calls, 0);

    m_repo.add(item("a", 1), ts(1));
    m_repo.add(item("b", 2), ts(1));
    m_repo.add(item("c", 3), ts(1));
    EXPECT_FALSE(m_repo.for_each([&](const item& i) { return ++calls, i.get_uid() != "b"; }));
    EXPECT_EQ(calls, 2);
}

TEST_F(repository_store, for_each_survives_removal_of_the_visited_object) {
    const auto sub = m_repo.subscribe(m_a);
    for (const char* uid : {"a", "b", "c"})
        m_repo.add(item(uid, 0), ts(1));
    m_journal.clear();
    EXPECT_TRUE(m_repo.for_each([&](const item& i) {
        m_repo.remove(i.get_uid(), ts(9));
        return true;
    }));
    EXPECT_TRUE(m_repo.empty());
    EXPECT_THAT(m_journal, ElementsAre("A delete a=0 @9", "A delete b=0 @9", "A delete c=0 @9"));
}

TEST_F(repository_store, add_of_a_stored_uid_keeps_the_stored_object_and_still_announces_it) {
    const auto sub = m_repo.subscribe(m_a);
    m_repo.add(item("x", 1), ts(10));
    const item& stored = m_repo.add(item("x", 2), ts(11));
    EXPECT_EQ(stored.get_value(), 1);
    EXPECT_EQ(m_repo.get("x").get_value(), 1);
    EXPECT_THAT(m_journal, ElementsAre("A create x=1 @10", "A create x=1 @11"));
}

TEST_F(repository_store, update_or_add_creates_then_replaces) {
    const auto sub = m_repo.subscribe(m_a);
    m_repo.update_or_add(item("x", 1), ts(1));
    m_repo.update_or_add(item("x", 2), ts(2));
    EXPECT_EQ(m_repo.get("x").get_value(), 2);
    EXPECT_THAT(m_journal, ElementsAre("A create x=1 @1", "A update x=2 @2"));
}

TEST_F(repository_store, reads_never_notify_and_report_absence) {
    const auto sub = m_repo.subscribe(m_a);
    m_repo.add(item("x", 5), ts(1));
    m_journal.clear();
    EXPECT_TRUE(m_repo.is_exists("x"));
    EXPECT_FALSE(m_repo.is_exists("y"));
    ASSERT_TRUE(m_repo.try_get("x"));
    EXPECT_EQ(m_repo.try_get("x")->get_value(), 5);
    EXPECT_FALSE(m_repo.try_get("y"));
    EXPECT_FALSE(m_repo.try_get("y", ts(2)).has_value());
    m_repo.remove("y", ts(3));
    EXPECT_THAT(m_journal, IsEmpty());
}

TEST_F(repository_store, get_of_unknown_uid_names_it) {
    try {
        m_repo.get("zz-9");
        FAIL() << "no exception";
    } catch (const libs::core::exception& e) {
        EXPECT_EQ(e.get_string_error(), "Cannot get object with uid: zz-9");
    }
}

TEST_F(repository_store, observers_are_told_in_subscription_order_until_unsubscribed) {
    auto sub_a = m_repo.subscribe(m_a);
    std::optional<items::subscription_handle> sub_b(m_repo.subscribe(m_b));
    m_repo.add(item("x", 1), ts(1));
    m_repo.remove("x", ts(2));
    EXPECT_THAT(m_journal, ElementsAre("A create x=1 @1", "B create x=1 @1", "A delete x=1 @2",
                                       "B delete x=1 @2"));

    m_journal.clear();
    sub_b.reset();
    m_repo.add(item("y", 1), ts(3));
    EXPECT_THAT(m_journal, ElementsAre("A create y=1 @3"));
}

TEST_F(repository_store, moved_from_handle_unsubscribes_nothing) {
    auto sub = m_repo.subscribe(m_a);
    {
        auto moved = std::move(sub);
        // NOLINTNEXTLINE(bugprone-use-after-move): moving a moved-from handle is the case
        { items::subscription_handle gone(std::move(sub)); }  // moved-from: no effect
        m_repo.add(item("x", 1), ts(1));
    }
    m_repo.add(item("y", 1), ts(2));
    EXPECT_THAT(m_journal, ElementsAre("A create x=1 @1"));
}

TEST_F(repository_store, handle_removes_every_entry_of_its_observer) {
    const auto first = m_repo.subscribe(m_a);
    {
        const auto second = m_repo.subscribe(m_a);
        const auto other = m_repo.subscribe(m_b);
        m_repo.add(item("x", 1), ts(1));
    }
    EXPECT_THAT(m_journal, ElementsAre("A create x=1 @1", "A create x=1 @1", "B create x=1 @1"));
    m_journal.clear();
    m_repo.add(item("y", 1), ts(1));
    EXPECT_THAT(m_journal, IsEmpty());
}

TEST_F(repository_store, subscribing_works_on_a_const_repository) {
    const items& view = m_repo;
    const auto sub = view.subscribe(m_a);
    m_repo.add(item("x", 1), ts(1));
    EXPECT_THAT(m_journal, ElementsAre("A create x=1 @1"));
}

TEST_F(repository_store, failing_observer_on_add_or_update_leaves_the_object_stored) {
    m_a.m_hook = [](const std::string&, const item&, timestamp) {
        throw std::runtime_error("observer");
    };
    const auto sub_a = m_repo.subscribe(m_a);
    const auto sub_b = m_repo.subscribe(m_b);
    EXPECT_THROW(m_repo.add(item("x", 1), ts(1)), std::runtime_error);
    EXPECT_TRUE(m_repo.is_exists("x"));
    EXPECT_THROW(m_repo.update_or_add(item("x", 2), ts(2)), std::runtime_error);
    EXPECT_EQ(m_repo.get("x").get_value(), 2);
    EXPECT_THAT(m_journal, ElementsAre("A create x=1 @1", "A update x=2 @2"));
}

TEST_F(repository_store, failing_observer_on_remove_keeps_the_entry) {
    m_repo.add(item("x", 1), ts(1));
    m_a.m_hook = [](const std::string&, const item&, timestamp) {
        throw std::runtime_error("observer");
    };
    const auto sub = m_repo.subscribe(m_a);
    EXPECT_THROW(m_repo.remove("x", ts(2)), std::runtime_error);
    EXPECT_TRUE(m_repo.is_exists("x"));
}

TEST_F(repository_store, last_observer_may_remove_the_object_it_is_told_about) {
    const auto sub_a = m_repo.subscribe(m_a);
    const auto sub_b = m_repo.subscribe(m_b);
    m_b.m_hook = [&](const std::string& kind, const item& i, timestamp) {
        if (kind == "create")
            m_repo.remove(i.get_uid(), ts(5));
    };
    m_repo.add(item("x", 1), ts(1));
    EXPECT_FALSE(m_repo.is_exists("x"));
    EXPECT_THAT(m_journal, ElementsAre("A create x=1 @1", "B create x=1 @1", "A delete x=1 @5",
                                       "B delete x=1 @5"));
}

TEST(repository_abstract, holds_interfaces_through_owning_pointers) {
    shapes repo;
    const shape& stored = repo.add(std::make_unique<square>("s1", 3), ts(1));
    EXPECT_EQ(stored.area(), 9);
    repo.update_or_add(std::make_unique<square>("s1", 4), ts(2));
    EXPECT_EQ(repo.get("s1").area(), 16);
    {
        auto handle = repo.try_get("s1", ts(3));
        ASSERT_TRUE(handle.has_value());
        EXPECT_EQ((*handle)->area(), 16);
    }
    int total = 0;
    for (const shape& s : repo.get_range())
        total += s.area();
    EXPECT_EQ(total, 16);
    repo.remove("s1", ts(4));
    EXPECT_FALSE(repo.is_exists("s1"));
}

}  // namespace
}  // namespace zentu::test
