#pragma once

#include <array>
#include <atomic>
#include <boost/system/error_code.hpp>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/exception.hpp"
#include "core/scope_guard.hpp"
#include "core/source_location.hpp"
#include "core/timestamp.hpp"

namespace zentu::libs::core {

class logger;

// A named handle on the process logger. Thread safe: lines may be written
// from any thread; the indent depth is shared by all threads using the handle.
// Every "%N%" argument, exception texts of log_exception included, is escaped
// into one line (append_escaped) and cut at log_argument_limit bytes.
class component_logger {
public:
    using ptr = std::unique_ptr<component_logger>;
    using indent_guard = std::unique_ptr<detail::scope_guard>;

    // Builds one line as its arguments come; the line is written on
    // destruction. The text is made once, into the buffer that is handed to
    // the log stream: the template is walked along with the arguments, each
    // argument escaped straight into place.
    class formatter {
    public:
        formatter(const component_logger& logger, int log_level, std::string_view fmt);
        // The moved-from formatter writes nothing.
        formatter(formatter&& other) noexcept;
        formatter(const formatter&) = delete;
        ~formatter();

        // Fills the next "%N%" of the template; streamed like std::ostream does.
        template <typename T>
        formatter& operator%(const T& value) {
            if constexpr (std::is_convertible_v<const T&, std::string_view>) {
                add_argument(std::string_view(value));
            } else if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                 !std::is_same_v<T, char> && !std::is_same_v<T, signed char> &&
                                 !std::is_same_v<T, unsigned char>) {
                char digits[24];
                const auto end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
                add_argument(std::string_view(digits, static_cast<std::size_t>(end - digits)));
            } else {
                std::ostringstream text;
                text << value;
                add_argument(std::move(text).str());
            }
            return *this;
        }
        formatter& location(const source_location& loc);
        formatter& function(const source_location& loc) {
            set_function(loc.function());
            return *this;
        }
        formatter& short_function(const source_location& loc) {
            set_function(loc.short_function());
            return *this;
        }
        formatter& date_time(const timestamp& ts) {
            m_timestamp = ts;
            return *this;
        }

    private:
        // Arguments are escaped and bounded (core/log_text.hpp); the
        // template, a literal, is written as is: "%N%" is the N-th argument
        // (nothing when it is missing), "%%" is "%".
        void add_argument(std::string_view value);
        void set_function(std::string_view function);
        // Replaces the part at `at` of `size` bytes of the line's head.
        void set_part(std::size_t at, std::size_t& size, std::string_view text);
        void finish_message();

        // Where a placeholder of the template starts and where the text after it does.
        struct slot {
            std::uint32_t begin = 0;
            std::uint32_t end = 0;
        };
        static constexpr std::size_t max_slots = 8;

        const component_logger& m_logger;
        int m_log_level;
        std::string_view m_format;
        // The socket's line: prefix, date, indent, body. The syslog text is
        // its tail: from the date in debug mode, else the body.
        std::string m_line;
        std::size_t m_date_at = 0;
        std::size_t m_body_at = 0;
        std::size_t m_location_size = 0;
        std::size_t m_function_size = 0;
        // Where the template is read on; the placeholders of an ordered
        // template ("%1%" ... "%N%" in turn, each once, no other "%", N at
        // most max_slots) are filled as the arguments come. Others keep
        // their arguments until the end.
        std::size_t m_cursor = 0;
        std::size_t m_placeholders = 0;
        std::array<slot, max_slots> m_slots;
        std::size_t m_arguments = 0;
        bool m_ordered = true;
        std::vector<std::string> m_kept;
        std::optional<timestamp> m_timestamp;
        bool m_active = true;
    };

    component_logger(const logger& root, const std::string& module_name,
                     const std::string& component_name);
    virtual ~component_logger() = default;
    component_logger(const component_logger&) = delete;
    component_logger& operator=(const component_logger&) = delete;

