// The list's content checks, made lazily for the rows the view asks about and cached for
// one listing. Checks run on the interface thread in short slices between events, so
// the window stays responsive, and never while a job has the parser.
#pragma once

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "app/ContentCheck.h"

class CFileSystemParser;
class NodeEntry;

class CContentCheckQueue final : public QObject {
    Q_OBJECT
public:
    // How long one slice of checks may hold the interface thread.
    static constexpr int kSliceMilliseconds = 25;

    // parser gives the parser of the listed drive when a slice runs (null: nothing to check).
    CContentCheckQueue(std::function<CFileSystemParser*()> parser, QObject* parent = nullptr);

    // The cached verdict of the node, or nothing yet: the node is then queued.
    std::optional<ContentVerdict> Lookup(int row, NodeEntry* node);
    // A new listing: the rows (and the tree behind them) may change.
    void Forget();
    // A job runs: the parser is its worker's until it ends.
    void SetPaused(bool paused);
    bool Pending() const { return !m_queue.empty(); }

signals:
    void Checked(int row);

private:
    void RunSlice();

    std::function<CFileSystemParser*()> m_parser;
    std::unordered_map<const NodeEntry*, ContentVerdict> m_cache;
    std::deque<std::pair<int, NodeEntry*>> m_queue;
    std::unordered_set<const NodeEntry*> m_queued;
    QTimer m_timer;
    bool m_bPaused = false;
};
