#include "service/config.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "config/config.hpp"
#include "core/exception.hpp"
#include "service/config_values.hpp"

namespace zentu {
namespace {

using document = libs::config::config;
using path = std::vector<std::string>;

const std::string parse_prefix = "Cannot parse json: ";

std::string joined(const path& keys) {
    std::string text;
    for (const auto& key : keys)
        text += (text.empty() ? "" : ".") + key;
    return text;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A file's contents, or why there are none.
struct file_text {
    std::string text;
    std::string problem;
};

file_text read_file(const std::string& file_name) {
    const auto unreadable = [](int error) {
        return file_text{{}, std::string("cannot read: ") + std::strerror(error)};
    };
    struct fd_closer {
        void operator()(const int* fd) const {
            ::close(*fd);
            delete fd;
        }
    };
    const int raw = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
    if (raw < 0)
        return unreadable(errno);
    const std::unique_ptr<int, fd_closer> fd(new int(raw));
    file_text result;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(*fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return unreadable(errno);
        if (n == 0)
            break;
        result.text.append(buffer, static_cast<std::size_t>(n));
    }
    if (result.text.find_first_not_of(" \t\r\n") == std::string::npos)
        result.problem = "the file is empty";
    return result;
}

// The reader's error text on one line, without its prefix.
std::string syntax_problem(const std::runtime_error& error) {
    std::string text = error.what();
    if (text.rfind(parse_prefix, 0) == 0)
        text.erase(0, parse_prefix.size());
    std::string line;
    bool blank = false;
    for (const char c : text) {
        const bool is_blank = c == '\n' || c == ' ';
        if (is_blank && !line.empty() && !blank)
            line += ' ';
        if (!is_blank)
            line += c;
        blank = is_blank;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

// Parses the file or says why it cannot: "cannot read: ...", "the file is
// empty" or the reader's syntax error.
std::unique_ptr<document> parse_file(const std::string& file_name, std::string& problem) {
    file_text file = read_file(file_name);
    if (!file.problem.empty()) {
        problem = file.problem;
        return nullptr;
    }
    try {
        std::istringstream stream(file.text);
        return document::create<libs::config::type::json>(stream);
    } catch (const std::runtime_error& e) {
        problem = syntax_problem(e);
        return nullptr;
    }
}

// Why the field at keys could not be read as `expected`: the first member on
// the way that is missing or not an object, or the field's own JSON kind.
std::string field_problem(const document& doc, const path& keys, const std::string& expected) {
    const libs::config::dictionary* current = &doc.get_root();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const path prefix(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        const auto found = current->get_value(keys[i]);
        if (!found)
            return joined(prefix) + ": missing";
        const bool last = i + 1 == keys.size();
        if (last)
            return joined(prefix) + ": expected " + expected + ", found " +
                   libs::config::json_kind(*found);
        const auto object = found->as_object();
        if (!object)
            return joined(prefix) + ": expected an object, found " +
                   libs::config::json_kind(*found);
        current = &*object;
    }
    return joined(keys) + ": missing";
}

bool is_present(const document& doc, const path& keys) {
    return field_problem(doc, keys, "").find(": missing") == std::string::npos;
}

template <typename T>
libs::config::result<T> read_field(const document& doc, const path& keys,
                                   std::vector<std::string>& problems) {
    libs::config::result<T> result =
        keys.size() == 1 ? doc.get_by_path<T>({keys[0]}) : doc.get_by_path<T>({keys[0], keys[1]});
    if (!result.ok())
        problems.push_back(field_problem(doc, keys, libs::config::expected_json_kind<T>()));
    return result;
}

void add_unique(std::vector<std::string>& lines, const std::string& line) {
    if (std::find(lines.begin(), lines.end(), line) == lines.end())
        lines.push_back(line);
}

}  // namespace

config::config(std::istream& stream) {
    const auto doc = document::create<libs::config::type::json>(stream);
    std::vector<std::string> problems;
    const std::string invalid = read(*doc, problems);
    if (!invalid.empty())
        ZENTU_THROW("Config file is invalid: " + invalid);
}

config config::from_file(const std::string& path) {
    std::string problem;
    const auto doc = parse_file(path, problem);
    if (!doc)
        throw std::runtime_error(parse_prefix + path + ": " + problem);
    config result;
    std::vector<std::string> problems;
    const std::string invalid = result.read(*doc, problems);
    if (!invalid.empty())
        ZENTU_THROW("Config file is invalid: " + invalid);
    return result;
}

std::vector<std::string> config::check_file(const std::string& path) {
    std::string problem;
    const auto doc = parse_file(path, problem);
    if (!doc)
        return {problem};
    config checked;
    std::vector<std::string> problems;
    checked.read(*doc, problems);
    for (const auto& warning : checked.warnings)
        add_unique(problems, warning);
    return problems;
}

std::string config::read(const libs::config::config& doc, std::vector<std::string>& problems) {
    std::vector<std::string> found;
    const auto pidfile = read_field<std::string>(doc, {"system", "pidfile"}, found);
    const auto debug_port = read_field<std::string>(doc, {"system", "debug_port"}, found);
    const auto local_debug = read_field<bool>(doc, {"system", "local_debug"}, found);
    const auto proxy_address = read_field<std::string>(doc, {"proxy", "address"}, found);
    const auto proxy_port = read_field<int>(doc, {"proxy", "output_port"}, found);
    const auto server_protocol = read_field<std::string>(doc, {"server", "protocol"}, found);
    const auto server_address = read_field<std::string>(doc, {"server", "address"}, found);
    const auto server_timeout_field = read_field<int>(doc, {"server", "timeout"}, found);
    const auto redis_host_field = read_field<std::string>(doc, {"redis", "host"}, found);
    const auto redis_port_field = read_field<int>(doc, {"redis", "port"}, found);
    const auto redis_password_field = read_field<std::string>(doc, {"redis", "password"}, found);
    for (const auto& line : found)
        add_unique(problems, line);

    // Optional: anything but a boolean there keeps the default.
    const auto modify_state = doc.get_by_path<bool>({"debug", "modify_server_state"});
    modify_server_state = modify_state.try_get().value_or(true);
    if (!modify_state.ok() && is_present(doc, {"debug", "modify_server_state"}))
        warnings.push_back(field_problem(doc, {"debug", "modify_server_state"}, "a boolean") +
                           "; true is used");

    const auto all = pidfile + debug_port + local_debug + proxy_address + proxy_port +
                     server_protocol + server_address + server_timeout_field + redis_host_field +
                     redis_port_field + redis_password_field;
    std::string invalid = all.reason();
    const auto add_invalid = [&](const std::string& reason, const std::string& problem) {
        invalid += (invalid.empty() ? "" : "\n") + reason;
        add_unique(problems, problem);
    };

    const path period_path{"system", "rebuild_period"};
    if (is_present(doc, period_path)) {
        const auto period = doc.get_by_path<int>({"system", "rebuild_period"});
        if (!period.ok()) {
            add_invalid(period.reason(), field_problem(doc, period_path, "an integer"));
        } else if (period.value() < 1) {
            const std::string text = "system.rebuild_period: must be at least 1 (seconds), found " +
                                     std::to_string(period.value());
            add_invalid(text, text);
        } else {
            system.rebuild_period = std::chrono::seconds(period.value());
        }
    }

    const path startup_wait_path{"redis", "startup_wait"};
    if (is_present(doc, startup_wait_path)) {
        const auto wait = doc.get_by_path<int>({"redis", "startup_wait"});
        if (!wait.ok()) {
            add_invalid(wait.reason(), field_problem(doc, startup_wait_path, "an integer"));
        } else if (wait.value() < 0) {
            const std::string text = "redis.startup_wait: must be at least 0 (seconds), found " +
                                     std::to_string(wait.value());
            add_invalid(text, text);
        } else {
            redis_startup_wait = std::chrono::seconds(wait.value());
        }
    }

    const path listen_path{"metrics", "listen"};
    if (is_present(doc, listen_path)) {
        const auto listen = doc.get_by_path<std::string>({"metrics", "listen"});
        if (!listen.ok()) {
            add_invalid(listen.reason(), field_problem(doc, listen_path, "a string"));
        } else if (const auto problem =
                       config_values::host_port_problem(listen.value(), true, true);
                   !problem.empty()) {
            const std::string text =
                "metrics.listen: " + problem + ", found " + quoted(listen.value());
            add_invalid(text, text);
        } else {
            metrics.listen = listen.value();
        }
    }

    const path undelivered_path{"metrics", "undelivered_after"};
    if (is_present(doc, undelivered_path)) {
        const auto bound = doc.get_by_path<int>({"metrics", "undelivered_after"});
        if (!bound.ok()) {
            add_invalid(bound.reason(), field_problem(doc, undelivered_path, "an integer"));
        } else if (bound.value() < 1) {
            const std::string text =
                "metrics.undelivered_after: must be at least 1 (seconds), found " +
                std::to_string(bound.value());
            add_invalid(text, text);
        } else {
            metrics.undelivered_after = std::chrono::seconds(bound.value());
        }
    }

    const path ca_file_path{"server", "ca_file"};
    if (is_present(doc, ca_file_path)) {
        const auto ca_file = doc.get_by_path<std::string>({"server", "ca_file"});
        if (!ca_file.ok()) {
            add_invalid(ca_file.reason(), field_problem(doc, ca_file_path, "a string"));
        } else if (ca_file.value().empty()) {
            const std::string text =
                "server.ca_file: a file name is required (without the field the system's "
                "trust store is used)";
            add_invalid(text, text);
        } else {
            server_ca_file = ca_file.value();
        }
    }

    const auto warn = [&](const char* field, const std::string& problem, const std::string& value) {
        if (!problem.empty())
            warnings.push_back(std::string(field) + ": " + problem + ", found " + value);
    };
    if (const auto value = pidfile.try_get())
        warn("system.pidfile", value->empty() ? "a file name is required" : "", quoted(*value));
    if (const auto value = debug_port.try_get())
        warn("system.debug_port", config_values::zmq_endpoint_problem(*value), quoted(*value));
    if (const auto value = proxy_address.try_get())
        warn("proxy.address", config_values::host_port_problem(*value, false, false),
             quoted(*value));
    if (const auto value = proxy_port.try_get())
        warn("proxy.output_port", config_values::is_port(*value) ? "" : "the port must be 1-65535",
             std::to_string(*value));
    if (const auto value = server_protocol.try_get())
        warn("server.protocol",
             *value == "http" || *value == "https" ? "" : "must be http or https", quoted(*value));
    if (const auto value = server_address.try_get())
        warn("server.address", config_values::host_port_problem(*value, false, false),
             quoted(*value));
    if (const auto value = server_timeout_field.try_get())
        warn("server.timeout", *value > 0 ? "" : "must be more than 0 (seconds)",
             std::to_string(*value));
    if (!server_ca_file.empty())
        warn("server.ca_file", config_values::file_problem(server_ca_file), quoted(server_ca_file));
    if (const auto value = redis_host_field.try_get())
        warn("redis.host", config_values::host_port_problem(*value, false, false), quoted(*value));
    if (const auto value = redis_port_field.try_get())
        warn("redis.port", config_values::is_port(*value) ? "" : "the port must be 1-65535",
             std::to_string(*value));

    if (!all.ok())
        return invalid;

    std::string address, protocol, host;
    int port = 0;
    std::tie(system.pidfile_path, system.debug_port, system.local_debug, address, port, protocol,
             host, server_timeout, redis_host, redis_port, redis_password) = all.value();
    proxy_output = "tcp://" + address + ":" + std::to_string(port);
    server_url = protocol + "://" + host;
    return invalid;
}

}  // namespace zentu
