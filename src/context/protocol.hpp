#pragma once

#include "context_utils/protocol.hpp"

namespace zentu {
// The platform's protocol words, as the service names them.
namespace protocol = libs::context_utils::protocol;
}  // namespace zentu
