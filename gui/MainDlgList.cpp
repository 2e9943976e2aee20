// CMainDlg: the file list: refresh, filters, sorting, navigation and its status text.
#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTreeView>

#include "gui/ControlIds.h"
#include "gui/FileListModel.h"
#include "gui/HintPanel.h"
#include "gui/MainDlg.h"
#include "gui/MainDlgStrings.h"

void CMainDlg::CreateFileList() {
    m_pListModel = new CFileListModel(&m_browser, &m_types, this);
    m_pList->setModel(m_pListModel);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setSortingEnabled(false);
    m_pList->setIconSize(QSize(16, 16));
    QHeaderView* header = m_pList->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    connect(header, &QHeaderView::sectionClicked, this, &CMainDlg::OnColumnClicked);
    connect(m_pList, &QTreeView::doubleClicked, this, &CMainDlg::OnListDoubleClicked);
    m_pList->installEventFilter(this);
    m_pList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pList, &QTreeView::customContextMenuRequested, this, &CMainDlg::OnListContextMenu);
    SetColumnWidths();
    QAction* contentColumn = Command(ids::ID_VIEW_CONTENT_COLUMN);
    ShowContentColumn(contentColumn->isChecked());
    connect(contentColumn, &QAction::toggled, this, &CMainDlg::ShowContentColumn);

    m_pInvitation = new CHintPanel(m_pList->viewport());
    m_pInvitation->setObjectName(ControlName(ids::IDC_INVITATION_PANEL));
    m_pInvitation->SetText(QString::fromUtf8(text::kInvitation));
    m_pNotSupported = new CHintPanel(m_pList->viewport());
    m_pNotSupported->setObjectName(ControlName(ids::IDC_NOT_SUPPORTED_PANEL));
}

void CMainDlg::SetColumnWidths() {
    // The table's widths are pixels of an 8-point dialog font; they grow with the
    // desktop font, and never below what a typical cell needs.
    const QFontMetrics metrics(m_pList->font());
    const CDialogUnits units(m_pList->font());
    const int padding = 2 * m_pList->style()->pixelMetric(QStyle::PM_HeaderMargin) + 8;
    const char* samples[browser::kColumnCount] = {
        "", "plain text document", "", "Average", "99999 KB", "00.00.0000 00:00", "00.00.0000 00:00"};
    for (int c = 0; c < browser::kColumnCount; ++c) {
        int width = browser::kColumns[c].width * units.BaseX() / CDialogUnits::kReferenceBaseX;
        width = std::max(width, metrics.horizontalAdvance(QString::fromUtf8(browser::kColumns[c].title)) + padding);
        width = std::max(width, metrics.horizontalAdvance(QString::fromUtf8(samples[c])) + padding);
        if (c == browser::COL_NAME) width += m_pList->iconSize().width() + 4;
        m_pList->setColumnWidth(c, width);
    }
    const int content = std::max(metrics.horizontalAdvance(QString::fromUtf8(CFileListModel::kContentTitle)),
                                 metrics.horizontalAdvance(QStringLiteral("does not match"))) +
                        padding;
    m_pList->setColumnWidth(CFileListModel::kContentColumn, content);
}

