#include "gui/QuenvarApp.h"

#include <QMessageBox>

#include "app/PartitionedDisk.h"
#include "app/VolumeProbe.h"
#include "common/logger/Logger.h"
#include "common/runtime/RuntimeQueries.h"
#include "gui/MainDlg.h"
#include "gui/MainDlgStrings.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "platform/Folders.h"

namespace {

constexpr const char* kDefaultLogName = "log_qvr.log";
constexpr int kRuntimeLoadFailed = -1;

void StartupError(const char* message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quenvar"), QString::fromUtf8(message), QMessageBox::Ok);
    box.exec();
}

}  // namespace

std::string DefaultLogPath() {
    std::string folder = runtime::QueryLogFilesFolder();
    if (folder.empty()) return kDefaultLogName;
    platform::MakeFolders(folder);
    // The library's folder ends with its separator: the name is appended as it stands.
    return folder + kDefaultLogName;
}

StartupChoice ChooseStartup(const QStringList& arguments) {
    StartupChoice choice;
    const std::string first = arguments.isEmpty() ? std::string() : arguments.first().toStdString();
    if (!first.empty() && !NamesVolume(first)) {
        choice.logPath = first;
        choice.defaultLog = false;
        return choice;
    }
    choice.volumeSource = first;
    choice.logPath = DefaultLogPath();
    return choice;
}

int CQuenvarApp::InitInstance(const QStringList& arguments) {
    if (!m_lock.TryAcquire()) return 0;

    const StartupChoice choice = ChooseStartup(arguments);
    if (choice.defaultLog) platform::DeleteFile(choice.logPath);
    g_Logger.Open(choice.logPath.c_str());
    g_Logger.Activate();
    InstallPartitionLister();

    char preferred = 0;
    if (!choice.volumeSource.empty()) preferred = platform::DriveTable::Instance().AddSource(choice.volumeSource);

    try {
        CMainDlg dialog(preferred);
        m_pMainWnd = &dialog;
        dialog.exec();
        m_pMainWnd = nullptr;
    } catch (int value) {
        m_pMainWnd = nullptr;
        StartupError(value == kRuntimeLoadFailed ? text::kLoadFailed : text::kInternalProductError);
    } catch (...) {
        m_pMainWnd = nullptr;
        StartupError(text::kInternalShellError);
    }
    return 0;
}
