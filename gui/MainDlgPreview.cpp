// CMainDlg: the preview of the selected file, the list's context menu and the content
// check's column.
#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTreeView>

#include "gui/ControlIds.h"
#include "gui/FileListModel.h"
#include "gui/MainDlg.h"
#include "gui/MainDlgStrings.h"
#include "gui/PreviewDlg.h"

void CMainDlg::OnPreview() {
    if (m_bScanning || m_bUndeleting) return;
    NodeEntry* node = nullptr;
    const QModelIndex current = m_pList->currentIndex();
    if (current.isValid() && m_pList->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        node = m_pListModel->Node(current.row());
    else if (!SelectedNodes().empty())
        node = SelectedNodes().front();
    if (!node || node->IsDirectory() || m_browser.IsUpRow(node) || !m_pCurrentDrive || !m_pCurrentDrive->parser) {
        m_pPrompt->ShowMessageNow(IUndeletePrompt::Icon::Exclamation, QString(),
                                  QString::fromUtf8(text::kSelectFilePlease));
        return;
    }
    CPreviewDlg dialog(this, m_pCurrentDrive->parser.get(), node);
    dialog.exec();
}

void CMainDlg::OnListContextMenu(const QPoint& at) {
    if (m_bScanning || m_bUndeleting) return;
    const QModelIndex index = m_pList->indexAt(at);
    if (!index.isValid()) return;
    if (!m_pList->selectionModel()->isRowSelected(index.row(), QModelIndex()))
        m_pList->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_pList->setCurrentIndex(index);
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("ListContextMenu"));
    menu.addAction(Command(ids::ID_FILE_PREVIEW));
    menu.addAction(Command(ids::ID_FILE_UNDELETE));
    menu.exec(m_pList->viewport()->mapToGlobal(at));
}

void CMainDlg::ShowContentColumn(bool shown) {
    m_pListModel->SetContentColumnShown(shown);
    // Shown beside the Status column, whose damage word it completes, not past the dates
    // at the far right.
    QHeaderView* header = m_pList->header();
    const int at = header->visualIndex(browser::COL_STATUS) + 1;
    if (header->visualIndex(CFileListModel::kContentColumn) != at)
        header->moveSection(header->visualIndex(CFileListModel::kContentColumn), at);
    m_pList->setColumnHidden(CFileListModel::kContentColumn, !shown);
}
