#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace zentu {

// One thread, of the lowest scheduling priority, for the work that must not
// hold up the events loop: building a context from the platform's lists, and
// destroying the one it replaced.
// Tasks run one at a time, in order; they talk back to the loop by posting to
// it, through a weak reference to whatever they report to.
//
// Threading: post() from any thread; destruction waits for the task in
// progress and drops the ones still waiting.
class background_worker {
public:
    background_worker();
    ~background_worker();
    background_worker(const background_worker&) = delete;
    background_worker& operator=(const background_worker&) = delete;

    void post(std::function<void()> task);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace zentu
