// Input: a time as text (and, from its first 16 bytes, seconds and
// milliseconds). Every reader either refuses it with the project's error or
// returns a time within bounds that survives both text forms; the general
// reader and the fixed-position reader agree on the platform's own layout.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "context_utils/parsers/parser_utils.hpp"
#include "support/fuzz_checks.hpp"

namespace {

using zentu::libs::core::timestamp;

// "YYYY-MM-DDTHH:MM:SS.f...": the separators both readers take as they are.
bool has_standard_separators(const std::string& text) {
    return text.size() >= 24 && text[4] == '-' && text[7] == '-' && text[10] == 'T' &&
           text[13] == ':' && text[16] == ':' && text[19] == '.';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentu::fuzz;
    const std::string text(reinterpret_cast<const char*>(data), size);

    const auto general = timestamp::try_parse(text);
    if (general)
        check_time(*general);
    project_errors_only([&] { check_time(timestamp(std::string_view(text))); });
    const auto fixed = zentu::libs::context_utils::parsers::parser_utils::parse_iso8601(text);
    if (fixed)
        check_time(*fixed);
    if (fixed && has_standard_separators(text))
        FUZZ_ASSERT(general == fixed);
    if (const auto restored = timestamp::deserialize(text))
        check_time(*restored);

    if (size >= 16) {
        std::int64_t parts[2];
        std::memcpy(parts, data, sizeof(parts));
        project_errors_only([&] { check_time(timestamp::from_parts(parts[0], parts[1])); });
    }
    return 0;
}
