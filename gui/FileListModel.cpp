#include "gui/FileListModel.h"

#include "gui/ContentCheckQueue.h"

#include <QPixmap>
#include <climits>

namespace {
QIcon BlankIcon() {
    static const QIcon blank = [] {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        return QIcon(pixmap);
    }();
    return blank;
}
}  // namespace

CFileListModel::CFileListModel(CBrowserModel* browser, CMimeTypes* types, QObject* parent)
    : QAbstractTableModel(parent), m_pBrowser(browser), m_pTypes(types) {
    m_pChecks = new CContentCheckQueue(
        [this]() -> CFileSystemParser* {
            DriveEntry* drive = m_pBrowser->Drive();
            return drive ? drive->parser.get() : nullptr;
        },
        this);
    connect(m_pChecks, &CContentCheckQueue::Checked, this, [this](int row) {
        if (row < m_nRows) emit dataChanged(index(row, kContentColumn), index(row, kContentColumn), {Qt::DisplayRole});
    });
}

void CFileListModel::SetContentColumnShown(bool shown) {
    m_bContentColumn = shown;
    if (!shown) m_pChecks->Forget();
    if (m_nRows > 0) emit dataChanged(index(0, kContentColumn), index(m_nRows - 1, kContentColumn), {Qt::DisplayRole});
}

void CFileListModel::Clear() {
    beginResetModel();
    m_pChecks->Forget();
    m_nRows = 0;
    endResetModel();
}

void CFileListModel::Refresh() {
    beginResetModel();
    m_pChecks->Forget();
    DriveEntry* drive = m_pBrowser->Drive();
    const size_t rows = drive && drive->parser ? m_pBrowser->RowCount() : 0;
    m_nRows = rows > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(rows);
    endResetModel();
}

NodeEntry* CFileListModel::Node(int row) const {
    if (row < 0 || row >= m_nRows) return nullptr;
    return m_pBrowser->Row(static_cast<size_t>(row));
}

int CFileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_nRows; }

int CFileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : browser::kColumnCount + 1;
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_nRows || index.column() > kContentColumn) return {};
    const int column = index.column();
    if (column == kContentColumn) {
        if (role != Qt::DisplayRole || !m_bContentColumn) return {};
        NodeEntry* node = Node(index.row());
        // Only deleted files are checked: a live file's start says nothing about recovery.
        if (!node || m_pBrowser->IsUpRow(node) || node->IsDirectory() || !node->isDeleted) return QString();
        std::optional<ContentVerdict> verdict = m_pChecks->Lookup(index.row(), node);
        if (!verdict) return QString::fromUtf8(kContentPending);
        return QString::fromUtf8(ContentVerdictText(*verdict));
    }
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(m_pBrowser->CellText(static_cast<size_t>(index.row()), column));
        case Qt::DecorationRole: {
            if (column != browser::COL_NAME) return {};
            NodeEntry* node = Node(index.row());
            if (!node) return {};
            // The ".." row shows no icon, but keeps the room of one: all rows are as
            // high as the first.
            if (m_pBrowser->IsUpRow(node)) return BlankIcon();
            return m_pTypes->Icon(browser::GetNodeNamePart(node, browser::PART_NAME), node->attributes);
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(browser::kColumns[column].rightAligned ? Qt::AlignRight | Qt::AlignVCenter
                                                                              : Qt::AlignLeft | Qt::AlignVCenter);
        default: return {};
    }
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section > kContentColumn) return {};
    if (section == kContentColumn) {
        if (role == Qt::DisplayRole) return QString::fromUtf8(kContentTitle);
        if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }
    if (role == Qt::DisplayRole) return QString::fromUtf8(browser::kColumns[section].title);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(browser::kColumns[section].rightAligned ? Qt::AlignRight | Qt::AlignVCenter
                                                                           : Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}
