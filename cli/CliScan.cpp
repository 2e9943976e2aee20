#include "cli/CliScan.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "app/VolumeProbe.h"
#include "fslib/fat/FATParser.h"
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
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################", kWidth - filled,
                     "", position);
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

// "IMAGE@N": the path and N, when the volume has that form.
bool SplitPartitionName(const std::string& volume, std::string* path, uint32_t* number) {
    const size_t at = volume.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 >= volume.size() || volume.size() - at > 4) return false;
    uint32_t n = 0;
    for (size_t i = at + 1; i < volume.size(); ++i) {
        if (volume[i] < '0' || volume[i] > '9') return false;
        n = n * 10 + static_cast<uint32_t>(volume[i] - '0');
    }
    if (n == 0) return false;
    *path = volume.substr(0, at);
    *number = n;
    return true;
}

void ListPartitions(const std::string& name, const std::vector<PartitionProbe>& parts) {
    for (const PartitionProbe& part : parts) {
        const platform::DriveSource& p = part.drive;
        const char* fs = FileSystemName(part.fileSystem);
        std::fprintf(stderr, "  %s@%u  (%c:)  start %llu  size %llu  %s  %s\n", name.c_str(), p.partition, p.letter,
                     static_cast<unsigned long long>(p.firstSector),
                     static_cast<unsigned long long>(p.sectorCount) * 512, p.partitionType.c_str(), fs ? fs : "-");
    }
}

// A partitioned disk stands for its only partition with a file system we scan; with
// several (or none) the user has to say which.
char ChooseVolume(char letter, const std::string& name) {
    const auto drive = platform::DriveTable::Instance().Find(letter);
    if (!drive || drive->partition != 0) return letter;
    const VolumeProbe probe = ProbeVolume(letter, {.layout = true, .partitions = true, .quiet = true});
    if (probe.partitions.empty()) {
        // A table we refused leaves the disk whole; say why it holds no partitions.
        if (!probe.table.error.empty())
            std::fprintf(stderr, "qvr: %s: partition table refused: %s\n", name.c_str(), probe.table.error.c_str());
        return letter;
    }
    const std::vector<char> scannable = probe.ScannablePartitions();
    if (scannable.size() == 1) return scannable.front();
    if (scannable.empty())
        std::fprintf(stderr, "qvr: %s: no partition holds %s:\n", name.c_str(), kScannedFileSystems);
    else
        std::fprintf(stderr, "qvr: %s: %zu partitions can be scanned; name one as %s@N:\n", name.c_str(),
                     scannable.size(), name.c_str());
    ListPartitions(name, probe.partitions);
    return 0;
}

}  // namespace

char ResolveVolume(const std::string& volume) {
    auto& table = platform::DriveTable::Instance();
    if ((volume.size() == 2 && volume[1] == ':') || volume.size() == 1) {
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(volume[0])));
        if (letter >= 'A' && letter <= 'Z') {
            if (table.Find(letter)) return ChooseVolume(letter, volume);
            std::fprintf(stderr, "qvr: no drive %c: in the drive table (see 'qvr drives')\n", letter);
            return 0;
        }
    }
    struct stat st {};
    std::string path = volume;
    uint32_t partition = 0;
    // A path that exists is that file, '@' in its name or not.
    if (stat(volume.c_str(), &st) != 0 &&
        !(SplitPartitionName(volume, &path, &partition) && stat(path.c_str(), &st) == 0)) {
        std::fprintf(stderr, "qvr: %s: no such drive, device or image\n", volume.c_str());
        return 0;
    }
    const AddedSource added = AddVolumeSource(path);
    if (!added.letter) {
        std::fprintf(stderr, "qvr: %s: %s\n", path.c_str(), added.reason.c_str());
        return 0;
    }
    const char letter = added.letter;
    if (partition == 0) return ChooseVolume(letter, volume);
    const char part = table.FindPartition(path, partition);
    if (part) return part;
    const VolumeProbe probe = ProbeVolume(letter, {.layout = true, .partitions = true, .quiet = true});
    if (probe.partitions.empty()) {
        if (!probe.table.error.empty())
            std::fprintf(stderr, "qvr: %s: partition table refused: %s\n", path.c_str(), probe.table.error.c_str());
        else
            std::fprintf(stderr, "qvr: %s: no partition table\n", path.c_str());
    } else {
        std::fprintf(stderr, "qvr: %s: no partition %u; it has:\n", path.c_str(), partition);
        ListPartitions(path, probe.partitions);
    }
    return 0;
}

void RunCliScan(char letter, const ScanOptions& options, CliScanResult* out) {
    out->entry.letter = letter;
    ConsoleProgress progress(isatty(STDERR_FILENO) != 0);
    UserBreak.store(0);
    SetProgressTarget(&progress);

    struct sigaction sa {
    }, old{};
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
}

bool ScanVolumeForTree(const std::string& volume, const ScanOptions& options, CliScanResult* out, int* exitStatus) {
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
            std::fprintf(stderr, "qvr: %s: %s\n", volume.c_str(), NotOpenedText(r.entry.letter).c_str());
        else
            std::fprintf(stderr, "qvr: %s: unknown file system: it holds no %s file system\n", volume.c_str(),
                         kScannedFileSystems);
        return kExitFailure;
    }
    if (r.scanResult != 0) {
        // The FAT walk answers FAT_WALK_EMPTY when the root gave no entries to add: the scan completed
        // and simply found nothing deleted, which is no failure for a script.
        const uint8_t fs = r.entry.parser->GetFileSystemType();
        if (fs != FS_NTFS && r.entry.scanStatus == FAT_WALK_EMPTY) {
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

std::string NotOpenedText(char letter) {
    // The scan's worker kept no cause; the source is asked again, quietly.
    const VolumeProbe probe = ProbeVolume(letter, {.quiet = true});
    if (probe.opened) return "cannot be opened";
    return "cannot be opened: " + probe.OpenCause();
}
