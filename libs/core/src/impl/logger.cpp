#include "core/logger.hpp"

#include <paths.h>
#include <unistd.h>

#include <syslog.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/log_text.hpp"
#include "logger_log_stream.hpp"

namespace zentu::libs::core {
namespace {

// "2024-03-05 07:08:09.042 ": the date of every socket line.
constexpr std::size_t date_size = 24;

// Writes the date text of ts into out (64 bytes); returns its size. Lines
// come in bursts within one second: the text of the second is made once.
std::size_t format_date(char* out, const timestamp& ts) {
    thread_local std::time_t cached_seconds = -1;
    thread_local char cached[48];
    thread_local std::size_t cached_size = 0;
    const std::time_t seconds = ts.get_ts();
    if (seconds != cached_seconds) {
        std::tm tm{};
        gmtime_r(&seconds, &tm);
        cached_size = std::strftime(cached, sizeof(cached), "%Y-%m-%d %H:%M:%S", &tm);
        cached_seconds = seconds;
    }
    const unsigned ms = ts.get_ms();
    std::memcpy(out, cached, cached_size);
    char* fraction = out + cached_size;
    fraction[0] = '.';
    fraction[1] = static_cast<char>('0' + ms / 100 % 10);
    fraction[2] = static_cast<char>('0' + ms / 10 % 10);
    fraction[3] = static_cast<char>('0' + ms % 10);
    fraction[4] = ' ';
    return cached_size + 5;
}

// The number of a placeholder "%N%" that starts at text[at] (a '%'), and the
// position after it; 0 when the text there is no placeholder.
std::size_t placeholder_at(std::string_view text, std::size_t at, std::size_t& after) {
    std::size_t end = at + 1;
    std::size_t n = 0;
    // A number past any argument count stays past it, without overflowing.
    for (; end < text.size() && text[end] >= '0' && text[end] <= '9'; ++end)
        n = n < 1000000 ? n * 10 + static_cast<std::size_t>(text[end] - '0') : n;
    if (end == at + 1 || end == text.size() || text[end] != '%')
        return 0;
    after = end + 1;
    return n;
}

// Whether every '%' of the template belongs to "%1%", "%2%", ... in this
// order, each once, at most `room` of them; where they are, and how many.
template <typename Slot>
bool is_ordered(std::string_view text, Slot* slots, std::size_t room, std::size_t& placeholders) {
    placeholders = 0;
    std::size_t at = text.find('%');
    while (at != std::string_view::npos) {
        std::size_t after = 0;
        if (placeholders == room || placeholder_at(text, at, after) != placeholders + 1 ||
            after > UINT32_MAX)
            return false;
        slots[placeholders].begin = static_cast<std::uint32_t>(at);
        slots[placeholders].end = static_cast<std::uint32_t>(after);
        ++placeholders;
        at = text.find('%', after);
    }
    return true;
}

// Arguments may come from the platform or the network: they are escaped so
// that no text can end this line or forge another.
void append_argument(std::string& out, std::string_view arg) {
    if (arg.size() <= log_argument_limit)
        append_escaped(out, arg);
    else
        append_escaped(out, log_excerpt(arg, log_argument_limit));
}

}  // namespace

// ---- formatter -------------------------------------------------------------

// Templates are literals that outlive the line: only the view is kept.
component_logger::formatter::formatter(const component_logger& logger, int log_level,
                                       std::string_view fmt)
    : m_logger(logger), m_log_level(log_level), m_format(fmt) {
    const std::string& prefix = logger.m_zmq_prefix;
    const int depth = logger.m_indent.load();
    const std::size_t indent = depth > 0 ? static_cast<std::size_t>(depth) * 4 + 2 : 0;
    m_line.reserve(prefix.size() + date_size + indent + fmt.size() + 128);
    m_line.append(prefix);
    m_date_at = m_line.size();
    // Filled when the line is written: its time is that of the writing.
    m_line.append(date_size, ' ');
    if (indent > 0)
        m_line.append(indent - 2, ' ').append("| ");
    m_body_at = m_line.size();
    m_ordered = is_ordered(fmt, m_slots.data(), max_slots, m_placeholders);
}

component_logger::formatter::formatter(formatter&& other) noexcept
    : m_logger(other.m_logger),
      m_log_level(other.m_log_level),
      m_format(other.m_format),
      m_line(std::move(other.m_line)),
      m_date_at(other.m_date_at),
      m_body_at(other.m_body_at),
      m_location_size(other.m_location_size),
      m_function_size(other.m_function_size),
      m_cursor(other.m_cursor),
      m_placeholders(other.m_placeholders),
      m_slots(other.m_slots),
      m_arguments(other.m_arguments),
      m_ordered(other.m_ordered),
      m_kept(std::move(other.m_kept)),
      m_timestamp(other.m_timestamp),
      m_active(other.m_active) {
    other.m_active = false;
}

void component_logger::formatter::set_part(std::size_t at, std::size_t& size,
                                           std::string_view text) {
    // Nearly always the line ends here and this appends.
    m_line.replace(at, size, text);
    size = text.size();
}

component_logger::formatter& component_logger::formatter::location(const source_location& loc) {
    const std::string_view file = loc.short_file();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof(digits), loc.line()).ptr;
    std::string text;
    text.reserve(file.size() + 24);
    text.append(file).append(1, ':').append(digits, end).append(1, ' ');
    set_part(m_body_at, m_location_size, text);
    return *this;
}

