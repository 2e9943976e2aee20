// CMainDlg: the Scan command and the interface-thread half of the scan job.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

#include "common/logger/Logger.h"
#include "gui/ControlIds.h"
#include "gui/FileListModel.h"
#include "gui/HintPanel.h"
#include "gui/JobThread.h"
#include "gui/MainDlg.h"
#include "gui/MainDlgStrings.h"

namespace {
QString Letter(QString format, char letter) { return format.replace(QStringLiteral("%c"), QString(QChar(letter))); }
}  // namespace

void CMainDlg::OnScan() {
    if (m_bScanning || m_bUndeleting) return;
    LoggingModePrompt();
    StartScan();
}

bool CMainDlg::LoggingModePrompt() {
    if (!(QApplication::keyboardModifiers() & Qt::ShiftModifier)) return false;
    QMessageBox question(QMessageBox::Question, QString::fromUtf8(text::kLoggingModeCaption),
                         QString::fromUtf8(text::kLoggingModeText), QMessageBox::Ok | QMessageBox::Cancel, this);
    if (question.exec() != QMessageBox::Ok) return false;
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("log"));
    dialog.setNameFilter(QString::fromUtf8(text::kLogFilter));
    dialog.selectFile(QString::fromUtf8(text::kLogDefaultName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const QByteArray path = dialog.selectedFiles().first().toUtf8();
    g_Logger.Open(path.constData());
    g_Logger.Activate();
    return true;
}

void CMainDlg::StartScan() {
    if (m_bScanning) return;
    DriveEntry* entry = SelectedEntry();
    if (entry) {
        ProbeDrive(entry);
        if (entry->supportState != 1) return;
    }
    SetCommandsEnabled(false);
    m_pListModel->Clear();
    ReadControls();
    if (entry) {
        // An NTFS rescan keeps the parser: the tree it built last time goes now that
        // no row of the list points into it.
        if (entry->parser && entry->parser->GetFileSystemType() == FS_NTFS) {
            m_browser.ForgetTree(entry);
            ReleaseTree(entry);
        }
        RunScanJob(entry);
    }
    m_pInvitation->hide();
    RefreshList();
    SetCommandsEnabled(true);
    Command(ids::ID_FILE_UNDELETE)->setEnabled(true);
    if (m_pCurrentDrive) {
        const QString rescan = Letter(QString::fromUtf8(text::kRescanButton), m_pCurrentDrive->letter);
        m_pRescan->setText(rescan);
        Command(ids::ID_FILE_SCAN)->setText(rescan);
        if (m_pCurrentDrive->parser)
            UpdateListStatus();
        else
            ShowDriveState(m_pCurrentDrive);  // the scan gave no tree: the drive's state, not "Scanning"
    }
    // The Scan button lost the keyboard while it was disabled: the list takes it, on its
    // first row, so the result can be browsed with the keys at once.
    if (m_pListModel->rowCount() > 0) {
        m_pList->setFocus();
        m_pList->setCurrentIndex(m_pListModel->index(0, 0));
    }
    if (m_bCloseRequested) done(0);
}

void CMainDlg::RunScanJob(DriveEntry* entry) {
    m_pCurrentDrive = entry;
    m_browser.SelectDrive(entry);
    UserBreak.store(0);
    BeginJob(Letter(QString::fromUtf8(text::kScanningDrive), entry->letter));
    m_pInvitation->hide();
    m_bScanning = true;

    {
        ScanOptions options;
        options.showError = [this](const char* message) {
            m_pPrompt->ShowMessage(IUndeletePrompt::Icon::Error, "", message);
        };
        CJobThread worker([entry, options] { ScanDrive(entry, options); });
        worker.Wait();
    }

    ReadControls();
    if (entry->parser) {
        m_browser.SetFilterStrings(m_szFilesFilter, m_szFoldersFilter);
        m_browser.OnScanFinished();
        m_szFilesFilter = m_browser.FilesFilter();
        m_szFoldersFilter = m_browser.FoldersFilter();
    }
    m_bScanning = false;
    EndJob();
}
