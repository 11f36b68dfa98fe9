#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "config/result.hpp"

namespace zentu::libs::config {
namespace {

result<int> fail(const std::string& text) {
    return error_reason{text};
}

TEST(config_parser_result, good_results_join_into_a_flat_tuple) {
    const auto joined = result<int>(1) + result<std::string>(std::string("two")) +
                        result<bool>(true) + result<int>(4);
    static_assert(
        std::is_same_v<decltype(joined), const result<std::tuple<int, std::string, bool, int>>>);
    ASSERT_TRUE(joined.ok());
    EXPECT_EQ(joined.value(), std::make_tuple(1, std::string("two"), true, 4));
}

TEST(config_parser_result, reasons_are_joined_in_order_one_per_line) {
    EXPECT_EQ((fail("first") + result<int>(2) + result<int>(3)).reason(), "first");
    EXPECT_EQ((result<int>(1) + result<int>(2) + fail("third")).reason(), "third");
    EXPECT_EQ((fail("a") + result<int>(2) + fail("b") + fail("c")).reason(), "a\nb\nc");
    EXPECT_FALSE((result<int>(1) + fail("x")).try_get());
}

}  // namespace
}  // namespace zentu::libs::config
