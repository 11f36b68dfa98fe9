#include <gtest/gtest.h>
#include <syslog.h>

#include <boost/system/error_code.hpp>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <zmq.hpp>

#include "core/constants.hpp"
#include "core/exception.hpp"
#include "core/log_text.hpp"
#include "core/logger.hpp"

namespace zentu::libs::core {
namespace {

using std::chrono::milliseconds;

// 2024-03-05 07:08:09.042 UTC
const timestamp fixed_time(milliseconds(1709622489042LL));
const std::string fixed_prefix = "2024-03-05 07:08:09.042 ";

// A logger whose socket copy goes to a real PULL socket on a loopback port.
class core_logger_test : public ::testing::Test {
protected:
    core_logger_test() : m_pull(m_context, zmq::socket_type::pull) {
        m_pull.set(zmq::sockopt::rcvtimeo, 5000);
        m_pull.bind("tcp://127.0.0.1:*");
        m_logger = std::make_unique<logger>("marovane", "main");
        m_logger->connect(m_pull.get(zmq::sockopt::last_endpoint));
        // "Connected to socket" is the first line that gets through.
        EXPECT_EQ(receive_body(), "Connected to socket");
    }
    ~core_logger_test() override {
        m_logger.reset();
        m_pull.close();
    }

    std::optional<std::string> receive(int timeout_ms = 5000) {
        m_pull.set(zmq::sockopt::rcvtimeo, timeout_ms);
        zmq::message_t message;
        if (!m_pull.recv(message))
            return std::nullopt;
        return message.to_string();
    }

    // The socket line without the component prefix and the date.
    std::string receive_body() {
        const auto line = receive();
        if (!line)
            return "<nothing>";
        const std::string prefix = "&marovane:main ";
        if (line->rfind(prefix, 0) != 0 || line->size() < prefix.size() + fixed_prefix.size())
            return "<bad line> " + *line;
        return line->substr(prefix.size() + fixed_prefix.size());
    }