void CMainDlg::RefreshList() {
    m_pListModel->Refresh();
    QHeaderView* header = m_pList->header();
    const int state = m_browser.SortStateValue();
    header->setSortIndicatorShown(state != browser::SORT_NONE && m_pListModel->rowCount() > 0);
    if (state != browser::SORT_NONE)
        header->setSortIndicator(m_browser.SortColumn(),
                                 state == browser::SORT_ASCENDING ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CMainDlg::ReadControls() {
    m_szFilesFilter = m_pFilesFilter->text().toStdString();
    m_szFoldersFilter = m_pFoldersFilter->text().toStdString();
    m_szDestination = m_pDestination->text().toStdString();
}

void CMainDlg::WriteControls() {
    m_pFilesFilter->setText(QString::fromStdString(m_szFilesFilter));
    m_pFoldersFilter->setText(QString::fromStdString(m_szFoldersFilter));
    m_pDestination->setText(QString::fromStdString(m_szDestination));
}

void CMainDlg::UpdateListStatus() {
    if (!m_pCurrentDrive || !m_pCurrentDrive->parser || m_bScanning) return;
    SetStatus(QString::fromStdString(m_browser.StatusText()));
}

void CMainDlg::ApplyFilters() {
    if (!m_pCurrentDrive || !m_pCurrentDrive->parser) return;
    // The list lets go of the old rows (and their ".." row) before they are replaced.
    m_pListModel->Clear();
    m_browser.ApplyFilters(m_szFilesFilter, m_szFoldersFilter);
    m_szFilesFilter = m_browser.FilesFilter();
    m_szFoldersFilter = m_browser.FoldersFilter();
    UpdateListStatus();
}

void CMainDlg::OnFilterTextChanged() {
    if (m_bScanning || m_bUndeleting) return;
    m_nFilterEditing = 1;
    ReadControls();
    ApplyFilters();
    RefreshList();
    m_nFilterEditing = 0;
}

void CMainDlg::OnFilterEditingFinished() {
    if (m_bScanning || m_bUndeleting || m_nFilterEditing != 1) return;
    ReadControls();
    ApplyFilters();
    RefreshList();
    m_nFilterEditing = 0;
}

void CMainDlg::OnFilterReturnPressed() {
    if (m_bScanning || m_bUndeleting) return;
    ReadControls();
    ApplyFilters();
    RefreshList();
}

void CMainDlg::OnClearFilter() {
    if (m_bScanning || m_bUndeleting) return;
    ReadControls();
    m_szFilesFilter = browser::kInitialFilesFilter;
    m_szFoldersFilter.clear();
    WriteControls();
    ApplyFilters();
    RefreshList();
}

void CMainDlg::OnColumnClicked(int column) {
    if (m_bScanning || m_bUndeleting || !m_pCurrentDrive || !m_pCurrentDrive->parser) return;
    // The content check's column is not one of the browser's sort keys.
    if (column >= browser::kColumnCount) return;
    m_pListModel->Clear();
    m_browser.ClickColumn(column);
    RefreshList();
}

void CMainDlg::OnListDoubleClicked(const QModelIndex& index) {
    if (m_bScanning || m_bUndeleting) return;
    // The first selected row counts, as the list reports it; the clicked row when none is.
    long row = index.isValid() ? index.row() : -1;
    const QModelIndexList selected = m_pList->selectionModel()->selectedRows();
    if (!selected.isEmpty()) {
        row = selected.first().row();
        for (const QModelIndex& i : selected) row = std::min<long>(row, i.row());
    }
    ActivateRow(row);
}

void CMainDlg::ActivateRow(long row) {
    if (!m_pCurrentDrive || !m_pCurrentDrive->parser) return;
    NodeEntry* node = m_pListModel->Node(static_cast<int>(row));
    if (!node || !node->IsDirectory()) {
        m_nFilterEditing = 0;
        RunUndeleteJob();
        return;
    }
    m_pListModel->Clear();
    m_browser.Activate(row);
    m_szFilesFilter = m_browser.FilesFilter();
    m_szFoldersFilter = m_browser.FoldersFilter();
    UpdateListStatus();
    RefreshList();
    if (m_pListModel->rowCount() > 0) m_pList->setCurrentIndex(m_pListModel->index(0, 0));
}

void CMainDlg::GoUp() {
    if (m_bScanning || m_bUndeleting || !m_pCurrentDrive || !m_pCurrentDrive->parser) return;
    for (int row = 0; row < m_pListModel->rowCount(); ++row) {
        if (m_browser.IsUpRow(m_pListModel->Node(row))) {
            ActivateRow(row);
            return;
        }
    }
}
