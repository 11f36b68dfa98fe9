#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "core/events_loop.hpp"
#include "core/logger.hpp"

namespace zentu::libs::core::testing {

// A logger, a core and one events loop, destroyed in reverse order.
class loop_fixture : public ::testing::Test {
protected:
    loop_fixture()
        : m_logger(std::make_unique<logger>("marovane", "test")),
          m_core(core::create(*m_logger)),
          m_loop(m_core->create_events_loop("test loop")) {}

    ~loop_fixture() override {
        m_loop.reset();
        m_core.reset();
        m_logger.reset();
    }

    events_loop& loop() { return *m_loop; }
    timers_manager& timers() { return m_loop->get_timers(); }

    std::unique_ptr<logger> m_logger;
    core::ptr m_core;
    events_loop::ptr m_loop;
};

}  // namespace zentu::libs::core::testing
