#include <boost/system/system_error.hpp>
#include <zmq.hpp>

#include "core/exception.hpp"
#include "factories.hpp"
#include "message_stream_zmq.hpp"
#include "message_stream_zmq_raw.hpp"

namespace zentu::libs::core::detail {
namespace {

std::unique_ptr<message_stream> make_stream(boost::asio::io_context& io,
                                            const component_logger& logger,
                                            const std::string& address, bool raw) {
    if (raw)
        return std::make_unique<message_stream_zmq_raw>(io, logger, address);
    return std::make_unique<message_stream_zmq>(io, logger, address);
}

}  // namespace

// The transport's own errors end here: the creator gets the library's
// exception with the same text ("connect to <address>: <ZeroMQ's reason>").
std::unique_ptr<message_stream> make_zmq_message_stream(boost::asio::io_context& io,
                                                        const component_logger& logger,
                                                        const std::string& address, bool raw) {
    try {
        return make_stream(io, logger, address, raw);
    } catch (const boost::system::system_error& e) {
        ZENTU_THROW(e.what());
    } catch (const zmq::error_t& e) {
        ZENTU_THROW("message stream to " + address + ": " + e.what());
    }
}

}  // namespace zentu::libs::core::detail
