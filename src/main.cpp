#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>

#include "core/events_loop.hpp"
#include "core/exception.hpp"
#include "core/logger.hpp"
#include "core/pid_file.hpp"
#include "ops/command_line.hpp"
#include "ops/metrics.hpp"
#include "ops/metrics_server.hpp"
#include "ops/reload_signal.hpp"
#include "ops/systemd_notifier.hpp"
#include "ops/version.hpp"
#include "service/application.hpp"
#include "service/config.hpp"
#include "service/operator_api.hpp"

namespace {

namespace core = zentu::libs::core;
namespace ops = zentu::ops;
using steady = std::chrono::steady_clock;

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

// -t: every problem of the file, or "configuration OK". Touches nothing else.
int check_configuration(const std::string& file_name) {
    const auto problems = zentu::config::check_file(file_name);
    if (problems.empty()) {
        std::cout << "configuration OK" << std::endl;
        return 0;
    }
    for (const auto& problem : problems)
        std::cerr << file_name << ": " << problem << '\n';
    std::cerr << file_name << ": " << problems.size()
              << (problems.size() == 1 ? " problem" : " problems") << std::endl;
    return 1;
}

// Help, version and the configuration check answer without the logger, so
// they leave no trace in the system log. Returns -1 when the service is to run
// (or the command line is wrong, which run() reports through the log).
int answer_without_running(int argc, char** argv) {
    ops::command_line command;
    try {
        command = ops::parse_command_line(argc, argv);
    } catch (...) {
        return -1;
    }
    switch (command.what) {
        case ops::command_line::action::help:
            std::cout << command.usage;
            return 0;
        case ops::command_line::action::version:
            std::cout << "marovane " << ops::version_text() << std::endl;
            return 0;
        case ops::command_line::action::check_config:
            return check_configuration(command.config_file);
        case ops::command_line::action::run:
            break;
    }
    return -1;
}

// The service from the first stand to the stop signal. Returns once the loop
// has stopped.
void serve(const zentu::config& config, core::logger& logger, core::events_loop& loop) {
    const auto notifier = ops::systemd_notifier::create();
    ops::service_metrics metrics;
    metrics.set_undelivered_after(config.metrics.undelivered_after);
    const auto process_started = steady::now();
    // The operator's API answers 503 until the service stands.
    const auto api = ops::api_gate::create(loop);
    // An optional part: a port that cannot be had is retried, never fatal.
    std::unique_ptr<ops::metrics_listener> metrics_listener;
    if (!config.metrics.listen.empty())
        metrics_listener = std::make_unique<ops::metrics_listener>(
            config.metrics.listen, metrics, std::string(ops::version_text()), loop.get_timers(),
            logger, ops::metrics_listener::default_retry_period, api);

    zentu::application* running = nullptr;
    // From now on SIGHUP rebuilds instead of ending the process.
    const ops::reload_signal reload(loop.get_io_context(), [&] {
        if (!running) {
            logger.info(
                "Rebuild requested (SIGHUP) while starting: the service being built is "
                "already fresh");
            return;
        }
        // The service tells the notifier when the rebuild starts and ends.
        running->request_rebuild();
    });

    notifier->status("loading zones, objects and alarms from " + config.server_url);
    const auto started = steady::now();
    zentu::application application(config, logger, loop, metrics, notifier.get());
    running = &application;
    // Goes before the application: no answer is built from a service gone.
    const zentu::operator_api answers(application.service(), metrics,
                                      std::string(ops::version_text()), process_started);
    const auto responder = std::make_shared<const ops::api_responder>(
        [&answers](const ops::api_request& request) { return answers.answer(request); });
    api->open(responder);
    metrics.startup_finished(steady::now() - started);
    metrics.service_stands(true);

    // Posted before the loop runs: READY goes out once it does.
    loop.post(
        [&] {
            notifier->ready();
            notifier->status(application.service().status_line());
        },
        ZENTU_SOURCE_LOCATION());
    core::periodic_timer::ptr watchdog;
    if (const auto period = notifier->watchdog_period(); period.count() > 0) {
        watchdog = loop.create_periodic_timer(
            period, "watchdog", [&](core::timer::time_point) { notifier->watchdog(); },
            ZENTU_SOURCE_LOCATION());
    }

    run_main_loop(logger, loop);
    notifier->stopping();
    metrics.service_stands(false);
    running = nullptr;
}

// Returns the exit status: 0 after a stop signal, 1 after a start-up failure.
int run(core::logger& logger, const std::string& program, int argc, char** argv) {
    // Outlive the try block so the catch can tell a stop signal from a failure.
    core::core::ptr runtime;
    core::events_loop::ptr loop;
    try {
        const ops::command_line command = ops::parse_command_line(argc, argv);
        const zentu::config config = zentu::config::from_file(command.config_file);
        logger.connect(config.system.debug_port);
        logger.set_debug(config.system.local_debug);
        for (const auto& warning : config.warnings)
            logger.warning("Configuration: %1%") % warning;

        runtime = core::core::create(logger);
        loop = runtime->create_events_loop("main loop");

        core::pid_file(config.system.pidfile_path).claim();

        serve(config, logger, *loop);
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
        if (const int status = answer_without_running(argc, argv); status >= 0)
            return status;
        core::logger logger("marovane", "main");
        return run(logger, program, argc, argv);
    } catch (...) {
        std::cerr << program << ": " << core::exception_to_string() << std::endl;
        return 1;
    }
}
