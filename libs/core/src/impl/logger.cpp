#include "core/logger.hpp"

#include <paths.h>
#include <unistd.h>

#include <syslog.h>

#include <cstdio>
#include <ctime>

#include "core/log_text.hpp"
#include "logger_log_stream.hpp"

namespace zentu::libs::core {
namespace {

std::string date_prefix(const timestamp& ts) {
    // Lines come in bursts within one second: its text is made once.
    thread_local std::time_t cached_seconds = -1;
    thread_local char cached[64];
    thread_local std::size_t cached_size = 0;
    const std::time_t seconds = ts.get_ts();
    if (seconds != cached_seconds) {
        std::tm tm{};
        gmtime_r(&seconds, &tm);
        cached_size = std::strftime(cached, sizeof(cached), "%Y-%m-%d %H:%M:%S", &tm);
        cached_seconds = seconds;
    }
    const unsigned ms = ts.get_ms();
    const char fraction[] = {'.', static_cast<char>('0' + ms / 100 % 10),
                             static_cast<char>('0' + ms / 10 % 10),
                             static_cast<char>('0' + ms % 10), ' '};
    std::string out;
    out.reserve(cached_size + sizeof(fraction));
    out.append(cached, cached_size).append(fraction, sizeof(fraction));
    return out;
}

std::string indent_text(int depth) {
    if (depth <= 0)
        return {};
    return std::string(static_cast<std::size_t>(depth) * 4, ' ') + "| ";
}

}  // namespace

// ---- formatter -------------------------------------------------------------

// Templates are literals that outlive the line: only the view is kept.
component_logger::formatter::formatter(const component_logger& logger, int log_level,
                                       std::string_view fmt)
    : m_format(fmt), m_log_level(log_level), m_logger(logger) {}

component_logger::formatter::formatter(formatter&& other) noexcept
    : m_format(other.m_format),
      m_args(std::move(other.m_args)),
      m_log_level(other.m_log_level),
      m_logger(other.m_logger),
      m_source_location(other.m_source_location),
      m_function(other.m_function),
      m_timestamp(other.m_timestamp) {
    other.m_active = false;
}

std::string component_logger::formatter::text() const {
    std::string out;
    out.reserve(m_format.size() + 64);
    for (std::size_t i = 0; i < m_format.size(); ++i) {
        const char c = m_format[i];
        if (c != '%' || i + 1 == m_format.size()) {
            out += c;
            continue;
        }
        if (m_format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // "%N%": a miscounted argument list must not fail the caller.
        std::size_t end = i + 1;
        std::size_t n = 0;
        while (end < m_format.size() && m_format[end] >= '0' && m_format[end] <= '9')
            n = n * 10 + static_cast<std::size_t>(m_format[end++] - '0');
        if (end == i + 1 || end == m_format.size() || m_format[end] != '%') {
            out += c;
            continue;
        }
        if (n >= 1 && n <= m_args.size()) {
            // Arguments may come from the platform or the network: they are
            // escaped so that no text can end this line or forge another.
            const std::string& arg = m_args[n - 1];
            if (arg.size() <= log_argument_limit)
                append_escaped(out, arg);
            else
                append_escaped(out, log_excerpt(arg, log_argument_limit));
        }
        i = end;
    }
    return out;
}

component_logger::formatter::~formatter() {
    if (!m_active)
        return;
    // Writing a line must never throw out of a destructor.
    try {
        const timestamp ts = m_timestamp ? *m_timestamp : timestamp::current_time();
        std::string body;
        if (m_source_location) {
            body += std::string(m_source_location->short_file());
            body += ':';
            body += std::to_string(m_source_location->line());
            body += ' ';
        }
        if (!m_function.empty()) {
            body += std::string(m_function);
            body += ": ";
        }
        body += text();

        const logger& root = m_logger.m_logger;
        const std::string prefix = date_prefix(ts) + indent_text(m_logger.m_indent.load());
        const std::string syslog_text = root.is_debug() ? prefix + body : body;
        const std::string socket_text =
            root.is_writing_to_socket() ? m_logger.m_zmq_prefix + prefix + body : std::string();
        root.write(m_log_level, syslog_text, socket_text);
    } catch (...) {
    }
}

// ---- component_logger ------------------------------------------------------

component_logger::component_logger(const logger& root, const std::string& module_name,
                                   const std::string& component_name)
    : m_logger(root),
      m_module_name(module_name),
      m_zmq_prefix("&" + module_name + ":" + component_name + " ") {}

component_logger::ptr component_logger::component(const std::string& name) const {
    return std::make_unique<component_logger>(m_logger, m_module_name, name);
}

void component_logger::log_exception() const {
    if (!m_logger.is_logger_enabled())
        return;
    error("%1%") % exception_to_string();
}

void component_logger::log_exception(const source_location& loc) const {
    error("Caught exeption").location(loc);
    log_exception();
}

void component_logger::log_exception(const located_exception& e) const {
    if (!m_logger.is_logger_enabled())
        return;
    error("%1%") % exception_to_string(e);
}

void component_logger::log_error(const boost::system::error_code& ec,
                                 const source_location& loc) const {
    if (!m_logger.is_logger_enabled())
        return;
    error("%1%:%2%: %3%") % loc.short_file() % loc.line() % ec.message();
}

component_logger::indent_guard component_logger::increase_indent() const {
    ++m_indent;
    return execute_on_scope_exit([this] { --m_indent; });
}

component_logger::indent_guard component_logger::enter_scope(std::string_view name) const {
    debug("%1%") % name;
    return increase_indent();
}

component_logger::indent_guard component_logger::enter_scope(const source_location& loc) const {
    debug("%1%:%2%") % loc.short_file() % loc.line();
    return increase_indent();
}

component_logger::indent_guard component_logger::enter_scope(const source_location& loc,
                                                             std::string_view name) const {
    debug("%1%:%2% (%3%)") % loc.short_file() % loc.line() % name;
    return increase_indent();
}

component_logger::indent_guard component_logger::enter_function(const source_location& loc) const {
    debug("%1%") % loc.function();
    return increase_indent();
}

component_logger::indent_guard component_logger::enter_function_short(const source_location& loc,
                                                                      std::string_view name) const {
    debug("%1%: %2%") % loc.short_function() % name;
    return increase_indent();
}

// ---- logger ----------------------------------------------------------------

logger::logger(const std::string& module_name, const std::string& component_name)
    : component_logger(*this, module_name, component_name),
      m_module_name(module_name),
      m_stream(std::make_unique<log_stream>(linger, this)) {
    openlog(m_module_name.c_str(), 0, LOG_USER);
    set_debug(false);
    info("Starting %1%") % m_module_name;
}

logger::~logger() {
    closelog();
    // m_stream closes after this body: the last lines get their chance to leave.
}

void logger::connect(const std::string& address) {
    m_stream->connect(address);
    debug("Connected to socket");
}

void logger::set_debug(bool debug) {
    closelog();
    openlog(m_module_name.c_str(), debug ? LOG_PERROR : 0, LOG_USER);
    setlogmask(debug ? 0xFF : 0x7F);
    m_debug.store(debug);
}

// Without a system log socket every syslog() call opens, fails to connect and
// closes a socket (three system calls a line). Where there is none, lines go
// to the log stream only, and the socket is looked for again every second.
// In debug mode syslog() also copies lines to standard error, so it is called.
bool logger::syslog_reachable() const {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    if (now < m_next_syslog_check.load(std::memory_order_relaxed))
        return m_syslog_reachable.load(std::memory_order_relaxed);
    m_next_syslog_check.store(now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::seconds(1))
                                        .count(),
                              std::memory_order_relaxed);
    const bool reachable = ::access(_PATH_LOG, F_OK) == 0;
    m_syslog_reachable.store(reachable, std::memory_order_relaxed);
    return reachable;
}

void logger::write(int level, const std::string& syslog_text,
                   const std::string& socket_text) const {
    if (m_debug.load() || syslog_reachable())
        syslog(level, "%s", syslog_text.c_str());
    if (socket_text.empty())
        return;
    m_stream->send(socket_text);
}

}  // namespace zentu::libs::core
