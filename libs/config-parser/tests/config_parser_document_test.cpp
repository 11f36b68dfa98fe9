#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/optional/bad_optional_access.hpp>
#include <boost/optional/optional_io.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "../src/impl/dictionary_impl.hpp"
#include "config/config.hpp"
#include "test_kit/error_of.hpp"

namespace zentu::libs::config {
namespace {

config::ptr parse(const std::string& text) {
    std::istringstream stream(text);
    return config::create<type::json>(stream);
}

std::string parse_error(const std::string& text) {
    return test_kit::error_of<std::runtime_error>([&] { parse(text); });
}

TEST(config_parser_document, malformed_input_is_rejected) {
    EXPECT_THAT(parse_error(""), testing::StartsWith("Cannot parse json: "));
    EXPECT_THAT(parse_error("{\"a\": {\"b\": 1"), testing::StartsWith("Cannot parse json: "));
    EXPECT_THAT(parse_error("{\"a\": }"), testing::StartsWith("Cannot parse json: "));
    EXPECT_THAT(parse_error(std::string(1001, '[') + std::string(1001, ']')),
                testing::StartsWith("Cannot parse json: "));
    // The reader's own text follows the prefix.
    EXPECT_GT(parse_error("").size(), std::string("Cannot parse json: ").size());
}

TEST(config_parser_document, scalars_are_typed_strictly) {
    const auto doc = parse(R"({"i": 10, "r": 10.0, "f": 10.5, "big": 4294967296, "neg": -3,
                               "s": "6379", "b": true, "n": null})");
    EXPECT_EQ(doc->get<int>("i"), 10);
    EXPECT_EQ(doc->get<int>("r"), 10);
    EXPECT_EQ(doc->get<int>("f"), boost::none);
    // Out of int range is absent, not an exception.
    EXPECT_EQ(doc->get<int>("big"), boost::none);
    EXPECT_EQ(doc->get<int>("neg"), -3);
    EXPECT_EQ(doc->get<int>("s"), boost::none);
    EXPECT_EQ(doc->get<int>("b"), boost::none);
    EXPECT_EQ(doc->get<std::string>("s"), std::string("6379"));
    EXPECT_EQ(doc->get<std::string>("i"), boost::none);
    EXPECT_EQ(doc->get<bool>("b"), true);
    EXPECT_EQ(doc->get<bool>("i"), boost::none);
    EXPECT_EQ(doc->get<bool>("n"), boost::none);
    EXPECT_EQ(doc->get<double>("f"), 10.5);
    EXPECT_EQ(doc->get<double>("s"), boost::none);
    EXPECT_EQ(doc->get<int>("missing"), boost::none);
    EXPECT_FALSE(doc->get<const dictionary&>("i"));
}

TEST(config_parser_document, nested_objects_and_arrays) {
    const auto doc = parse(R"({"a": {"b": {"c": 1}}, "list": [1, "two", {"x": true}, [3, [4]]],
                               "empty": []})");
    const dictionary& root = doc->get_root();
    EXPECT_EQ(root.get_keys(), (std::vector<std::string>{"a", "empty", "list"}));

    const auto a = root.get<const dictionary&>("a");
    ASSERT_TRUE(a);
    const auto b = a->get<const dictionary&>("b");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->get<int>("c"), 1);

    const auto list = root.get_value("list")->as_array();
    ASSERT_TRUE(list);
    ASSERT_EQ(boost::size(*list), 4);
    auto it = list->begin();
    EXPECT_EQ(it->as_int(), 1);
    EXPECT_EQ((++it)->as_string(), std::string("two"));
    const auto element = (++it)->as_object();
    ASSERT_TRUE(element);
    EXPECT_EQ(element->get<bool>("x"), true);
    const auto inner = (++it)->as_array();
    ASSERT_TRUE(inner);
    ASSERT_EQ(boost::size(*inner), 2);
    EXPECT_EQ(inner->begin()->as_int(), 3);
    const auto innermost = std::prev(inner->end())->as_array();
    ASSERT_TRUE(innermost);
    EXPECT_EQ(innermost->begin()->as_int(), 4);
    // Bidirectional: walk back from the end.
    EXPECT_EQ(std::prev(list->end(), 4)->as_int(), 1);

    EXPECT_TRUE(boost::empty(*root.get_value("empty")->as_array()));
    EXPECT_FALSE(root.get_value("list")->as_object());
    EXPECT_FALSE(root.get_value("a")->as_array());
    EXPECT_FALSE(root.get_value("a")->as_int());
}

