#pragma once

#include <string_view>

namespace zentu::ops {

// The operator's status page: one self-contained HTML document (its styles
// and script inline, nothing fetched from elsewhere) that reads the JSON API
// under /v1/ and refreshes itself.
std::string_view status_page_html();

}  // namespace zentu::ops