    zmq::context_t m_context;
    zmq::socket_t m_pull;
    std::unique_ptr<logger> m_logger;
};

// A location whose file lies under the source root.
struct rooted_location {
    std::string file = std::string(constants::source_directory) + "/src/main.cpp";
    source_location location{73, file, "int main(int, char**)"};
};

TEST_F(core_logger_test, socket_line_has_prefix_date_location_and_message) {
    rooted_location here;
    m_logger->info("%1% %2%").location(here.location).date_time(fixed_time) % "exit" % 7;
    EXPECT_EQ(receive(), "&marovane:main " + fixed_prefix + "/src/main.cpp:73 exit 7");

    m_logger->error("plain").date_time(fixed_time);
    EXPECT_EQ(receive(), "&marovane:main " + fixed_prefix + "plain");

    m_logger->warning("%1%").function(here.location).date_time(fixed_time) % "w";
    EXPECT_EQ(receive(), "&marovane:main " + fixed_prefix + "int main(int, char**): w");

    const source_location member(
        1, "f.cpp",
        "void zentu::alarms_controller_impl::start_request(const "
        "zentu::context::alarm&, zentu::alarms_controller_impl::alarm_info&)");
    m_logger->info("m").short_function(member).date_time(fixed_time);
    EXPECT_EQ(receive(),
              "&marovane:main " + fixed_prefix + "zentu::alarms_controller_impl::start_request: m");
}

TEST_F(core_logger_test, child_component_has_its_own_prefix) {
    const auto child = m_logger->component("core");
    child->info("hello").date_time(fixed_time);
    EXPECT_EQ(receive(), "&marovane:core " + fixed_prefix + "hello");
}

TEST_F(core_logger_test, indent_depth_shows_on_the_socket_line) {
    {
        const auto outer = m_logger->enter_scope("outer");
        EXPECT_EQ(receive_body(), "outer");
        m_logger->info("one");
        EXPECT_EQ(receive_body(), "    | one");
        {
            const auto inner = m_logger->enter_scope("inner");
            EXPECT_EQ(receive_body(), "    | inner");
            m_logger->info("two");
            EXPECT_EQ(receive_body(), "        | two");
        }
        EXPECT_EQ(m_logger->indent(), 1);
    }
    m_logger->info("zero");
    EXPECT_EQ(receive_body(), "zero");
}

TEST_F(core_logger_test, debug_mode_sets_syslog_mask_but_socket_gets_every_level) {
    EXPECT_FALSE(m_logger->is_debug());
    EXPECT_EQ(setlogmask(0), 0x7F);
    m_logger->debug("hidden from syslog");
    EXPECT_EQ(receive_body(), "hidden from syslog");

    m_logger->set_debug(true);
    EXPECT_EQ(setlogmask(0), 0xFF);
    // In debug mode syslog copies its line, date and indent included, to stderr.
    ::testing::internal::CaptureStderr();
    m_logger->info("visible").date_time(fixed_time);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(fixed_prefix + "visible"), std::string::npos) << err;
    EXPECT_EQ(receive_body(), "visible");
    m_logger->set_debug(false);
}

TEST_F(core_logger_test, socket_copy_can_be_switched_off) {
    m_logger->set_writing_to_socket(false);
    m_logger->info("not sent");
    m_logger->set_writing_to_socket(true);
    m_logger->info("sent");
    EXPECT_EQ(receive_body(), "sent");
}

TEST_F(core_logger_test, miscounted_arguments_never_throw) {
    EXPECT_NO_THROW(m_logger->info("%1%") % 1 % 2);
    EXPECT_EQ(receive_body(), "1");
    EXPECT_NO_THROW(m_logger->info("%1% and %2%") % 1);
    EXPECT_EQ(receive_body(), "1 and ");
}

TEST_F(core_logger_test, arguments_are_escaped_and_bounded_the_template_is_not) {
    m_logger->error("Request failed:\t%1%") % "503\n2024-01-01 forged line";
    EXPECT_EQ(receive_body(), "Request failed:\t503\\n2024-01-01 forged line");
    try {
        throw std::runtime_error("bad\r\nbody");
    } catch (...) {
        m_logger->log_exception();
    }
    EXPECT_EQ(receive_body(), "std::exception::what(): bad\\r\\nbody");
    m_logger->info("%1%") % std::string(log_argument_limit + 10, 'b');
    EXPECT_EQ(receive_body(), std::string(log_argument_limit, 'b') + "... (10 more bytes)");
}

// Lines are built as their arguments come: templates whose placeholders are
// not in order, parts chained after the arguments and a date of five digits
// still give the text of the whole line.
TEST_F(core_logger_test, templates_and_parts_in_any_order_give_the_same_line) {
    m_logger->info("%2% before %1%, %1% again, 100%%") % "a" % "b";
    EXPECT_EQ(receive_body(), "b before a, a again, 100%");

    rooted_location here;
    const source_location member(1, "f.cpp", "void zentu::x::y(int)");
    (m_logger->info("%1%").short_function(member) % "late").location(here.location);
    EXPECT_EQ(receive_body(), "/src/main.cpp:73 zentu::x::y: late");

    // 10000-01-01 00:00:00.007 UTC
    m_logger->info("far").date_time(timestamp(milliseconds(253402300800007LL)));
    EXPECT_EQ(receive(), "&marovane:main 10000-01-01 00:00:00.007 far");
}

TEST(core_logger_stream_test, lines_nobody_can_take_are_counted) {
    logger lone("marovane", "main");
    lone.info("nobody connected");
    lone.flush_log_stream();
    // "Starting marovane" and this one.
    EXPECT_EQ(lone.log_stream_losses().refused, 2U);
    EXPECT_EQ(lone.log_stream_losses().queue_full, 0U);
}

TEST_F(core_logger_test, moved_formatter_writes_one_line) {
    {
        auto first = m_logger->info("once");
        auto second = std::move(first);
    }
    m_logger->info("next");
    EXPECT_EQ(receive_body(), "once");
    EXPECT_EQ(receive_body(), "next");
}

TEST_F(core_logger_test, exceptions_are_logged_with_their_text) {
    try {
        throw std::runtime_error("boom");
    } catch (...) {
        m_logger->log_exception();
    }
    EXPECT_EQ(receive_body(), "std::exception::what(): boom");

    rooted_location here;
    try {
        throw 42;
    } catch (...) {
        m_logger->log_exception(here.location);
    }
    EXPECT_EQ(receive_body(), "/src/main.cpp:73 Caught exeption");
    EXPECT_EQ(receive_body(), "Unknown exception");

    m_logger->log_error(boost::system::errc::make_error_code(boost::system::errc::timed_out),
                        here.location);
    EXPECT_EQ(receive_body(),
              "/src/main.cpp:73: " +
                  boost::system::errc::make_error_code(boost::system::errc::timed_out).message());
}

TEST_F(core_logger_test, connecting_to_an_invalid_endpoint_throws) {
    EXPECT_THROW(m_logger->connect("not an endpoint"), zmq::error_t);
}

// ZeroMQ drops what is queued on a connection still in its handshake when the
// socket closes: a logger closed right after connecting must still deliver.
TEST(core_logger_last_lines_test, lines_written_just_before_the_end_reach_the_reader) {
    zmq::context_t context;
    zmq::socket_t pull(context, zmq::socket_type::pull);
    pull.set(zmq::sockopt::rcvtimeo, 10000);
    pull.bind("tcp://127.0.0.1:*");
    {
        logger short_lived("marovane", "main");
        short_lived.connect(pull.get(zmq::sockopt::last_endpoint));
        short_lived.error("last words");
    }
    bool delivered = false;
    zmq::message_t message;
    while (!delivered && pull.recv(message))
        delivered = message.to_string().find("last words") != std::string::npos;
    EXPECT_TRUE(delivered);
}

TEST(core_exception_test, located_exceptions_describe_file_line_and_message) {
    const int line = __LINE__ + 2;
    try {
        ZENTU_THROW("went wrong");
    } catch (const exception& e) {
        const std::string expected =
            "/libs/core/tests/core_logger_test.cpp:" + std::to_string(line) + " went wrong";
        EXPECT_EQ(exception_to_string(e), expected);
        EXPECT_EQ(std::string(e.what()), expected);
        EXPECT_EQ(e.get_source_location().line(), line);
    }
    try {
        ZENTU_CHECK(1 + 1 == 3);
    } catch (...) {
        const std::string text = exception_to_string();
        EXPECT_NE(text.find(" check failed: 1 + 1 == 3"), std::string::npos) << text;
    }
}

TEST(core_source_location_test, short_function) {
    auto short_of = [](std::string_view signature) {
        return std::string(source_location(1, "f", signature).short_function());
    };
    EXPECT_EQ(short_of("void zentu::alarms_controller_impl::start_request(const "
                       "zentu::context::alarm&, zentu::alarms_controller_impl::alarm_info&)"),
              "zentu::alarms_controller_impl::start_request");
    EXPECT_EQ(short_of("int main(int, char**)"), "int main(int, char**)");
    EXPECT_EQ(short_of("no parenthesis zentu::x"), "no parenthesis zentu::x");
    EXPECT_EQ(short_of("f()"), "f()");
    EXPECT_EQ(short_of("zentu::f()"), "zentu::f");
}

TEST(core_source_location_test, source_root_is_cut_by_length) {
    const std::size_t n = constants::source_directory.size();
    EXPECT_EQ(source_location::remove_directory_prefix("short"), "");
    const std::string outside = std::string(n, 'x') + "/rest.cpp";
    EXPECT_EQ(source_location::remove_directory_prefix(outside), "/rest.cpp");
    const source_location unknown;
    EXPECT_EQ(unknown.line(), 0);
    EXPECT_EQ(unknown.function(), "unknown function");
}

}  // namespace
}  // namespace zentu::libs::core
