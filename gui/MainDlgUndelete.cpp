// CMainDlg: the Undelete command and the interface-thread half of the undelete job.
#include <QAction>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTreeView>
#include <algorithm>

#include "app/RecoveryReport.h"
#include "fslib/core/RecoveryTarget.h"
#include "gui/ConfirmOverwriteDlg.h"
#include "gui/ControlIds.h"
#include "gui/FileListModel.h"
#include "gui/JobThread.h"
#include "gui/MainDlg.h"
#include "gui/MainDlgStrings.h"

void CMainDlg::OnUndelete() { RunUndeleteJob(); }

std::vector<NodeEntry*> CMainDlg::SelectedNodes() const {
    std::vector<int> rows;
    for (const QModelIndex& index : m_pList->selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<NodeEntry*> nodes;
    for (int row : rows)
        if (NodeEntry* node = m_pListModel->Node(row)) nodes.push_back(node);
    return nodes;
}

IUndeletePrompt::Answer CMainDlg::AskOverwrite(const QString& text) {
    CConfirmOverwriteDlg dialog(this, text, m_warningIcon);
    return CConfirmOverwriteDlg::AnswerOf(dialog.exec());
}

void CMainDlg::RunUndeleteJob() {
    if (m_bUndeleting || m_bScanning) return;
    g_nOverwriteAll.store(0);
    g_nSkipThis.store(0);
    UserBreak.store(0);
    const std::vector<NodeEntry*> selection = SelectedNodes();
    if (selection.empty() || m_browser.IsUpRow(selection.front()) || !m_pCurrentDrive || !m_pCurrentDrive->parser) {
        m_pPrompt->ShowMessageNow(IUndeletePrompt::Icon::Exclamation, QString(),
                                  QString::fromUtf8(text::kSelectFilePlease));
        return;
    }
    ReadControls();
    m_bUndeleting = true;
    SetCommandsEnabled(false);
    BeginJob(QString::fromUtf8(text::kRecoveringFiles));

    UndeleteRequest request;
    request.drive = m_pCurrentDrive;
    request.selection = selection;
    request.destination = m_szDestination;
    if (Command(ids::ID_FILE_WRITE_REPORT)->isChecked()) {
        request.reportPath = recovery::JoinTarget(m_szDestination, kRecoveryReportName);
        request.reportFreeName = true;
    }
    request.recoverNamedStreams = Command(ids::ID_FILE_RECOVER_STREAMS)->isChecked();
    {
        CJobThread worker([this, &request] { UndeleteSelection(request, *m_pPrompt); });
        worker.Wait();
    }

    EndJob();
    SetCommandsEnabled(true);
    m_bUndeleting = false;
    UpdateListStatus();
    if (m_bCloseRequested) done(0);
}
