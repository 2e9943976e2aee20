// The interface-thread half of a job's wait: the body runs on its own thread while the
// interface thread goes on handling events (progress, Cancel, the worker's questions),
// and Wait returns once the body has ended.
#pragma once

#include <QEventLoop>
#include <atomic>
#include <functional>
#include <thread>

class CJobThread {
public:
    explicit CJobThread(std::function<void()> body);
    ~CJobThread();
    CJobThread(const CJobThread&) = delete;
    CJobThread& operator=(const CJobThread&) = delete;

    void Wait();
    bool Finished() const { return m_bDone.load(); }

private:
    QEventLoop m_loop;
    std::atomic<bool> m_bDone{false};
    std::thread m_thread;
};
