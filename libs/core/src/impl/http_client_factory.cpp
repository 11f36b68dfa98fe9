#include "factories.hpp"
#include "http_client_impl.hpp"

namespace zentu::libs::core::detail {

// Workers run on the client's own threads rather than on loops made by core:
// their queued jobs must be dropped, not run, when the client goes away.
std::unique_ptr<http::client> make_http_client(events_loop& main_loop, core&,
                                               const component_logger& logger,
                                               const http::client_settings& settings) {
    return std::make_unique<http::client_impl>(main_loop, logger, settings);
}

}  // namespace zentu::libs::core::detail
