#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/exception.hpp"
#include "core/get_config_file_name.hpp"
#include "core/pid_file.hpp"
#include "test_kit/error_of.hpp"

namespace zentu::libs::core {
namespace {

// ---- command line -----------------------------------------------------------

std::string config_file_name(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return get_config_file_name(static_cast<int>(args.size()), argv.data());
}

std::string error_of(std::vector<std::string> args) {
    return test_kit::error_of([&] { config_file_name(std::move(args)); });
}

TEST(core_command_line_test, last_c_option_wins_and_other_arguments_are_ignored) {
    EXPECT_EQ(config_file_name({"/usr/bin/marovane", "-c", "a.json"}), "a.json");
    EXPECT_EQ(config_file_name({"/usr/bin/marovane", "-c", "a.json", "-c", "b.json"}), "b.json");
    EXPECT_EQ(config_file_name({"/usr/bin/marovane", "extra", "-cb.json", "more"}), "b.json");
}

TEST(core_command_line_test, errors_name_the_program) {
    EXPECT_EQ(error_of({"/usr/bin/marovane"}),
              "The configuration file is not defined! Usage: /usr/bin/marovane -c config_file");
    EXPECT_EQ(error_of({"/usr/bin/marovane", "-c", ""}),
              "The configuration file is not defined! Usage: /usr/bin/marovane -c config_file");
    EXPECT_EQ(error_of({"./marovane", "-x"}), "Usage: ./marovane -c config_file");
    EXPECT_EQ(error_of({"./marovane", "-c", "a.json", "-x"}), "Usage: ./marovane -c config_file");
    EXPECT_EQ(error_of({"./marovane", "-c"}), "Usage: ./marovane -c config_file");
}

TEST(core_command_line_test, parsing_starts_afresh_on_every_call) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(error_of({"m", "-x"}), "Usage: m -c config_file");
        EXPECT_EQ(config_file_name({"m", "-c", "x.json"}), "x.json");
    }
}

// ---- pid file -----------------------------------------------------------------

class core_pid_file_test : public ::testing::Test {
protected:
    core_pid_file_test() {
        char pattern[] = "/tmp/core_pid_file_test.XXXXXX";
        m_dir = ::mkdtemp(pattern);
        m_file = m_dir + "/marovane.pid";
    }
    ~core_pid_file_test() override {
        ::unlink(m_file.c_str());
        ::rmdir(m_dir.c_str());
    }

    void write_file(const std::string& text) { std::ofstream(m_file) << text; }
    std::string read_file() const {
        std::ifstream in(m_file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string check_error() const {
        return test_kit::error_of([&] { pid_file(m_file).check_owner(); });
    }

    std::string m_dir;
    std::string m_file;
};

TEST_F(core_pid_file_test, live_process_is_refused_and_its_file_left_alone) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    write_file(std::to_string(child) + "\n");
    EXPECT_EQ(check_error(),
              "Process is running (pid " + std::to_string(child) + " in " + m_file + ")");
    EXPECT_EQ(read_file(), std::to_string(child) + "\n");
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST_F(core_pid_file_test, stale_or_meaningless_contents_are_overwritten) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);

    const std::string own = std::to_string(::getpid());
    for (const std::string& contents :
         {std::to_string(child), std::string("0"), std::string("garbage"), std::string(""),
          std::string("-1"), own}) {
        write_file(contents);
        EXPECT_EQ(check_error(), "no error") << contents;
        pid_file(m_file).write();
        EXPECT_EQ(read_file(), own) << contents;
    }
}

TEST_F(core_pid_file_test, missing_file_is_no_owner) {
    EXPECT_EQ(check_error(), "no error");
    pid_file(m_file).write();
    EXPECT_EQ(read_file(), std::to_string(::getpid()));
}

TEST_F(core_pid_file_test, unwritable_location_fails_to_open) {
    const std::string missing = m_dir + "/missing/marovane.pid";
    for (const auto& [path, error] : {std::pair(missing, std::string("No such file or directory")),
                                      std::pair(m_dir, std::string("Is a directory"))}) {
        try {
            pid_file(path).write();
            ADD_FAILURE() << path;
        } catch (const exception& e) {
            EXPECT_EQ(e.get_string_error(), "Error opening pid-file! " + path + ": " + error);
        }
    }
}

}  // namespace
}  // namespace zentu::libs::core