void component_logger::formatter::set_function(std::string_view function) {
    // Written as "function: " when there is one.
    if (function.empty()) {
        set_part(m_body_at + m_location_size, m_function_size, {});
        return;
    }
    std::string text;
    text.reserve(function.size() + 2);
    text.append(function).append(": ");
    set_part(m_body_at + m_location_size, m_function_size, text);
}

void component_logger::formatter::add_argument(std::string_view value) {
    ++m_arguments;
    if (!m_ordered) {
        m_kept.emplace_back(value);
        return;
    }
    // A miscounted argument list must not fail the caller: extra ones are left out.
    if (m_arguments > m_placeholders)
        return;
    const slot& next = m_slots[m_arguments - 1];
    m_line.append(m_format.data() + m_cursor, next.begin - m_cursor);
    m_cursor = next.end;
    append_argument(m_line, value);
}

void component_logger::formatter::finish_message() {
    if (m_ordered) {
        // Placeholders left without an argument give nothing.
        for (std::size_t k = m_arguments; k < m_placeholders; ++k) {
            m_line.append(m_format.data() + m_cursor, m_slots[k].begin - m_cursor);
            m_cursor = m_slots[k].end;
        }
        m_line.append(m_format.data() + m_cursor, m_format.size() - m_cursor);
        return;
    }
    for (std::size_t i = 0; i < m_format.size(); ++i) {
        const char c = m_format[i];
        if (c != '%' || i + 1 == m_format.size()) {
            m_line += c;
            continue;
        }
        if (m_format[i + 1] == '%') {
            m_line += '%';
            ++i;
            continue;
        }
        std::size_t after = 0;
        const std::size_t n = placeholder_at(m_format, i, after);
        if (after == 0) {
            m_line += c;
            continue;
        }
        if (n >= 1 && n <= m_kept.size())
            append_argument(m_line, m_kept[n - 1]);
        i = after - 1;
    }
}

component_logger::formatter::~formatter() {
    if (!m_active)
        return;
    // Writing a line must never throw out of a destructor.
    try {
        finish_message();
        const timestamp ts = m_timestamp ? *m_timestamp : timestamp::current_time();
        char date[64];
        const std::size_t size = format_date(date, ts);
        // Years of four digits fill the place exactly; others move the rest.
        m_line.replace(m_date_at, date_size, date, size);
        m_body_at = m_body_at - date_size + size;
        m_logger.m_logger.write(m_log_level, std::move(m_line), m_date_at, m_body_at);
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

void logger::write(int level, std::string&& line, std::size_t date_at, std::size_t body_at) const {
    const bool debug = m_debug.load();
    // Below LOG_INFO the mask that set_debug sets keeps a line out of syslog.
    if ((debug || level <= LOG_INFO) && (debug || syslog_reachable()))
        syslog(level, "%s", line.c_str() + (debug ? date_at : body_at));
    if (!m_writing_to_socket.load())
        return;
    m_stream->send(std::move(line));
}

logger::stream_losses logger::log_stream_losses() const {
    return m_stream->losses();
}

void logger::flush_log_stream() const {
    m_stream->flush();
}

}  // namespace zentu::libs::core
