#include "core/get_config_file_name.hpp"

#include <unistd.h>

#include "core/exception.hpp"

namespace zentu::libs::core {

std::string get_config_file_name(int argc, char** argv) {
    const std::string program = argc > 0 && argv[0] ? argv[0] : "";
    std::string file_name;
    // getopt keeps its position in globals: 0 asks glibc for a full restart.
    optind = 0;
    // Our own usage text is the only report.
    const int saved_opterr = opterr;
    opterr = 0;
    int option = 0;
    while ((option = getopt(argc, argv, "c:")) != -1) {
        if (option != 'c') {
            opterr = saved_opterr;
            ZENTU_THROW("Usage: " + program + " -c config_file");
        }
        file_name = optarg;
    }
    opterr = saved_opterr;
    if (file_name.empty())
        ZENTU_THROW("The configuration file is not defined! Usage: " + program + " -c config_file");
    return file_name;
}

}  // namespace zentu::libs::core
