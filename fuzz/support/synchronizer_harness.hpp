#pragma once

#include "answering_http_client.hpp"
#include "context_utils/context_synchronizer.hpp"
#include "core/events_loop.hpp"
#include "core/logger.hpp"

namespace zentu::fuzz {

// A synchroniser over a real events loop and the answering client, built once
// per fuzzing process. Single-threaded.
struct synchronizer_harness {
    libs::core::logger logger{"marovane", "fuzz"};
    libs::core::core::ptr core = libs::core::core::create(logger);
    libs::core::events_loop::ptr loop = core->create_events_loop("fuzz loop");
    answering_http_client http;
    libs::context_utils::context_synchronizer::ptr synchronizer =
        libs::context_utils::context_synchronizer::create(http, *loop, logger);
};

}  // namespace zentu::fuzz
