// The file list's item model over the browser model: it holds no rows of its own, only
// the row count of the latest refresh, and makes each cell when the view asks for it.
// Rows are pointers into the scanned tree, so a tree may only be freed after Clear().
#pragma once

#include <QAbstractTableModel>

#include "app/BrowserModel.h"
#include "gui/MimeTypes.h"

class CContentCheckQueue;

class CFileListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // The content check's column follows the browser's columns; it is filled only while
    // shown (SetContentColumnShown).
    static constexpr int kContentColumn = browser::kColumnCount;
    static constexpr const char* kContentTitle = "Content";
    static constexpr const char* kContentPending = "...";

    CFileListModel(CBrowserModel* browser, CMimeTypes* types, QObject* parent = nullptr);

    void SetContentColumnShown(bool shown);
    bool ContentColumnShown() const { return m_bContentColumn; }
    CContentCheckQueue* ContentChecks() const { return m_pChecks; }

    // Empties the list (item count 0); the browser's rows are not touched.
    void Clear();
    // The item count becomes the number of rows the browser lists for its drive.
    void Refresh();
    NodeEntry* Node(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    CBrowserModel* m_pBrowser;
    CMimeTypes* m_pTypes;
    CContentCheckQueue* m_pChecks;
    bool m_bContentColumn = false;
    int m_nRows = 0;
};
