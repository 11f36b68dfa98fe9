#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/log_text.hpp"

namespace zentu::libs::core {
namespace {

TEST(core_log_text_test, controls_and_broken_utf8_are_escaped_the_rest_is_kept) {
    EXPECT_EQ(escaped("zone A-12"), "zone A-12");
    // A forged second line, a tab, a carriage return, NUL, ESC and DEL.
    EXPECT_EQ(escaped("uid1\n2024-01-01 Alarm set"), "uid1\\n2024-01-01 Alarm set");
    EXPECT_EQ(escaped(std::string("a\tb\rc\0d\x1b[2J\x7f", 12)), "a\\tb\\rc\\x00d\\x1b[2J\\x7f");
    // Valid UTF-8 of one to four bytes stays; backslashes stay as they are.
    EXPECT_EQ(escaped("Zoné 区域 \xF0\x9F\x9A\x9A"), "Zoné 区域 \xF0\x9F\x9A\x9A");
    EXPECT_EQ(escaped(R"({"detail":"a \"b\" \\n"})"), R"({"detail":"a \"b\" \\n"})");
    // C1 controls (U+009B is a terminal's CSI) are escaped byte by byte.
    EXPECT_EQ(escaped("x\xC2\x9B"
                      "2Jy\xC2\xA0"),
              "x\\xc2\\x9b2Jy\xC2\xA0");
    // A stray continuation, a truncated sequence, an overlong form, a
    // surrogate and a code point above U+10FFFF.
    EXPECT_EQ(escaped("\x80"), "\\x80");
    EXPECT_EQ(escaped("ab\xE2\x82"), "ab\\xe2\\x82");
    EXPECT_EQ(escaped("\xC0\xAF"), "\\xc0\\xaf");
    EXPECT_EQ(escaped("\xED\xA0\x80"), "\\xed\\xa0\\x80");
    EXPECT_EQ(escaped("\xF4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");
    // Appends, and only the argument is changed.
    std::string line = "got: ";
    append_escaped(line, "a\nb");
    EXPECT_EQ(line, "got: a\\nb");
}

// Long plain runs are scanned a word at a time: a byte to escape is found
// wherever it lies in a word, and the bytes around it are kept.
TEST(core_log_text_test, a_byte_to_escape_is_found_at_every_place_of_a_long_text) {
    const std::pair<std::string, std::string> cases[] = {
        {"\n", "\\n"},     {"\x1f", "\\x1f"},        {"\x7f", "\\x7f"},
        {"\xff", "\\xff"}, {"\xc3\xa9", "\xc3\xa9"}, {" ", " "},
        {"~", "~"}};
    for (const auto& [raw, written] : cases) {
        for (std::size_t at = 0; at < 20; ++at) {
            const std::string before(at, 'a');
            const std::string after(19 - at, 'z');
            EXPECT_EQ(escaped(before + raw + after), before + written + after) << at;
        }
    }
}

TEST(core_log_text_test, long_bodies_are_cut_with_the_count_left_out) {
    EXPECT_EQ(log_excerpt("short", 5), "short");
    EXPECT_EQ(log_excerpt("0123456789", 4), "0123... (6 more bytes)");
    const std::string page(2000, 'x');
    EXPECT_EQ(log_excerpt(page), std::string(log_excerpt_limit, 'x') + "... (1488 more bytes)");
    // Never through a character: "é" is two bytes, "🚚" four.
    EXPECT_EQ(log_excerpt("abé", 3), "ab... (2 more bytes)");
    EXPECT_EQ(log_excerpt("a\xF0\x9F\x9A\x9A", 3), "a... (4 more bytes)");
}

}  // namespace
}  // namespace zentu::libs::core
