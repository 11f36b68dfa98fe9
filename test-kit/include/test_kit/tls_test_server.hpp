#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace zentu::test_kit {

// An https server on 127.0.0.1 and a port chosen by the system: `openssl
// s_server` run as a child process, with a self-signed certificate made for
// 127.0.0.1 when the server starts. It serves files from a directory of its
// own: a request for "/<name>" is answered with the file's bytes as they are
// (status line, headers and body), then the connection is closed; unknown
// names get no valid answer. One connection at a time. Construction throws
// std::runtime_error when openssl cannot make the certificate or serve;
// destruction ends the child and removes the directory. Not thread safe.
class tls_test_server {
public:
    tls_test_server();
    ~tls_test_server();
    tls_test_server(const tls_test_server&) = delete;
    tls_test_server& operator=(const tls_test_server&) = delete;

    // "https://127.0.0.1:<port>", without a trailing slash.
    std::string url() const;
    // The certificate (PEM); as a CA bundle it makes a client trust this server.
    std::string certificate_file() const;

    // Serves "/<name>" with the given HTTP/1.0 answer.
    void set_response(const std::string& name, int status, const std::string& body,
                      const std::string& extra_headers = {});
    // A 302 to location.
    void set_redirect(const std::string& name, const std::string& location);

private:
    void start_server();

    std::string m_dir;
    pid_t m_pid = -1;
    int m_output = -1;  // the child's standard output, kept open while it runs
    std::uint16_t m_port = 0;
};

}  // namespace zentu::test_kit
