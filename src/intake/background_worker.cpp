#include "intake/background_worker.hpp"

#include <sys/resource.h>
#include <unistd.h>

namespace zentu {

background_worker::background_worker() : m_thread([this] { run(); }) {}

background_worker::~background_worker() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void background_worker::post(std::function<void()> task) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void background_worker::run() {
    // On a busy machine the events loop gets the processor first: a rebuild
    // may take longer, the loop must not wait for it.
    setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stopping || !m_tasks.empty(); });
            if (m_stopping)
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        // Tasks handle their own errors; one that throws must not end the thread.
        try {
            task();
        } catch (...) {
        }
    }
}

}  // namespace zentu
