#pragma once

namespace zentu::libs::config {

// Document formats understood by config::create.
enum class type { json = 0 };

}  // namespace zentu::libs::config
