#pragma once

#include <string>

namespace zentu::libs::config {

// Why a field could not be read, as a line fit for an error message.
struct error_reason {
    std::string reason;
};

}  // namespace zentu::libs::config
