// The explanation of one object: every verdict and position it shows comes
// from the rules and the keep-in index, each case once.
#include <gtest/gtest.h>

#include <functional>

#include "context/explain.hpp"
#include "support/records.hpp"

namespace zentu::context {
namespace {

using libs::core::timestamp;
using test::a_movement;
using test::a_zone;
using test::an_alarm;
using test::an_object;
using position = keep_in_index::position;
using source = keep_in_index::position_source;

struct expected_zone {
    std::string uid;
    rule_verdict verdict;
    position where;
    source from;
};

struct explain_case {
    const char* name;
    std::function<void(writable_context&)> build;
    std::string keep_in_reason;
    std::string keep_out_reason;
    std::vector<expected_zone> keep_in;
    // "ki:Y1 wanted set", "ko:K held clear"...
    std::vector<std::string> alarms;
};

void PrintTo(const explain_case& c, std::ostream* out) {
    *out << c.name;
}

std::string describe(const alarm_view& a) {
    return std::string(to_string(a.kind)) + ":" + a.zone_uid + (a.wanted ? " wanted" : " held") +
           (a.held_state ? " " + *a.held_state : "");
}

const explain_case cases[] = {
    {"exception by uid",
     [](writable_context& ctx) {
         test::site(ctx).add(a_zone("Y1").name("Yard").exceptions({"o1"})).add(an_object("o1"));
     },
     "no alarm: no active keep-in zone applies",
     "no alarm: in no keep-out zone",
     {{"Y1", rule_verdict::exception_by_uid, position::inside, source::no_list}},
     {}},
    {"exception by group",
     [](writable_context& ctx) {
         test::site(ctx)
             .add(a_zone("Y1").exceptions_groups({"guards"}))
             .add(an_object("o1").groups({"guards", "staff"}));
     },
     "no alarm: no active keep-in zone applies",
     "no alarm: in no keep-out zone",
     {{"Y1", rule_verdict::exception_by_group, position::inside, source::no_list}},
     {}},
    {"default allowed, not excepted",
     [](writable_context& ctx) {
         test::site(ctx)
             .add(a_zone("Y1").default_allowed(true))
             .add(an_object("o1"))
             .add(a_movement("o1", "Y1").leave());
     },
     "no alarm: no active keep-in zone applies",
     "no alarm: in no keep-out zone",
     {{"Y1", rule_verdict::default_allowed, position::outside, source::movement}},
     {}},
    {"default allowed, excepted: held in, left every zone",
     [](writable_context& ctx) {
         test::site(ctx)
             .add(a_zone("Y1").name("Yard").default_allowed(true).exceptions({"o1"}))
             .add(a_zone("Y2").name("North yard"))
             .add(an_object("o1"))
             .add(a_movement("o1", "Y1").leave())
             .add(a_movement("o1", "Y2").leave())
             .add(an_alarm("o1", "Y1").keep_in());
     },
     "outside every active keep-in zone that applies: Yard, North yard",
     "no alarm: in no keep-out zone",
     {{"Y1", rule_verdict::applies, position::outside, source::movement},
      {"Y2", rule_verdict::applies, position::outside, source::movement}},
     {"ki:Y1 wanted set", "ki:Y2 wanted"}},
    {"inside one of two zones",
     [](writable_context& ctx) {
         test::site(ctx)
             .add(a_zone("Y1").name("Yard"))
             .add(a_zone("Y2"))
             .add(an_object("o1"))
             .add(a_movement("o1", "Y2").leave())
             .add(an_alarm("o1", "Y2").keep_in().state("clear"));
     },
     "no alarm: inside Yard",
     "no alarm: in no keep-out zone",
     {{"Y1", rule_verdict::applies, position::inside, source::no_list},
      {"Y2", rule_verdict::applies, position::outside, source::movement}},
     {"ki:Y2 held clear"}},
    {"inactive zone",
     [](writable_context& ctx) {
         test::site(ctx)
             .add(a_zone("Y1").active(false))
             .add(an_object("o1"))
             .add(a_movement("o1", "Y1").leave());
     },
     "no alarm: no active keep-in zone applies",
     "no alarm: in no keep-out zone",
     {{"Y1", rule_verdict::inactive, position::outside, source::movement}},
     {}},
    {"zone of another project it moved across",
     [](writable_context& ctx) {
         test::site(ctx)
             .add(a_zone("Y1").project("p1"))
             .add(an_object("o1").project("p2"))
             .add(a_movement("o1", "Y1").project("p1").leave());
     },
     "no alarm: no active keep-in zone applies",
     "no alarm: in no keep-out zone",
     {{"Y1", rule_verdict::other_project, position::outside, source::movement}},
     {}},
    {"occupancy list that did not know the object",
     [](writable_context& ctx) {
         ctx.take_keep_in_index().expect_occupancy("Y1", {});
         test::site(ctx).add(a_zone("Y1").name("Yard")).add(an_object("o1"));
     },
     "no alarm: inside Yard",
     "no alarm: in no keep-out zone",
     {{"Y1", rule_verdict::applies, position::inside, source::not_listed}},
     {}},
    {"occupancy list without the object",
     [](writable_context& ctx) {
         test::site(ctx).add(an_object("o1"));
         ctx.take_keep_in_index().expect_occupancy("Y1", {"o2"});
         test::site(ctx).add(a_zone("Y1").name("Yard"));
     },
     "outside every active keep-in zone that applies: Yard",
     "no alarm: in no keep-out zone",
     {{"Y1", rule_verdict::applies, position::outside, source::occupancy_list}},
     {"ki:Y1 wanted"}},
    {"unresponsive",
     [](writable_context& ctx) {
         test::site(ctx)
             .add(a_zone("Y1"))
             .add(an_object("o1").responsive(false))
             .add(a_movement("o1", "Y1").leave());
     },
     "no alarm: unresponsive",
     "no alarm: in no keep-out zone",
     {{"Y1", rule_verdict::applies, position::outside, source::movement}},
     {}},
    {"no MAC address",
     [](writable_context& ctx) {
         test::site(ctx)
             .add(a_zone("Y1"))
             .add(a_zone("K").keep_out())
             .add(an_object("o1").mac(std::nullopt))
             .add(a_movement("o1", "Y1").leave())
             .add(a_movement("o1", "K").keep_out());
     },
     "no alarm: no MAC address",
     "no alarm: no MAC address",
     {{"Y1", rule_verdict::applies, position::outside, source::movement}},
     {}},
    {"inside a keep-out zone",
     [](writable_context& ctx) {
         test::site(ctx)
             .add(a_zone("K").keep_out().name("Dock 3"))
             .add(a_zone("K2").keep_out())
             .add(an_object("o1"))
             .add(a_movement("o1", "K").keep_out().at(timestamp("2026-03-01T10:00:00Z")))
             .add(a_movement("o1", "K2").keep_out().leave())
             .add(an_alarm("o1", "K"))
             .add(an_alarm("o1", "K2").state("clear"));
     },
     "no alarm: no active keep-in zone applies",
     "inside keep-out zone Dock 3",
     {},
     {"ko:K wanted set", "ko:K2 held clear"}},
};

class explain_test : public ::testing::TestWithParam<explain_case> {};

TEST_P(explain_test, tells_what_the_rules_and_the_index_say) {
    const auto& c = GetParam();
    writable_context ctx;
    c.build(ctx);
    const auto explanation = explain(ctx, "o1");
    ASSERT_TRUE(explanation);
    EXPECT_EQ(explanation->keep_in_reason, c.keep_in_reason);
    EXPECT_EQ(explanation->keep_out_reason, c.keep_out_reason);
    ASSERT_EQ(explanation->keep_in.size(), c.keep_in.size());
    for (std::size_t i = 0; i < c.keep_in.size(); ++i) {
        const auto& zone = explanation->keep_in[i];
        EXPECT_EQ(zone.zone_uid, c.keep_in[i].uid);
        EXPECT_EQ(zone.verdict, c.keep_in[i].verdict) << zone.zone_uid;
        EXPECT_EQ(zone.position, c.keep_in[i].where) << zone.zone_uid;
        EXPECT_EQ(zone.source, c.keep_in[i].from) << zone.zone_uid;
    }
    std::vector<std::string> alarms;
    for (const auto& a : explanation->alarms)
        alarms.push_back(describe(a));
    EXPECT_EQ(alarms, c.alarms);
}

INSTANTIATE_TEST_SUITE_P(cases, explain_test, ::testing::ValuesIn(cases), [](const auto& info) {
    std::string name;
    for (const char ch : std::string(info.param.name))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

TEST(explain, keep_out_stay_since_its_entry_and_last_movement) {
    writable_context ctx;
    test::site(ctx)
        .add(a_zone("K").keep_out().name("Dock 3"))
        .add(an_object("o1"))
        .add(a_movement("o1", "K").keep_out().at(timestamp("2026-03-01T10:00:00Z")));
    const auto explanation = explain(ctx, "o1");
    ASSERT_TRUE(explanation);
    ASSERT_EQ(explanation->keep_out.size(), 1U);
    EXPECT_EQ(explanation->keep_out[0].since, timestamp("2026-03-01T10:00:00Z"));
    ASSERT_TRUE(explanation->last_event);
    EXPECT_EQ(explanation->last_event->get_zone_uid(), "K");
    ASSERT_EQ(explanation->alarms.size(), 1U);
    EXPECT_EQ(explanation->alarms[0].why, "inside keep-out zone Dock 3 since 2026-03-01T10:00:00Z");
    EXPECT_FALSE(explain(ctx, "nobody"));
}

}  // namespace
}  // namespace zentu::context
