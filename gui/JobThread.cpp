#include "gui/JobThread.h"

#include <QMetaObject>

CJobThread::CJobThread(std::function<void()> body) {
    m_thread = std::thread([this, body = std::move(body)] {
        body();
        m_bDone.store(true);
        // Dropped by Qt when the loop object is gone, so a late wake-up is harmless.
        QMetaObject::invokeMethod(
            &m_loop, [this] { m_loop.quit(); }, Qt::QueuedConnection);
    });
}

CJobThread::~CJobThread() {
    if (m_thread.joinable()) m_thread.join();
}

void CJobThread::Wait() {
    if (!m_bDone.load()) m_loop.exec();
    if (m_thread.joinable()) m_thread.join();
}
