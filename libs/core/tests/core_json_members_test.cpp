// The quick reader of stream messages against the JSON library: it reads the
// usual message, and where it answers at all it reads what the library reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/json.hpp"
#include "core/json_members.hpp"

namespace zentu::libs::core::json {
namespace {

TEST(core_json_members, the_quick_reader_reads_what_the_library_reads_or_leaves_it) {
    const std::string usual =
        R"({"obj_uid":"o-1","zone_uid":"z-1","action":"enter","x":-5,"y":7,"z":0,)"
        R"("ts":1614600001,"ms":999,"zone_type_name":"KEEP_OUT","extra":[1,{"a":2}]})";
    // Each may be left to the library, but never read otherwise.
    const std::vector<std::string> others{
        R"({"a":"first","a":"second"})",  // the later of two counts
        R"({"x":-0,"y":1.0,"z":1e2})",    // numbers the library reads its own way
        R"({"big":9223372036854775808,"small":-9223372036854775808})",
        R"({"huge":123456789012345678901234567890})",
        R"({"t":"\u00e9\ud83d\ude9c\u0000end"})",  // escapes, a pair, a NUL
        R"({"t":"\udc00"})",                       // a lone low surrogate
        R"({"t":"\ud800x"})",                      // a lone high surrogate
        "{\"t\":\"raw\ttab\"}",                    // a control character unescaped
        "{\"t\":\"\xc3\"}",                        // not UTF-8
        "\xef\xbb\xbf{\"bom\":1}",                 // a byte order mark
        R"({"a":1} trailing)",                     // more after the object
        R"({"a":1 /* comment */})",
        R"({"a":01})",
        R"([1,2])",
        R"("text")",
        R"({"deep":)" + std::string(300, '[') + std::string(300, ']') + "}",
        "",
        "{",
    };
    quick_reader quick;
    const auto usual_members = quick.read_object(usual);
    ASSERT_TRUE(usual_members);
    EXPECT_EQ(usual_members->text_of("action"), "enter");
    EXPECT_EQ(usual_members->find("x")->integer, -5);
    EXPECT_EQ(usual_members->find("extra")->type, members::kind::other);

    std::vector<std::string> all = others;
    all.push_back(usual);
    for (const auto& text : all) {
        const auto read = quick.read_object(text);
        if (!read)
            continue;
        const auto parsed = try_parse(text);
        ASSERT_TRUE(parsed.ok && parsed.result.isObject()) << text;
        const auto library = members::of(parsed.result);
        ASSERT_EQ(read->size(), library.size()) << text;
        for (const auto& name : parsed.result.getMemberNames()) {
            const auto* expected = library.find(name);
            const auto* got = read->find(name);
            ASSERT_TRUE(got) << text;
            EXPECT_EQ(got->type, expected->type) << text;
            EXPECT_EQ(got->text, expected->text) << text;
            EXPECT_EQ(got->integer, expected->integer) << text;
        }
    }
}

}  // namespace
}  // namespace zentu::libs::core::json
