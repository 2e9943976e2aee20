#include "cli/CliScan.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "platform/DriveTable.h"

namespace {

class ConsoleProgress final : public IProgressSink {
public:
    explicit ConsoleProgress(bool enabled) : m_bEnabled(enabled) {}
    void OnProgress(int position) override {
        if (!m_bEnabled) return;
        if (position < 0) position = 0;
        if (position > 100) position = 100;
        constexpr int kWidth = 40;
        int filled = position * kWidth / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                     kWidth - filled, "", position);
        std::fflush(stderr);
        m_bDrawn = true;
    }
    void Finish() {
        if (m_bDrawn) std::fputs("\r\033[K", stderr);
    }

private:
    bool m_bEnabled;
    bool m_bDrawn = false;
};

void OnInterrupt(int) { UserBreak.store(1); }

constexpr int kFatNothingAdded = -3;

}  // namespace

char ResolveVolume(const std::string& volume) {
    auto& table = platform::DriveTable::Instance();
    if ((volume.size() == 2 && volume[1] == ':') || volume.size() == 1) {
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(volume[0])));
        if (letter >= 'A' && letter <= 'Z') {
            if (table.Find(letter)) return letter;
            std::fprintf(stderr, "qvr: no drive %c: in the drive table (see 'qvr drives')\n", letter);
            return 0;
        }
    }
    struct stat st {};
    if (stat(volume.c_str(), &st) != 0) {
        std::fprintf(stderr, "qvr: %s: no such drive, device or image\n", volume.c_str());
        return 0;
    }
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        std::fprintf(stderr, "qvr: %s: not a block device or an image file\n", volume.c_str());
        return 0;
    }
    char letter = table.AddSource(volume);
    if (!letter) std::fprintf(stderr, "qvr: no free drive letter for %s\n", volume.c_str());
    return letter;
}

void RunCliScan(char letter, const ScanOptions& options, CliScanResult* out) {
    out->entry.letter = letter;
    ConsoleProgress progress(isatty(STDERR_FILENO) != 0);
    UserBreak.store(0);
    SetProgressTarget(&progress);

    struct sigaction sa {}, old {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old);

    ScanOptions opts = options;
    opts.showError = [out](const char* text) {
        out->openFailed = true;
        std::fprintf(stderr, "qvr: %s\n", text);
    };
    std::thread worker([&] { out->scanResult = ScanDrive(&out->entry, opts); });
    worker.join();

    sigaction(SIGINT, &old, nullptr);
    SetProgressTarget(nullptr);
    progress.Finish();
    out->opened = out->entry.parser != nullptr;
    if (CFileSystemParser* p = out->entry.parser.get()) {
        p->m_pCurrentFolder = p->GetRoot();
        p->m_pUpFolder = p->GetRoot();
    }
}

bool ScanVolumeForTree(const std::string& volume, const ScanOptions& options, CliScanResult* out,
                       int* exitStatus) {
    char letter = ResolveVolume(volume);
    if (!letter) {
        *exitStatus = kExitFailure;
        return false;
    }
    RunCliScan(letter, options, out);
    if (out->entry.parser) return true;
    *exitStatus = ReportScanOutcome(volume, *out);
    return false;
}

int ReportScanOutcome(const std::string& volume, const CliScanResult& r) {
    if (!r.opened) {
        if (r.openFailed)
            std::fprintf(stderr, "qvr: %s: the volume could not be opened\n", volume.c_str());
        else
            std::fprintf(stderr, "qvr: %s: unknown file system (not NTFS, FAT12, FAT16, FAT32 or exFAT)\n", volume.c_str());
        return kExitFailure;
    }
    if (r.scanResult != 0) {
        // The FAT walk answers -3 when the root gave no entries to add: the scan completed
        // and simply found nothing deleted, which is no failure for a script.
        const uint8_t fs = r.entry.parser->GetFileSystemType();
        if (fs != FS_NTFS && r.entry.scanStatus == kFatNothingAdded) {
            std::fprintf(stderr, "qvr: %s: nothing deleted was found\n", volume.c_str());
            return kExitOk;
        }
        if (r.entry.scanStatus == USER_BREAK_STATUS)
            std::fprintf(stderr, "qvr: %s: scan stopped by the user; the tree is incomplete\n", volume.c_str());
        else
            std::fprintf(stderr, "qvr: %s: scan ended with status %d; the tree may be incomplete\n", volume.c_str(),
                         r.entry.scanStatus);
        return kExitFailure;
    }
    return kExitOk;
}

std::string NodePath(const NodeEntry* node) {
    std::vector<const char*> parts;
    // The parent chain of a placed node ends at the root; the bound guards a damaged tree.
    for (const NodeEntry* n = node; n && n->parent && parts.size() < 100000; n = n->parent)
        parts.push_back(n->name ? n->name : "");
    std::string path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        path += '/';
        path += *it;
    }
    return path.empty() ? "/" : path;
}
