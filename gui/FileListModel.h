// The file list's item model over the browser model: it holds no rows of its own, only
// the row count of the latest refresh, and makes each cell when the view asks for it.
// Rows are pointers into the scanned tree, so a tree may only be freed after Clear().
#pragma once

#include <QAbstractTableModel>

#include "app/BrowserModel.h"
#include "gui/MimeTypes.h"

class CFileListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    CFileListModel(CBrowserModel* browser, CMimeTypes* types, QObject* parent = nullptr);

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
    int m_nRows = 0;
};
