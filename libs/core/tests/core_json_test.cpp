#include <gtest/gtest.h>

#include "core/json.hpp"

namespace zentu::libs::core::testing {
namespace {

using json::array_member_elements;

TEST(core_json, array_member_elements_are_found_without_building_the_document) {
    const std::string text = R"( {"other": {"x": [1, "]"]}, "items" : [ {"a": "}\"{", "b": [1, {}]},
        "text \\\" ]", 12.5e3, true, null, [[]] ], "after": 1 } )";
    const auto elements = array_member_elements(text, "items");
    ASSERT_TRUE(elements);
    EXPECT_EQ(*elements,
              (std::vector<std::string_view>{R"({"a": "}\"{", "b": [1, {}]})", R"("text \\\" ]")",
                                             "12.5e3", "true", "null", "[[]]"}));
    for (const auto element : *elements)
        EXPECT_TRUE(json::try_parse(element).ok) << element;

    EXPECT_EQ(array_member_elements(R"({"items": []})", "items"), std::vector<std::string_view>{});
}

TEST(core_json, array_member_elements_give_nothing_for_another_shape) {
    for (const char* text :
         {R"({"items": {}})", R"({"others": []})", R"([{"items": []}])", R"({"items": [1, 2})",
          R"({"items": [1] "more": 2})", R"({"items": ["unterminated]})", R"({"items": [1]} x)",
          R"({"item\u0073": [1]})", ""})
        EXPECT_FALSE(array_member_elements(text, "items")) << text;
}

}  // namespace
}  // namespace zentu::libs::core::testing
