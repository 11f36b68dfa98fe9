#pragma once

#include <string_view>

namespace zentu::ops {

// "0.1.0 (git 368350c0ab12)": the project version and, when built from a git
// checkout, the revision. Defined by a file generated at build time.
std::string_view version_text();

}  // namespace zentu::ops
