#pragma once

#include <json/value.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform-sim/common.hpp"

namespace zentu::platform_sim {

// What happened to one request of the platform API.
struct journal_entry {
    std::string method;
    std::string path;
    std::string body;
    unsigned status = 0;  // 0: no answer (connection closed)
    // "accepted", "rejected", "not_found", "served", "injected", "closed"
    std::string outcome;
    std::optional<std::string> reason;
};

// Every platform request, in arrival order, optionally appended to a JSON
// lines file. Thread safe.
class journal {
public:
    using ptr = std::unique_ptr<journal>;

    // An empty file name keeps the journal in memory only; throws request_error
    // when the file cannot be opened.
    static ptr create(const std::string& file_name, sim_log& log);
    virtual ~journal() = default;

    // Returns the entry's index (0, 1, ...).
    virtual std::uint64_t record(const journal_entry& entry) = 0;
    // {"requests": [entries with index >= since], "next": <next index>}
    virtual Json::Value since(std::uint64_t index) const = 0;
    virtual std::uint64_t size() const = 0;
};

}  // namespace zentu::platform_sim