TEST(config_parser_document, first_of_duplicate_names_wins) {
    dictionary_impl object;
    object.add_value("port", value_impl(Json::Value(1)));
    object.add_value("port", value_impl(Json::Value(2)));
    EXPECT_EQ(object.get<int>("port"), 1);
    EXPECT_EQ(object.get_keys().size(), 1u);
}

TEST(config_parser_document, paths_report_where_they_stop) {
    const auto doc = parse(R"({"redis": {"port": "6379", "db": 10}, "five": 5,
                               "a": {"b": 1}, "top": 7})");
    EXPECT_EQ(doc->get_by_path<int>({"redis", "db"}).value(), 10);
    EXPECT_EQ(doc->get_by_path<int>({"top"}).value(), 7);
    // The fixed text first, then what was expected and what was found.
    EXPECT_EQ(doc->get_by_path<int>({"redis", "port"}).reason(),
              "Can not find field <int>: redis.port (expected an integer, found a string)");
    EXPECT_EQ(doc->get_by_path<int>({"five", "port"}).reason(),
              "Can not find object <object>: five, path: five.port "
              "(expected an object, found an integer)");
    EXPECT_EQ(doc->get_by_path<int>({"a", "x", "y"}).reason(),
              "Can not find object <object>: a.x, path: a.x.y (missing)");
    EXPECT_EQ(
        doc->get_by_path<int>({"a", "b", "c"}).reason(),
        "Can not find object <object>: a.b, path: a.b.c (expected an object, found an integer)");
    EXPECT_EQ(doc->get_by_path<bool>({"missing"}).reason(),
              "Can not find field <bool>: missing (missing)");
    EXPECT_EQ(doc->get_by_path<std::string>({"redis", "db"}).reason(),
              "Can not find field <" + boost::typeindex::type_id<std::string>().pretty_name() +
                  ">: redis.db (expected a string, found an integer)");
}

TEST(config_parser_document, found_kinds_are_named_as_json_has_them) {
    const auto doc = parse(R"({"f": 10.5, "big": 4294967296, "n": null, "list": [1], "o": {},
                               "b": false})");
    const auto found = [&](const std::string& key) {
        return json_kind(*doc->get_root().get_value(key));
    };
    EXPECT_EQ(found("f"), "a fractional number");
    EXPECT_EQ(found("big"), "a number beyond the 32-bit integer range");
    EXPECT_EQ(found("n"), "null");
    EXPECT_EQ(found("list"), "an array");
    EXPECT_EQ(found("o"), "an object");
    EXPECT_EQ(found("b"), "a boolean");
}

TEST(config_parser_document, failed_result_throws_on_value) {
    const auto doc = parse(R"({"a": 1})");
    const result<std::string> failed = doc->get_by_path<std::string>({"a"});
    EXPECT_FALSE(failed.ok());
    EXPECT_FALSE(failed.try_get());
    try {
        failed.value();
        FAIL() << "value() of a failed result returned";
    } catch (const boost::bad_optional_access& e) {
        EXPECT_STREQ(e.what(),
                     "Attempted to access the value of an uninitialized optional object.");
    }
    const result<int> good = doc->get_by_path<int>({"a"});
    EXPECT_TRUE(good.ok());
    EXPECT_EQ(good.reason(), "");
}

}  // namespace
}  // namespace zentu::libs::config
