#include <csignal>
#include <fstream>
#include <iostream>
#include <sstream>

#include "core/json.hpp"
#include "platform-sim/simulator.hpp"
#include "platform-sim/site_generator.hpp"

namespace {

namespace sim = zentu::platform_sim;

const char* usage =
    "usage: marovane-platform-sim [--site FILE | --generate LAYOUT] [--http HOST:PORT]\n"
    "         [--pub ENDPOINT] [--requests-log FILE] [--ready-file FILE] [--scenario FILE]\n"
    "         [--write-site FILE] [--allow-nonlocal] [--quiet]\n"
    "  LAYOUT: objects=N,zones=N,keep_in=N,keep_out=N,projects=N,alarms=N\n"
    "  a port 0 binds a free port; the first line on stdout tells the real ones:\n"
    "  listening http=HOST:PORT pub=tcp://HOST:PORT\n";

Json::Value read_json_file(const std::string& name) {
    std::ifstream file(name);
    if (!file)
        throw sim::request_error(400, "cannot read " + name);
    std::stringstream text;
    text << file.rdbuf();
    auto parsed = zentu::libs::core::json::try_parse(text.str());
    if (!parsed.ok)
        throw sim::request_error(400, name + " is not JSON: " + parsed.error);
    return parsed.result;
}

struct command_line {
    sim::options options;
    std::string site_file, generate, ready_file, scenario_file, write_site;
    bool quiet = false;
};

command_line parse(int argc, char** argv) {
    command_line line;
    line.options.log = &std::cout;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw sim::request_error(400, arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--site")
            line.site_file = value();
        else if (arg == "--generate")
            line.generate = value();
        else if (arg == "--http")
            line.options.http_address = value();
        else if (arg == "--pub")
            line.options.pub_endpoint = value();
        else if (arg == "--requests-log")
            line.options.requests_log = value();
        else if (arg == "--ready-file")
            line.ready_file = value();
        else if (arg == "--scenario")
            line.scenario_file = value();
        else if (arg == "--write-site")
            line.write_site = value();
        else if (arg == "--allow-nonlocal")
            line.options.allow_nonlocal = true;
        else if (arg == "--quiet")
            line.quiet = true;
        else if (arg == "--help" || arg == "-h") {
            std::cout << usage;
            std::exit(0);
        } else {
            throw sim::request_error(400, "unknown argument " + arg);
        }
    }
    if (line.quiet)
        line.options.log = nullptr;
    return line;
}

int run(int argc, char** argv) {
    auto line = parse(argc, argv);
    if (!line.generate.empty())
        line.options.site_document = sim::generate_site(line.generate);
    else if (!line.site_file.empty())
        line.options.site_document = read_json_file(line.site_file);
    if (!line.write_site.empty()) {
        std::ofstream out(line.write_site);
        out << zentu::libs::core::json::to_string(line.options.site_document) << "\n";
        if (!out)
            throw sim::request_error(400, "cannot write " + line.write_site);
        return 0;
    }
    Json::Value scenario;
    if (!line.scenario_file.empty())
        scenario = read_json_file(line.scenario_file);

    // A reader that goes away must not kill the simulator through its log.
    std::signal(SIGPIPE, SIG_IGN);
    // Every thread inherits the blocked signals; only sigwait below sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    auto simulator = sim::simulator::create(line.options);
    const auto ports =
        "listening http=" + simulator->http_address() + " pub=" + simulator->pub_endpoint();
    // The ready file is complete before the line appears, so either can be waited for.
    if (!line.ready_file.empty()) {
        const auto temporary = line.ready_file + ".tmp";
        std::ofstream(temporary) << ports << "\n";
        std::rename(temporary.c_str(), line.ready_file.c_str());
    }
    std::cout << ports << std::endl;
    if (!scenario.isNull())
        simulator->run_scenario(scenario);

    int signal = 0;
    sigwait(&stop_signals, &signal);
    if (!line.quiet)
        std::cout << "stopping on signal " << signal << std::endl;
    simulator.reset();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "marovane-platform-sim: " << e.what() << "\n" << usage;
        return 2;
    }
}
