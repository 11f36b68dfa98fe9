#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zentu::libs::core {

// Texts from outside the process (the platform's uids, names, actions and
// response bodies, error texts of the network and of libraries) as they are
// written into a log line. The logger escapes every argument of a line with
// append_escaped; call sites that log a body cut it with log_excerpt first.

// The longest part of a body that log_excerpt keeps: enough to recognise an
// error page or a JSON error, short enough that a platform failing every
// second does not fill the journal.
inline constexpr std::size_t log_excerpt_limit = 512;

// The longest argument the logger writes whole; a longer one is cut as
// log_excerpt does. A bound for the lines whose call site cuts nothing.
inline constexpr std::size_t log_argument_limit = 4096;

// Appends text so that it stays inside one line and reads the same in syslog,
// journald and a terminal: "\n", "\r" and "\t" for those bytes, "\xHH" for
// every other control (below 0x20, DEL, the C1 controls U+0080..U+009F) and
// for every byte that is not part of well-formed UTF-8 (journald would store
// the whole line as binary). Everything else is copied, backslashes too: a
// JSON body stays readable, and no byte of the text can start another line.
void append_escaped(std::string& out, std::string_view text);
std::string escaped(std::string_view text);

// text when it has at most limit bytes; otherwise its first limit bytes, cut
// back to a character boundary, and "... (N more bytes)" with the number of
// bytes left out. Not escaped: the logger does that.
std::string log_excerpt(std::string_view text, std::size_t limit = log_excerpt_limit);

}  // namespace zentu::libs::core
