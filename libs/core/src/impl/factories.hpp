#pragma once

#include <boost/asio/io_context.hpp>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/events_loop.hpp"
#include "core/http.hpp"
#include "core/logger.hpp"
#include "core/message_stream.hpp"

// Builders of the loop's transport objects. Kept apart so the events loop does
// not depend on the transport implementations.
namespace zentu::libs::core::detail {

// The client's results are delivered on main_loop.
std::unique_ptr<http::client> make_http_client(events_loop& main_loop, core& core,
                                               const component_logger& logger,
                                               const http::client_settings& settings);

std::unique_ptr<message_stream> make_zmq_message_stream(boost::asio::io_context& io,
                                                        const component_logger& logger,
                                                        const std::string& address, bool raw);

}  // namespace zentu::libs::core::detail
