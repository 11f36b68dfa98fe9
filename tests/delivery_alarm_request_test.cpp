// The alarm requests the service sends against the platform simulator's
// validation of the alarms API: the simulator stands in for the platform in
// the end-to-end tests, so both must agree on the layout.
#include <gtest/gtest.h>

#include <json/value.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/json.hpp"
#include "delivery/alarm_request.hpp"
#include "platform-sim/alarm_request.hpp"
#include "support/records.hpp"

namespace zentu::test {
namespace {

Json::Value parsed(const std::string& text) {
    auto result = libs::core::json::try_parse(text);
    EXPECT_TRUE(result.ok) << text;
    return result.result;
}

// Every shape of body the service sends: both kinds, set and clear, a plain
// and a buffer zone, with and without coordinates and sublocation.
TEST(delivery_alarm_request, every_body_the_service_sends_is_valid_for_the_platform) {
    const context::zone plain = a_zone("z1").name("Dock 3").level(2);
    const context::zone buffer = a_zone("z2").name("Forklift").keep_out().attached_to("o9");
    for (const auto kind : {context::alarm_type::ki, context::alarm_type::ko})
        for (const char* state : {"set", "clear"})
            for (const auto* zone : {&plain, &buffer})
                for (const bool known : {true, false}) {
                    auto alarm = an_alarm("o1", zone->get_uid())
                                     .kind(kind)
                                     .state(state)
                                     .name(std::string(alarm_name_for(*zone)))
                                     .text(alarm_text_for(kind, *zone))
                                     .at(timestamp(1700000000, 999));
                    if (known)
                        alarm.position(1, -2, 3).sublocation("s1");
                    const auto body = parsed(alarm_request_body(alarm));
                    EXPECT_EQ(platform_sim::validate_alarm_request(body), std::nullopt)
                        << libs::core::json::to_string(body);
                }

    const auto body =
        parsed(alarm_request_body(an_alarm("o1", "z2")
                                      .name(std::string(alarm_name_for(buffer)))
                                      .text(alarm_text_for(context::alarm_type::ko, buffer))));
    EXPECT_EQ(body["obj_class"], "TO");
    EXPECT_EQ(body["alarm_name"], "buffer_violation");
    EXPECT_TRUE(body["sublocation_uid"].isNull());
    EXPECT_FALSE(body.isMember("x"));
    EXPECT_EQ(body["additional_info"]["text"], "Keep out zone Forklift with zone alarm level 1");
    EXPECT_EQ(alarm_text_for(context::alarm_type::ki, plain),
              "Keep in zone Dock 3 with zone alarm level 2");
}

// The simulator checks every member the service always sends: without any
// one of them a request is refused (coordinates are sent only when known).
TEST(delivery_alarm_request, the_platform_refuses_a_body_without_any_member_always_sent) {
    const auto body = parsed(alarm_request_body(an_alarm("o1", "z1").position(1, 2, 3)));
    for (const auto& member : body.getMemberNames()) {
        auto without = body;
        without.removeMember(member);
        const bool optional = member == "x" || member == "y" || member == "z";
        EXPECT_EQ(platform_sim::validate_alarm_request(without).has_value(), !optional) << member;
    }
    for (const auto& member : body["additional_info"].getMemberNames()) {
        auto without = body;
        without["additional_info"].removeMember(member);
        EXPECT_TRUE(platform_sim::validate_alarm_request(without)) << "additional_info." << member;
    }
}

// The body is written directly on the path of every request; it must be the
// bytes the JSON library writes for the same alarm, whatever the texts hold:
// quotes, control characters, valid, broken or truncated UTF-8, a NUL.
TEST(delivery_alarm_request, the_direct_body_is_byte_for_byte_the_json_librarys) {
    const std::vector<std::string> texts{
        "",
        "o-1",
        "02:00:00:00:00:10",
        "Keep out zone Dock \"3\" with zone alarm level 2",
        "back\\slash / slash",
        "line\nbreak\ttab\r\b\f\x01\x1f",
        "Zone \xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x9a\x9c",
        "broken \xc3 \xe2\x82 \xf0\x9f\x9a \xff\xfe \xed\xa0\x80 \xc0\x80",
        "ends in a lead byte \xe2",
        std::string("nul\0inside", 10),
        "\x7f delete",
    };
    std::mt19937 random(7);
    const auto pick = [&] { return texts[random() % texts.size()]; };
    const auto number = [&](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    constexpr auto int32_min = std::numeric_limits<std::int32_t>::min();
    constexpr auto int32_max = std::numeric_limits<std::int32_t>::max();
    for (int round = 0; round < 2000; ++round) {
        auto alarm = an_alarm(pick(), pick())
                         .mac(pick())
                         .name(pick())
                         .text(pick())
                         .state(pick())
                         .kind(round % 2 ? context::alarm_type::ki : context::alarm_type::ko)
                         .level(static_cast<std::uint32_t>(number(0, 0xffffffff)))
                         .at(timestamp::from_parts(number(0, 253402300799), number(0, 999)));
        if (round % 3)
            alarm.sublocation(pick());
        const auto coordinate = [&]() -> context::alarm::coordinate {
            if (random() % 4 == 0)
                return std::nullopt;
            return static_cast<std::int32_t>(number(int32_min, int32_max));
        };
        alarm.position(coordinate(), coordinate(), coordinate());
        ASSERT_EQ(alarm_request_body(alarm), alarm_request_body_by_value(alarm)) << round;
    }
}

}  // namespace
}  // namespace zentu::test
