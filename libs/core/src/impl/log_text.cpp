#include "core/log_text.hpp"

#include <cstdint>
#include <cstring>

namespace zentu::libs::core {
namespace {

// Printable ASCII: copied as is. Everything else takes the slow path.
bool is_plain(unsigned char c) {
    return c >= 0x20 && c < 0x7f;
}

bool is_continuation(unsigned char c) {
    return (c & 0xc0) == 0x80;
}

// Bytes of the well-formed UTF-8 sequence (RFC 3629, no surrogates, no
// overlong forms, at most U+10FFFF) that starts at text[i]; 0 when the bytes
// there are not one.
std::size_t sequence_length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char second_low = 0x80;
    unsigned char second_high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            second_low = 0xa0;
        else if (lead == 0xed)
            second_high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            second_low = 0x90;
        else if (lead == 0xf4)
            second_high = 0x8f;
    } else {
        return 0;
    }
    if (text.size() - i < length)
        return 0;
    if (byte(1) < second_low || byte(1) > second_high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (!is_continuation(byte(k)))
            return 0;
    return length;
}

void append_hex(std::string& out, unsigned char c) {
    constexpr char digits[] = "0123456789abcdef";
    const char escape[] = {'\\', 'x', digits[c >> 4], digits[c & 0x0f]};
    out.append(escape, sizeof(escape));
}

void append_control(std::string& out, unsigned char c) {
    switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            append_hex(out, c);
    }
}

// The end of the run of plain bytes that starts at i. Eight bytes are looked
// at a time while none of them is below 0x20 or above 0x7e.
std::size_t plain_run_end(std::string_view text, std::size_t i) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t highs = 0x8080808080808080ULL;
    while (text.size() - i >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        // A high bit for a byte below 0x20 (borrows may flag more, never
        // fewer), at or above 0x80, or 0x7f (which + 1 makes 0x80).
        const std::uint64_t low = (word - 0x20 * ones) & ~word;
        const std::uint64_t high = word | (word + ones);
        if (((low | high) & highs) != 0)
            break;
        i += 8;
    }
    while (i < text.size() && is_plain(static_cast<unsigned char>(text[i])))
        ++i;
    return i;
}

}  // namespace

void append_escaped(std::string& out, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        // Most texts are plain ASCII: copied in runs, not byte by byte.
        const std::size_t run = plain_run_end(text, i);
        out.append(text, i, run - i);
        i = run;
        if (i == text.size())
            return;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            append_control(out, c);
            ++i;
            continue;
        }
        const std::size_t length = sequence_length(text, i);
        // U+0080..U+009F are controls too (0xc2 0x80..0x9f): terminals act on some.
        const bool c1_control =
            length == 2 && c == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f;
        if (length == 0 || c1_control) {
            for (std::size_t k = 0; k < (c1_control ? 2 : 1); ++k)
                append_hex(out, static_cast<unsigned char>(text[i + k]));
            i += c1_control ? 2 : 1;
            continue;
        }
        out.append(text, i, length);
        i += length;
    }
}

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    append_escaped(out, text);
    return out;
}

std::string log_excerpt(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return std::string(text);
    // Not through the middle of a character: at most three bytes go back.
    std::size_t cut = limit;
    while (cut > 0 && limit - cut < 3 && is_continuation(static_cast<unsigned char>(text[cut])))
        --cut;
    std::string out(text.substr(0, cut));
    out.append("... (").append(std::to_string(text.size() - cut)).append(" more bytes)");
    return out;
}

}  // namespace zentu::libs::core
