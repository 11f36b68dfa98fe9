// A reader of marovane's log stream for the benchmarks and the equivalence
// check: binds a ZeroMQ PULL socket, as a log collector does, and drains it
// as fast as the lines come, so that the service is measured while someone
// watches. Prints its endpoint first, the number of lines read so far on
// SIGUSR1, and that number again on SIGTERM or SIGINT, then ends.
//
//   marovane-log-reader [--bind ENDPOINT] [--ready-file FILE] [--lines FILE]
//
//   --bind ENDPOINT    default tcp://127.0.0.1:0 (a free port)
//   --ready-file FILE  the "listening ENDPOINT" line is written there too
//   --lines FILE       every line read, one a line (the lines hold no newline)
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <zmq.hpp>

namespace {

volatile std::sig_atomic_t stop_requested = 0;
volatile std::sig_atomic_t count_requested = 0;

void on_stop(int) {
    stop_requested = 1;
}

void on_count(int) {
    count_requested = 1;
}

int run(int argc, char** argv) {
    std::string endpoint = "tcp://127.0.0.1:0";
    std::string ready_file;
    std::string lines_file;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--bind")
            endpoint = argv[i + 1];
        else if (option == "--ready-file")
            ready_file = argv[i + 1];
        else if (option == "--lines")
            lines_file = argv[i + 1];
        else {
            std::cerr << "unknown option " << option << "\n";
            return 2;
        }
    }
    if (argc % 2 == 0) {
        std::cerr << "usage: marovane-log-reader [--bind ENDPOINT] [--ready-file FILE] "
                     "[--lines FILE]\n";
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = on_stop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    struct sigaction count_action {};
    count_action.sa_handler = on_count;
    sigaction(SIGUSR1, &count_action, nullptr);

    zmq::context_t context;
    zmq::socket_t pull(context, zmq::socket_type::pull);
    pull.set(zmq::sockopt::linger, 0);
    // A stop or count request is seen within this time.
    pull.set(zmq::sockopt::rcvtimeo, 100);
    pull.bind(endpoint);
    const std::string bound = pull.get(zmq::sockopt::last_endpoint);
    // The ready file is complete before the line appears on stdout.
    if (!ready_file.empty()) {
        const std::string partial = ready_file + ".part";
        std::ofstream(partial) << "listening " << bound << "\n";
        std::rename(partial.c_str(), ready_file.c_str());
    }
    std::cout << "listening " << bound << std::endl;

    std::ofstream lines;
    if (!lines_file.empty())
        lines.open(lines_file);
    unsigned long long count = 0;
    zmq::message_t message;
    while (!stop_requested) {
        if (count_requested) {
            count_requested = 0;
            std::cout << "lines " << count << std::endl;
        }
        try {
            if (!pull.recv(message))
                continue;
        } catch (const zmq::error_t& e) {
            if (e.num() == EINTR)
                continue;
            throw;
        }
        ++count;
        if (lines.is_open())
            lines.write(static_cast<const char*>(message.data()),
                        static_cast<std::streamsize>(message.size()))
                << '\n';
    }
    lines.flush();
    std::cout << "lines " << count << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "marovane-log-reader: " << e.what() << "\n";
        return 1;
    }
}
