#pragma once

#include <boost/range/any_range.hpp>
#include <cstddef>
#include <string>

#include "core/timestamp.hpp"

namespace zentu::libs::context_utils {

using timestamp = core::timestamp;

// A range of texts converted from a JSON array while it is walked.
using text_range =
    boost::any_range<std::string, boost::bidirectional_traversal_tag, std::string, std::ptrdiff_t>;

}  // namespace zentu::libs::context_utils
