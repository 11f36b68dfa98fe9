// Input: the body of the platform's alarm types. The periods are read, or the
// body is refused with the service's own error.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "intake/histeresis.hpp"
#include "support/fuzz_checks.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    zentu::fuzz::project_errors_only([&] { zentu::parse_histeresis(body); });
    return 0;
}
