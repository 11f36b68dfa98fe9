#include <csignal>
#include <fstream>
#include <iostream>
#include <string>

#include "config.hpp"
#include "core/events_loop.hpp"
#include "core/exception.hpp"
#include "core/get_config_file_name.hpp"
#include "core/logger.hpp"
#include "core/pid_file.hpp"

namespace {

namespace core = zentu::libs::core;

// Builds the service on the main loop; what it builds is owned here and lives
// until the loop has stopped.
void build_application(const zentu::config&, core::logger&, core::events_loop&) {}

// Runs the loop until it stops; an exception that escapes a handler is
// logged and the loop goes on.
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

void run(core::logger& logger, int argc, char** argv) {
    const std::string file_name = core::get_config_file_name(argc, argv);
    // A file that cannot be opened reaches the reader as an empty stream.
    std::ifstream stream(file_name);
    const zentu::config config(stream);
    logger.connect(config.system.debug_port);
    logger.set_debug(config.system.local_debug);

    const core::core::ptr runtime = core::core::create(logger);
    const core::events_loop::ptr loop = runtime->create_events_loop("main loop");

    core::detail::check_pid(config.system.pidfile_path);
    core::detail::write_pid(config.system.pidfile_path);

    build_application(config, logger, *loop);

    // Until the application owns them: stop on SIGINT/SIGTERM, and keep the
    // loop running while nothing else is pending.
    const core::events_loop::signals_handle::ptr signals = loop->stop_on_signals();
    const core::events_loop::work::ptr work = loop->create_work();

    run_main_loop(logger, *loop);
    logger.info("exit").location(ZENTU_SOURCE_LOCATION());
}

}  // namespace

int main(int argc, char** argv) {
    // libcurl runs without signals; a peer closing a connection must not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string program = argc > 0 && argv[0] ? argv[0] : "marovane";
    try {
        core::logger logger("marovane", "main");
        try {
            run(logger, argc, argv);
        } catch (...) {
            logger.log_exception();
            throw;
        }
    } catch (...) {
        std::cerr << program << ": " << core::exception_to_string() << std::endl;
        return 1;
    }
    return 0;
}
