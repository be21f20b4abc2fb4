#pragma once
// The engine's own thread: each manager runs its long operations one after the
// other on a thread of its own, so that every operation returns at once and
// every callback comes from that thread, never from inside the starting call.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace sorvel {

class Worker {
public:
    Worker() = default;
    // Managers live for the process, and so does their thread.
    ~Worker() {
        if (m_thread.joinable()) m_thread.detach();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Queues a job; jobs run in the order they were posted.
    void post(std::function<void()> job) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
        if (!m_thread.joinable()) m_thread = std::thread([this] { run(); });
        m_wake.notify_one();
    }

private:
    void run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return !m_jobs.empty(); });
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::thread m_thread;
};

}  // namespace sorvel
