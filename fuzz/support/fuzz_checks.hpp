#pragma once

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "core/exception.hpp"
#include "core/timestamp.hpp"

// A broken invariant is a finding: print it and abort so that libFuzzer keeps
// the input.
#define FUZZ_ASSERT(condition)                                                           \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition, __FILE__, \
                         __LINE__);                                                      \
            std::abort();                                                                \
        }                                                                                \
    } while (false)

namespace zentu::fuzz {

// Runs f. The project's own errors (a plain std::logic_error from a record
// view, a core::exception) are the expected answer to bad input; anything
// else, such as the JSON library's exceptions or std::out_of_range, leaves
// the target and libFuzzer reports it. True when f returned normally.
template <typename F>
bool project_errors_only(F&& f) {
    try {
        f();
        return true;
    } catch (const libs::core::exception&) {
        return false;
    } catch (const std::logic_error& e) {
        if (typeid(e) != typeid(std::logic_error))
            throw;
        return false;
    }
}

// A time handed out by any reader is within the checked bounds and survives
// both text forms unchanged.
inline void check_time(const libs::core::timestamp& time) {
    using libs::core::timestamp;
    const auto ms = time.get_time_since_epoch().count();
    FUZZ_ASSERT(ms >= 0 && ms <= timestamp::max_seconds * 1000 + 999);
    FUZZ_ASSERT(timestamp::deserialize(time.serialize()) == time);
    FUZZ_ASSERT(timestamp::try_parse(time.to_iso_8601_string()) == time);
}

}  // namespace zentu::fuzz
