#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zentu::libs::core::detail {

// Lines handed from any thread to a thread of its own, which gives them to a
// sink in the order they were pushed, many at a time. Whoever pushes never
// waits for the sink: a line that does not fit in the bound is dropped and
// counted, as a log stream drops a line that would block.
//
// Threading: push, flush and counts from any thread but the sink's; the sink
// runs on the queue's thread only and must not push or flush.
//
// The thread gathers: after handing a batch to the sink it waits `gather`
// before it looks again, so that under a steady flow of lines one wake-up
// serves many of them and those who push make no system call. A line pushed
// while the thread sleeps with nothing to do wakes it at once.
class log_line_queue {
public:
    // Called on the queue's thread with the next lines in order; what it
    // leaves in the vector is discarded.
    using sink = std::function<void(std::vector<std::string>& lines)>;

    struct counts {
        std::uint64_t accepted = 0;
        // Dropped because the lines waiting for the thread held byte_limit bytes.
        std::uint64_t dropped = 0;
    };

    // Throws std::system_error when the thread cannot be started.
    log_line_queue(std::size_t byte_limit, std::chrono::microseconds gather, sink to);
    // Every accepted line reaches the sink before the thread ends.
    ~log_line_queue();
    log_line_queue(const log_line_queue&) = delete;
    log_line_queue& operator=(const log_line_queue&) = delete;

    // False when the line was dropped.
    bool push(std::string&& line);
    // Returns once every line accepted before the call has been given to the sink.
    void flush();
    counts statistics() const;

private:
    void run();

    const std::size_t m_byte_limit;
    const std::chrono::microseconds m_gather;
    const sink m_sink;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_flushed;
    std::vector<std::string> m_pending;
    std::size_t m_pending_bytes = 0;
    std::uint64_t m_accepted = 0;
    std::uint64_t m_dropped = 0;
    // Accepted lines already given to the sink.
    std::uint64_t m_delivered = 0;
    unsigned m_flush_waiters = 0;
    // The thread waits for a line (not gathering): a push must wake it.
    bool m_idle = false;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace zentu::libs::core::detail
