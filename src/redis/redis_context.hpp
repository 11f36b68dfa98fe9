#pragma once

#include <hiredis/hiredis.h>

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/exception.hpp"
#include "redis/reply.hpp"

namespace zentu::redis {

// The server could not be reached, or stopped answering: the connection is
// unusable (connection refused, time-out, reset, no reply).
class connection_error : public libs::core::exception {
public:
    using exception::exception;
};

// The server refused the password: an error reply to AUTH (WRONGPASS, or a
// password given to a server that has none), a status other than OK, or
// NOAUTH when no password was given to a server that requires one.
class authentication_error : public libs::core::exception {
public:
    using exception::exception;
};

struct context_deleter {
    void operator()(redisContext* context) const { redisFree(context); }
};

// One blocking connection to a Redis server. Every command waits for its
// reply on the calling thread; use from one thread only (no lock).
// Failures throw libs::core::exception; the constructor tells an unreachable
// server (connection_error) from a refused password (authentication_error), and
// a command whose reply never came throws connection_error. A connection that
// has broken stays broken (is_broken()); its owner has to create a new context.
class context {
public:
    using ptr = std::unique_ptr<context>;

    // Connects (1.5 s time-out), authenticates when password is not empty,
    // and selects the database.
    context(const std::string& host, int port, unsigned db_number, const std::string& password);
    virtual ~context() = default;

    context(const context&) = delete;
    context& operator=(const context&) = delete;

    // hiredis printf-like formatting: each %s, %d, %u... takes one argument
    // and becomes one whole Redis argument. std::string arguments are passed
    // as their C strings.
    template <typename... Args>
    reply execute_command(const std::string& format, const Args&... args) {
        char* command = nullptr;
        const int length = redisFormatCommand(&command, format.c_str(), c_argument(args)...);
        return execute_formatted(format, command, length);
    }

    // Each string is one argument, sent with its full length.
    reply execute_command_argv(const std::vector<std::string>& args);

    // Pipelining: commands are buffered and go out with the first read_reply;
    // each read_reply then takes the reply of the oldest command not yet read
    // (throwing like execute_command_argv on an error reply).
    void append_command_argv(const std::vector<std::string>& args);
    reply read_reply(const std::string& command_name);

    reply flush_db();
    reply get_set_members(const std::string& set);
    reply get_from_table(const std::string& table, const std::string& field);
    reply get_from_table(const std::string& table, const std::vector<std::string>& fields);
    reply set_to_table(const std::string& table, const std::string& field,
                       const std::string& value);
    reply set_to_table(const std::string& table,
                       const std::vector<std::pair<std::string, std::string>>& fields);
    reply increment_in_table(const std::string& table, const std::string& field,
                             std::int64_t value);
    reply delete_from_table(const std::string& table, const std::string& field);

    // True once the connection has failed (I/O error, server gone).
    bool is_broken() const;

private:
    static const char* c_argument(const std::string& value) { return value.c_str(); }
    template <typename T>
    static T c_argument(T value) {
        static_assert(std::is_arithmetic_v<T> || std::is_pointer_v<T>,
                      "only numbers and C strings can be formatted");
        return value;
    }

    // Takes ownership of command (from redisFormatCommand). The unchecked
    // form returns an error reply instead of throwing it.
    reply execute_formatted(const std::string& format, char* command, int length);
    reply execute_formatted_unchecked(const std::string& format, char* command, int length);
    template <typename... Args>
    reply execute_unchecked(const std::string& format, const Args&... args) {
        char* command = nullptr;
        const int length = redisFormatCommand(&command, format.c_str(), c_argument(args)...);
        return execute_formatted_unchecked(format, command, length);
    }
    reply wait_for_reply(const std::string& command_name);
    reply wait_for_any_reply(const std::string& command_name);
    void authenticate(const std::string& password);

    std::unique_ptr<redisContext, context_deleter> m_context_ptr;
};

}  // namespace zentu::redis
