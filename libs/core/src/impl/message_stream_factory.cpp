#include "factories.hpp"
#include "message_stream_zmq.hpp"
#include "message_stream_zmq_raw.hpp"

namespace zentu::libs::core::detail {

std::unique_ptr<message_stream> make_zmq_message_stream(boost::asio::io_context& io,
                                                        const component_logger& logger,
                                                        const std::string& address, bool raw) {
    if (raw)
        return std::make_unique<message_stream_zmq_raw>(io, logger, address);
    return std::make_unique<message_stream_zmq>(io, logger, address);
}

}  // namespace zentu::libs::core::detail
