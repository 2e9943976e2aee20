#include "gui/ContentCheckQueue.h"

#include <QElapsedTimer>

CContentCheckQueue::CContentCheckQueue(std::function<CFileSystemParser*()> parser, QObject* parent)
    : QObject(parent), m_parser(std::move(parser)) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &CContentCheckQueue::RunSlice);
}

std::optional<ContentVerdict> CContentCheckQueue::Lookup(int row, NodeEntry* node) {
    auto it = m_cache.find(node);
    if (it != m_cache.end()) return it->second;
    if (m_queued.insert(node).second) m_queue.emplace_back(row, node);
    if (!m_bPaused && !m_timer.isActive()) m_timer.start();
    return std::nullopt;
}

void CContentCheckQueue::Forget() {
    m_timer.stop();
    m_cache.clear();
    m_queue.clear();
    m_queued.clear();
}

void CContentCheckQueue::SetPaused(bool paused) {
    m_bPaused = paused;
    if (paused)
        m_timer.stop();
    else if (!m_queue.empty())
        m_timer.start();
}

void CContentCheckQueue::RunSlice() {
    if (m_bPaused) return;
    CFileSystemParser* parser = m_parser ? m_parser() : nullptr;
    if (!parser) {
        Forget();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    while (!m_queue.empty() && clock.elapsed() < kSliceMilliseconds) {
        auto [row, node] = m_queue.front();
        m_queue.pop_front();
        m_queued.erase(node);
        m_cache[node] = CheckNodeContent(parser, node);
        emit Checked(row);
    }
    if (!m_queue.empty()) m_timer.start();
}
