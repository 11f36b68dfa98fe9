#include "redis/redis_context.hpp"

#include <signal.h>
#include <sys/time.h>

#include <cerrno>
#include <ctime>

#include "core/exception.hpp"

namespace zentu::redis {

namespace {

// hiredis writes with write(2): on a connection the server has reset that
// raises SIGPIPE, which would end the process. Blocks it on this thread for
// the duration of a command and discards one raised meanwhile; the write
// then fails with EPIPE and the command reports it.
class sigpipe_guard {
public:
    sigpipe_guard() {
        sigemptyset(&m_sigpipe);
        sigaddset(&m_sigpipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_was_pending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_sigpipe, &m_previous);
    }

    ~sigpipe_guard() {
        if (!m_was_pending) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                const timespec no_wait{0, 0};
                while (sigtimedwait(&m_sigpipe, nullptr, &no_wait) == -1 && errno == EINTR) {
                }
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }

    sigpipe_guard(const sigpipe_guard&) = delete;
    sigpipe_guard& operator=(const sigpipe_guard&) = delete;

private:
    sigset_t m_sigpipe;
    sigset_t m_previous;
    bool m_was_pending = false;
};

struct formatted_command_deleter {
    void operator()(char* command) const { redisFreeCommand(command); }
};

}  // namespace

context::context(const std::string& host, int port, unsigned db_number,
                 const std::string& password) {
    const timeval timeout{1, 500000};
    m_context_ptr.reset(redisConnectWithTimeout(host.c_str(), port, timeout));
    if (!m_context_ptr)
        throw connection_error("Connection error: can't allocate redis context",
                               ZENTU_SOURCE_LOCATION());
    if (m_context_ptr->err)
        throw connection_error(std::string("Connection error: ") + m_context_ptr->errstr,
                               ZENTU_SOURCE_LOCATION());
    // A server that accepts but stops answering must not block the events
    // loop forever: a command without a reply in time breaks the connection.
    redisSetTimeout(m_context_ptr.get(), timeout);

    if (!password.empty())
        authenticate(password);
    const reply selected = execute_unchecked("SELECT %u", db_number);
    if (selected.get_type() == reply_type::ERROR) {
        const std::string error = selected.to_string();
        const std::string text = "Command: SELECT %u, error: " + error;
        // The first command a password-protected server sees without AUTH.
        if (error.rfind("NOAUTH", 0) == 0)
            throw authentication_error(text, ZENTU_SOURCE_LOCATION());
        ZENTU_THROW(text);
    }
}

void context::authenticate(const std::string& password) {
    const reply auth = execute_unchecked("AUTH %s", password);
    if (auth.get_type() == reply_type::ERROR)
        throw authentication_error("Command: AUTH %s, error: " + auth.to_string(),
                                   ZENTU_SOURCE_LOCATION());
    if (auth.get_type() != reply_type::STATUS || auth.to_string() != "OK")
        throw authentication_error("AUTH failed", ZENTU_SOURCE_LOCATION());
}

reply context::execute_formatted(const std::string& format, char* command, int length) {
    reply result = execute_formatted_unchecked(format, command, length);
    if (result.get_type() == reply_type::ERROR)
        ZENTU_THROW("Command: " + format + ", error: " + result.to_string());
    return result;
}

reply context::execute_formatted_unchecked(const std::string& format, char* command, int length) {
    const std::unique_ptr<char, formatted_command_deleter> owned(command);
    if (length < 0 || !command)
        ZENTU_THROW("Command: " + format + ", error: invalid format");
    if (redisAppendFormattedCommand(m_context_ptr.get(), command, length) != REDIS_OK)
        ZENTU_THROW("Command: " + format + ", error: " + m_context_ptr->errstr);
    return wait_for_any_reply(format);
}

reply context::execute_command_argv(const std::vector<std::string>& args) {
    append_command_argv(args);
    return wait_for_reply(args.front());
}

reply context::read_reply(const std::string& command_name) {
    return wait_for_reply(command_name);
}

void context::append_command_argv(const std::vector<std::string>& args) {
    ZENTU_CHECK(!args.empty());
    std::vector<const char*> argv;
    std::vector<std::size_t> lengths;
    argv.reserve(args.size());
    lengths.reserve(args.size());
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
        lengths.push_back(arg.size());
    }
    if (redisAppendCommandArgv(m_context_ptr.get(), static_cast<int>(argv.size()), argv.data(),
                               lengths.data()) != REDIS_OK)
        ZENTU_THROW("Command: " + args.front() + ", error: " + m_context_ptr->errstr);
}

reply context::wait_for_reply(const std::string& command_name) {
    reply result = wait_for_any_reply(command_name);
    if (result.get_type() == reply_type::ERROR)
        ZENTU_THROW("Command: " + command_name + ", error: " + result.to_string());
    return result;
}

reply context::wait_for_any_reply(const std::string& command_name) {
    void* raw = nullptr;
    {
        const sigpipe_guard guard;
        if (redisGetReply(m_context_ptr.get(), &raw) != REDIS_OK || !raw) {
            // The connection is unusable from here on: hiredis keeps err set.
            throw connection_error(
                "Command: " + command_name + ", error: no reply (" + m_context_ptr->errstr + ")",
                ZENTU_SOURCE_LOCATION());
        }
    }
    return reply(static_cast<redisReply*>(raw));
}

reply context::flush_db() {
    return execute_command("FLUSHDB");
}

reply context::get_set_members(const std::string& set) {
    // Sent as arguments, so a '%' or a blank in the name is taken literally.
    return execute_command_argv({"SMEMBERS", set});
}

reply context::get_from_table(const std::string& table, const std::string& field) {
    return execute_command_argv({"HGET", table, field});
}

reply context::get_from_table(const std::string& table, const std::vector<std::string>& fields) {
    std::vector<std::string> args{"HMGET", table};
    args.insert(args.end(), fields.begin(), fields.end());
    return execute_command_argv(args);
}

reply context::set_to_table(const std::string& table, const std::string& field,
                            const std::string& value) {
    return execute_command_argv({"HSET", table, field, value});
}

reply context::set_to_table(const std::string& table,
                            const std::vector<std::pair<std::string, std::string>>& fields) {
    std::vector<std::string> args{"HMSET", table};
    for (const auto& [field, value] : fields) {
        args.push_back(field);
        args.push_back(value);
    }
    return execute_command_argv(args);
}

reply context::increment_in_table(const std::string& table, const std::string& field,
                                  std::int64_t value) {
    return execute_command_argv({"HINCRBY", table, field, std::to_string(value)});
}

reply context::delete_from_table(const std::string& table, const std::string& field) {
    return execute_command_argv({"HDEL", table, field});
}

bool context::is_broken() const {
    return m_context_ptr->err != 0;
}

}  // namespace zentu::redis
