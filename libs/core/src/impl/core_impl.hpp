#pragma once

#include "core/events_loop.hpp"
#include "core/logger.hpp"

namespace zentu::libs::core {

// Creates events loops that log through the "core" component. Loops may be
// created from any thread.
class core_impl : public core {
public:
    explicit core_impl(const logger& logger);
    events_loop::ptr create_events_loop(const std::string& name) override;

private:
    component_logger::ptr m_logger;
};

}  // namespace zentu::libs::core
