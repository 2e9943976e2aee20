#include "gui/QuenvarApp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QMessageBox>
#include <cstring>

#include "app/PartitionedDisk.h"
#include "common/logger/Logger.h"
#include "common/runtime/RuntimeQueries.h"
#include "fslib/core/FileSystemParser.h"
#include "gui/MainDlg.h"
#include "gui/MainDlgStrings.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/RawVolume.h"

namespace {

constexpr const char* kDefaultLogName = "log_qvr.log";
constexpr int kRuntimeLoadFailed = -1;
constexpr size_t kBootSignatureOffset = 510;
constexpr size_t kGptHeaderOffset = 512;  // "EFI PART" opens sector 1

void StartupError(const char* message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quenvar"), QString::fromUtf8(message), QMessageBox::Ok);
    box.exec();
}

}  // namespace

bool NamesVolume(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    if (S_ISBLK(st.st_mode)) return true;
    if (!S_ISREG(st.st_mode) || st.st_size < 512) return false;
    // Read through the source layer, so a disk inside an image container counts.
    // An image container or split set that cannot be read is still an image, never a
    // log file to append to: the failure text is only set for those.
    const int fd = platform::OpenRawSource(path);
    if (fd < 0) return !platform::RawSourceOpenFailure().empty();
    uint8_t head[1024] = {};
    size_t got = 0;
    platform::RawRead(fd, head, sizeof head, 0, &got);
    platform::CloseRawSource(fd);
    if (got < 512) return false;
    if (DetectFileSystem(head, 512) != FS_UNKNOWN) return true;
    if (head[kBootSignatureOffset] == 0x55 && head[kBootSignatureOffset + 1] == 0xAA) return true;
    return got >= 520 && std::memcmp(head + kGptHeaderOffset, "EFI PART", 8) == 0;
}

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
