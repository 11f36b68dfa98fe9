#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "application.hpp"
#include "config.hpp"
#include "core/events_loop.hpp"
#include "core/exception.hpp"
#include "core/get_config_file_name.hpp"
#include "core/logger.hpp"
#include "core/pid_file.hpp"

namespace {

namespace core = zentu::libs::core;

// Runs the loop until it stops; an exception that escapes a handler (a failed
// rebuild among them) is logged and the loop goes on.
void run_main_loop(core::logger& logger, core::events_loop& loop) {
    for (;;) {
        try {
            loop.run();
            return;
        } catch (...) {
            logger.log_exception();
        }
    }
}

// Returns the exit status: 0 after a stop signal, 1 after a start-up failure.
int run(core::logger& logger, const std::string& program, int argc, char** argv) {
    // Outlive the try block so the catch can tell a stop signal from a failure.
    core::core::ptr runtime;
    core::events_loop::ptr loop;
    try {
        const std::string file_name = core::get_config_file_name(argc, argv);
        // A file that cannot be opened reaches the reader as an empty stream.
        std::ifstream stream(file_name);
        const zentu::config config(stream);
        logger.connect(config.system.debug_port);
        logger.set_debug(config.system.local_debug);

        runtime = core::core::create(logger);
        loop = runtime->create_events_loop("main loop");

        core::detail::check_pid(config.system.pidfile_path);
        core::detail::write_pid(config.system.pidfile_path);

        {
            zentu::application application(config, logger, *loop);
            run_main_loop(logger, *loop);
        }
        logger.info("exit").location(ZENTU_SOURCE_LOCATION());
        return 0;
    } catch (...) {
        logger.log_exception();
        // A stop signal received while starting is a requested stop, not a failure.
        if (loop && loop->is_stopped()) {
            logger.info("exit").location(ZENTU_SOURCE_LOCATION());
            return 0;
        }
        std::cerr << program << ": " << core::exception_to_string() << std::endl;
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // libcurl runs without signals; a peer closing a connection must not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string program = argc > 0 && argv[0] ? argv[0] : "marovane";
    try {
        core::logger logger("marovane", "main");
        return run(logger, program, argc, argv);
    } catch (...) {
        std::cerr << program << ": " << core::exception_to_string() << std::endl;
        return 1;
    }
}
