#include "ops/command_line.hpp"

#include <CLI/CLI.hpp>

#include "core/exception.hpp"

namespace zentu::ops {
namespace {

std::string short_usage(const std::string& program) {
    return "Usage: " + program + " -c config_file";
}

}  // namespace

command_line parse_command_line(int argc, char** argv) {
    const std::string program = argc > 0 && argv[0] ? argv[0] : "marovane";
    command_line result;
    bool check = false;
    bool version = false;

    CLI::App app("Raises and clears keep-in and keep-out zone-violation alarms.", program);
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.add_option("-c", result.config_file, "The configuration file (JSON)")
        ->option_text("config_file")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_flag(
        "-t,--check-config", check,
        "Check the configuration file, print every problem or \"configuration OK\" and exit");
    app.add_flag("-V,--version", version, "Print the version and exit");
    // Arguments that are not options have always been ignored.
    app.allow_extras();
    app.footer("Exit status: 0 after a requested stop, 1 after a start-up failure.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        result.what = command_line::action::help;
        result.usage = app.help();
        return result;
    } catch (const CLI::ParseError& e) {
        ZENTU_THROW(short_usage(program) + " (" + e.what() + "; -h lists the options)");
    }
    for (const std::string& extra : app.remaining()) {
        if (extra.size() > 1 && extra.front() == '-')
            ZENTU_THROW(short_usage(program) + " (unknown option " + extra +
                        "; -h lists the options)");
    }
    if (version) {
        result.what = command_line::action::version;
        return result;
    }
    result.what = check ? command_line::action::check_config : command_line::action::run;
    if (result.config_file.empty())
        ZENTU_THROW("The configuration file is not defined! " + short_usage(program));
    return result;
}

}  // namespace zentu::ops
