#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cu_repository_recorder.hpp"

namespace zentu::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class repository_write : public ::testing::Test {
protected:
    void SetUp() override {
        m_repo.add(item("x", 1), ts(1));
        m_repo.add(item("y", 2), ts(1));
        m_journal.clear();
    }

    items m_repo;
    std::vector<std::string> m_journal;
    recorder m_a{"A", m_journal};
    recorder m_b{"B", m_journal};
    items::subscription_handle m_sub_a = m_repo.subscribe(m_a);
    items::subscription_handle m_sub_b = m_repo.subscribe(m_b);
};

TEST_F(repository_write, release_announces_the_change_once_with_the_handle_timestamp) {
    {
        auto handle = m_repo.try_get("x", ts(7));
        ASSERT_TRUE(handle.has_value());
        (*handle)->set_value(42);
        EXPECT_THAT(m_journal, IsEmpty());
        EXPECT_EQ(m_repo.get("x").get_value(), 42);
    }
    EXPECT_THAT(m_journal, ElementsAre("A update x=42 @7", "B update x=42 @7"));
}

TEST_F(repository_write, unchanged_object_is_announced_too) {
    { auto handle = m_repo.try_get("y", ts(8)); }
    EXPECT_THAT(m_journal, ElementsAre("A update y=2 @8", "B update y=2 @8"));
}

TEST_F(repository_write, moved_handle_announces_once) {
    {
        auto handle = m_repo.try_get("x", ts(3));
        items::writable_object other(std::move(*handle));
        handle.reset();
        EXPECT_FALSE(handle.has_value());
        EXPECT_THAT(m_journal, IsEmpty());
    }
    EXPECT_THAT(m_journal, ElementsAre("A update x=1 @3", "B update x=1 @3"));
}

TEST_F(repository_write, removal_from_an_update_observer_follows_the_last_update) {
    m_a.m_hook = [&](const std::string& kind, const item& i, timestamp) {
        if (kind == "update")
            m_repo.remove(i.get_uid(), ts(20));
    };
    { auto handle = m_repo.try_get("x", ts(10)); }
    EXPECT_FALSE(m_repo.is_exists("x"));
    EXPECT_THAT(m_journal, ElementsAre("A update x=1 @10", "B update x=1 @10", "A delete x=1 @20",
                                       "B delete x=1 @20"));
}

TEST_F(repository_write, removal_under_an_open_handle_waits_and_the_later_request_wins) {
    {
        auto handle = m_repo.try_get("x", ts(10));
        m_repo.remove("x", ts(11));
        m_repo.remove("x", ts(12));
        EXPECT_TRUE(m_repo.is_exists("x"));
        int seen = 0;
        for (const item& i : m_repo.get_range())
            seen += i.get_uid() == "x";
        EXPECT_EQ(seen, 1);
        EXPECT_THAT(m_journal, IsEmpty());
    }
    EXPECT_FALSE(m_repo.is_exists("x"));
    EXPECT_THAT(m_journal, ElementsAre("A update x=1 @10", "B update x=1 @10", "A delete x=1 @12",
                                       "B delete x=1 @12"));
}

TEST_F(repository_write, observer_failure_on_release_propagates_after_cleaning_up) {
    m_a.m_hook = [&](const std::string& kind, const item&, timestamp) {
        if (kind == "update")
            throw std::runtime_error("observer");
    };
    {
        auto handle = m_repo.try_get("x", ts(10));
        m_repo.remove("x", ts(11));
        m_a.m_hook = [&, armed = true](const std::string& kind, const item&, timestamp) mutable {
            if (kind == "update" && std::exchange(armed, false))
                throw std::runtime_error("observer");
        };
        EXPECT_THROW(handle.reset(), std::runtime_error);
    }
    // B never heard of the update; the postponed removal still happened.
    EXPECT_THAT(m_journal, ElementsAre("A update x=1 @10", "A delete x=1 @11", "B delete x=1 @11"));
    EXPECT_FALSE(m_repo.is_exists("x"));
}

TEST_F(repository_write, observer_failure_on_release_clears_the_write_mark) {
    m_a.m_hook = [&, armed = true](const std::string& kind, const item&, timestamp) mutable {
        if (kind == "update" && std::exchange(armed, false))
            throw std::runtime_error("observer");
    };
    {
        auto handle = m_repo.try_get("y", ts(10));
        EXPECT_THROW(handle.reset(), std::runtime_error);
    }
    // Not marked any more: a removal is immediate and a new handle may be taken.
    { auto again = m_repo.try_get("y", ts(11)); }
    m_repo.remove("y", ts(12));
    EXPECT_FALSE(m_repo.is_exists("y"));
}

TEST_F(repository_write, observer_failure_is_dropped_while_another_exception_unwinds) {
    m_a.m_hook = [](const std::string& kind, const item&, timestamp) {
        if (kind == "update")
            throw std::runtime_error("observer");
    };
    try {
        auto handle = m_repo.try_get("x", ts(10));
        m_repo.remove("x", ts(11));
        throw std::logic_error("caller");
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "caller");
    }
    EXPECT_FALSE(m_repo.is_exists("x"));
    EXPECT_THAT(m_journal, ElementsAre("A update x=1 @10", "A delete x=1 @11", "B delete x=1 @11"));
}

TEST_F(repository_write, handle_made_during_unwinding_still_reports_its_own_failure) {
    m_a.m_hook = [](const std::string& kind, const item&, timestamp) {
        if (kind == "update")
            throw std::runtime_error("observer");
    };
    bool propagated = false;
    struct on_unwind {
        items& repo;
        bool& propagated;
        // Only the observer's std::runtime_error can come out of try_get here.
        ~on_unwind() {  // NOLINT(bugprone-exception-escape)
            try {
                auto handle = repo.try_get("y", ts(5));
            } catch (const std::runtime_error&) {
                propagated = true;
            }
        }
    };
    try {
        on_unwind guard{m_repo, propagated};
        throw std::logic_error("caller");
    } catch (const std::logic_error&) {
    }
    EXPECT_TRUE(propagated);
}

TEST_F(repository_write, second_handle_on_the_same_object_is_refused) {
    auto handle = m_repo.try_get("x", ts(1));
    EXPECT_THROW(m_repo.try_get("x", ts(2)), libs::core::check_failed_exception);
    auto other = m_repo.try_get("y", ts(3));
    EXPECT_TRUE(other.has_value());
}

TEST_F(repository_write, observer_may_write_another_object_during_an_update) {
    m_a.m_hook = [&](const std::string& kind, const item& i, timestamp) {
        if (kind == "update" && i.get_uid() == "x") {
            auto other = m_repo.try_get("y", ts(30));
            (*other)->set_value(99);
        }
    };
    { auto handle = m_repo.try_get("x", ts(10)); }
    EXPECT_THAT(m_journal, ElementsAre("A update x=1 @10", "A update y=99 @30", "B update y=99 @30",
                                       "B update x=1 @10"));
}

}  // namespace
}  // namespace zentu::test
