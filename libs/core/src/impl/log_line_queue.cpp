#include "log_line_queue.hpp"

#include <pthread.h>

namespace zentu::libs::core::detail {

log_line_queue::log_line_queue(std::size_t byte_limit, std::chrono::microseconds gather, sink to)
    : m_byte_limit(byte_limit), m_gather(gather), m_sink(std::move(to)) {
    m_thread = std::thread([this] { run(); });
}

log_line_queue::~log_line_queue() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

bool log_line_queue::push(std::string&& line) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_pending_bytes + line.size() > m_byte_limit) {
        ++m_dropped;
        return false;
    }
    m_pending_bytes += line.size();
    m_pending.push_back(std::move(line));
    ++m_accepted;
    const bool wake = m_idle;
    lock.unlock();
    if (wake)
        m_wake.notify_one();
    return true;
}

void log_line_queue::flush() {
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::uint64_t target = m_accepted;
    ++m_flush_waiters;
    m_wake.notify_one();
    m_flushed.wait(lock, [&] { return m_delivered >= target; });
    --m_flush_waiters;
}

log_line_queue::counts log_line_queue::statistics() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_accepted, m_dropped};
}

void log_line_queue::run() {
    pthread_setname_np(pthread_self(), "log stream");
    // Two vectors trade places, so that neither allocates once grown.
    std::vector<std::string> batch;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_pending.empty()) {
            if (m_stopping)
                return;
            m_idle = true;
            m_wake.wait(lock, [&] { return !m_pending.empty() || m_stopping; });
            m_idle = false;
            continue;
        }
        batch.swap(m_pending);
        m_pending_bytes = 0;
        const std::uint64_t upto = m_accepted;
        lock.unlock();
        m_sink(batch);
        batch.clear();
        lock.lock();
        m_delivered = upto;
        if (m_flush_waiters > 0)
            m_flushed.notify_all();
        if (!m_stopping && m_flush_waiters == 0)
            m_wake.wait_for(lock, m_gather, [&] { return m_stopping || m_flush_waiters > 0; });
    }
}

}  // namespace zentu::libs::core::detail
