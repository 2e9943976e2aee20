// CMainDlg: commands that hand something to the desktop: the destination folder
// browser, the log folder, the support and home pages.
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QUrl>

#include "common/logger/Logger.h"
#include "gui/MainDlg.h"

void CMainDlg::OnBrowse() {
    if (m_bScanning || m_bUndeleting) return;
    ReadControls();
    const QString chosen = QFileDialog::getExistingDirectory(this, QString(), QString::fromStdString(m_szDestination),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return;
    m_szDestination = chosen.toStdString();
    if (m_szDestination.back() != '/') m_szDestination += '/';
    WriteControls();
}

void CMainDlg::OnOpenLogFolder() {
    const QString path = QString::fromUtf8(g_Logger.GetLogFileName());
    const QFileInfo log(path);
    if (path.isEmpty() || !log.exists()) return;
    // The folder that holds the log, so the file manager shows the log itself.
    QDesktopServices::openUrl(QUrl::fromLocalFile(log.absolutePath()));
}

void CMainDlg::OnSupport() { QDesktopServices::openUrl(QUrl(ProfileValue("SupportURL"))); }

void CMainDlg::OnWebSite() { QDesktopServices::openUrl(QUrl(ProfileValue("HomeURL"))); }
