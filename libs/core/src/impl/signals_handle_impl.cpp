#include "signals_handle_impl.hpp"

#include <csignal>

#include "core/exception.hpp"

namespace zentu::libs::core {

signals_handle_impl::signals_handle_impl(core& core, events_loop& main_loop)
    : m_thread_events_loop(core.create_events_loop("stop_on_signals")),
      m_main_events_loop(main_loop) {
    m_signals = std::make_unique<boost::asio::signal_set>(m_thread_events_loop->get_io_context());
    boost::system::error_code ec;
    m_signals->add(SIGINT, ec);
    if (ec)
        throw boost::system::system_error(ec, "add");
    m_signals->add(SIGTERM, ec);
    if (ec)
        throw boost::system::system_error(ec, "add");
    m_signals->async_wait([this](const boost::system::error_code& error, int) {
        if (error)
            return;
        m_signal_is_received.store(true);
        m_main_events_loop.stop();
        m_thread_events_loop->stop();
    });
    m_thread = std::thread([this] { thread_main(); });
}

signals_handle_impl::~signals_handle_impl() {
    m_thread_events_loop->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_signals.reset();
}

void signals_handle_impl::thread_main() {
    m_thread_events_loop->run_catch_exceptions(ZENTU_SOURCE_LOCATION());
    m_signals.reset();
}

}  // namespace zentu::libs::core