    ptr component(const std::string& name) const;

    formatter debug(std::string_view fmt) const { return formatter(*this, 7, fmt); }
    formatter info(std::string_view fmt) const { return formatter(*this, 6, fmt); }
    formatter warning(std::string_view fmt) const { return formatter(*this, 4, fmt); }
    formatter error(std::string_view fmt) const { return formatter(*this, 3, fmt); }

    // Must be called inside an exception handler.
    void log_exception() const;
    void log_exception(const source_location& loc) const;
    void log_exception(const located_exception& e) const;
    void log_error(const boost::system::error_code& ec, const source_location& loc) const;

    indent_guard enter_scope(std::string_view name) const;
    indent_guard enter_scope(const source_location& loc) const;
    indent_guard enter_scope(const source_location& loc, std::string_view name) const;
    indent_guard enter_function(const source_location& loc) const;
    indent_guard enter_function_short(const source_location& loc, std::string_view name) const;

    // Calls f; an exception is logged and reported as false.
    template <typename F>
    bool execute(F&& f) const {
        try {
            f();
            return true;
        } catch (...) {
            log_exception();
            return false;
        }
    }

    const logger& root() const noexcept { return m_logger; }
    int indent() const noexcept { return m_indent.load(); }

private:
    friend class formatter;
    indent_guard increase_indent() const;

    mutable std::atomic<int> m_indent{0};
    const logger& m_logger;
    std::string m_module_name;
    std::string m_zmq_prefix;
};

// The process-wide root logger: syslog (facility LOG_USER) plus a copy of
// every line on a ZeroMQ PUSH socket, the log stream. Thread safe.
//
// The log stream delivers the last lines, such as the reason a start-up
// failed, to a reader that is connected: the destructor waits for the
// connection's handshake, at most the linger time in all.
class logger : public component_logger {
public:
    static constexpr std::chrono::milliseconds linger{5000};

    // Lines of the log stream that never reached its socket since start.
    struct stream_losses {
        // The queue to the log stream's thread was full.
        std::uint64_t queue_full = 0;
        // The socket would have blocked: nobody connected yet, or a reader
        // slower than the lines (ZeroMQ's own queue full).
        std::uint64_t refused = 0;
    };

    // Throws zmq::error_t when ZeroMQ cannot make the log stream socket.
    logger(const std::string& module_name, const std::string& component_name);
    ~logger() override;

    // Points the log stream socket at a ZeroMQ endpoint; throws zmq::error_t
    // (<zmq.hpp>) for an endpoint ZeroMQ refuses.
    void connect(const std::string& address);
    void set_debug(bool debug);
    bool is_debug() const noexcept { return m_debug.load(); }
    bool is_writing_to_socket() const noexcept { return m_writing_to_socket.load(); }
    void set_writing_to_socket(bool value) noexcept { m_writing_to_socket.store(value); }
    bool is_logger_enabled() const noexcept { return m_enable_logger; }
    stream_losses log_stream_losses() const;
    // Returns once the lines written before have been offered to the log
    // stream's socket (they are sent by a thread of their own).
    void flush_log_stream() const;

private:
    friend class component_logger::formatter;
    class log_stream;

    // line: as formatter keeps it; syslog gets its tail from date_at in
    // debug mode, from body_at otherwise.
    void write(int level, std::string&& line, std::size_t date_at, std::size_t body_at) const;
    // Whether the system log socket exists, looked at again after the time.
    bool syslog_reachable() const;

    std::string m_module_name;
    std::atomic<bool> m_debug{false};
    mutable std::atomic<bool> m_syslog_reachable{true};
    mutable std::atomic<std::int64_t> m_next_syslog_check{0};
    std::atomic<bool> m_writing_to_socket{true};
    bool m_enable_logger = true;
    const std::unique_ptr<log_stream> m_stream;
};

}  // namespace zentu::libs::core
