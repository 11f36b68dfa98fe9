#include "service/config_values.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace zentu::config_values {
namespace {

bool has_blank_or_url_character(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isspace(c) || c == '/' || c == '@' || c == '?' || c == '#';
    });
}

std::string port_problem(const std::string& digits, bool zero_port_allowed) {
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return "the port must be a number";
    const long long port = std::stoll(digits);
    if (port == 0 && zero_port_allowed)
        return {};
    if (!is_port(port))
        return "the port must be 1-65535";
    return {};
}

}  // namespace

bool is_port(long long value) {
    return value >= 1 && value <= 65535;
}

std::string host_port_problem(const std::string& text, bool port_required, bool zero_port_allowed) {
    if (text.empty())
        return "a host is required";
    if (has_blank_or_url_character(text))
        return "only a host and a port are expected, without blanks, scheme or path";
    std::string host = text;
    std::string port;
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos)
            return "an IPv6 address must be closed by ]";
        host = text.substr(0, close + 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':')
                return "only a port may follow the IPv6 address";
            port = text.substr(close + 2);
            if (port.empty())
                return "the port must be a number";
        }
    } else if (const auto colon = text.find(':'); colon != std::string::npos) {
        if (text.find(':', colon + 1) != std::string::npos)
            return "an IPv6 address must be written in brackets";
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty())
            return "the port must be a number";
    }
    if (host.empty() || host == "[]")
        return "a host is required";
    if (port.empty())
        return port_required ? "a port is required (host:port)" : std::string();
    return port_problem(port, zero_port_allowed);
}

std::string zmq_endpoint_problem(const std::string& text) {
    const auto separator = text.find("://");
    if (separator == std::string::npos)
        return "a ZeroMQ endpoint such as tcp://127.0.0.1:5560 is expected";
    const std::string transport = text.substr(0, separator);
    const std::string address = text.substr(separator + 3);
    if (transport == "tcp")
        return host_port_problem(address, true, false);
    if (transport == "ipc" || transport == "inproc")
        return address.empty() ? "a name is required after " + transport + "://" : std::string();
    return "the transport must be tcp, ipc or inproc";
}

std::string file_problem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::string("cannot read: ") + std::strerror(errno);
    char first = 0;
    ssize_t n = 0;
    do {
        n = ::read(fd, &first, 1);
    } while (n < 0 && errno == EINTR);
    // A directory opens, and fails only here.
    const int error = errno;
    ::close(fd);
    if (n < 0)
        return std::string("cannot read: ") + std::strerror(error);
    return n == 0 ? "the file is empty" : std::string();
}

}  // namespace zentu::config_values
