// qvr carve: the search by content. Lists the photos and videos found in a volume's free
// clusters (or every sector of a drive without a known file system) and, with --to,
// writes them, since a second command could not reuse a search that may take hours.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "app/ContentSearchJob.h"
#include "cli/CliScan.h"
#include "cli/Commands.h"
#include "fslib/core/JobState.h"

namespace {

void OnInterrupt(int) { UserBreak.store(1); }

// Bytes read, files found, speed and time left on one line of stderr, a few times a second.
class ConsoleSearchProgress final : public carve::ISearchSink {
public:
    explicit ConsoleSearchProgress(bool enabled) : m_bEnabled(enabled), m_start(Clock::now()), m_last(m_start) {}
    void OnFound(const carve::FoundFile&) override {}
    void OnProgress(const carve::SearchProgress& p) override {
        if (!m_bEnabled) return;
        auto now = Clock::now();
        if (now - m_last < std::chrono::milliseconds(250) && p.bytesDone < p.bytesTotal) return;
        m_last = now;
        double seconds = std::chrono::duration<double>(now - m_start).count();
        double rate = seconds > 0 ? static_cast<double>(p.bytesDone) / seconds : 0;
        double left = rate > 0 ? static_cast<double>(p.bytesTotal - p.bytesDone) / rate : 0;
        std::fprintf(stderr, "\r\033[K%llu of %llu MiB, %llu files, %.1f MB/s, %.0f s left",
                     static_cast<unsigned long long>(p.bytesDone >> 20),
                     static_cast<unsigned long long>(p.bytesTotal >> 20), static_cast<unsigned long long>(p.filesFound),
                     rate / 1e6, left);
        std::fflush(stderr);
        m_bDrawn = true;
    }
    void Finish() {
        if (m_bDrawn) std::fputs("\r\033[K", stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    bool m_bEnabled;
    Clock::time_point m_start, m_last;
    bool m_bDrawn = false;
};

const char* DamageWordOf(const carve::FoundFile& f) { return f.whole ? "Good" : "Average"; }

}  // namespace

// The options, then the search and its two outputs, read top to bottom like the usage text.
// NOLINTNEXTLINE(readability-function-size)
int CmdCarve(int argc, char** argv) {
    std::string volume, destination;
    carve::SearchOptions options;
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--types" || a == "--to") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qvr carve: %s needs a value\n", a.c_str());
                return kExitUsage;
            }
            (a == "--to" ? destination : options.types) = argv[++i];
        } else if (a == "--all-clusters") {
            options.allClusters = true;
        } else if (a == "--json") {
            json = true;
        } else if (volume.empty() && !(a.size() > 1 && a[0] == '-')) {
            volume = a;
        } else {
            std::fprintf(stderr, "qvr carve: unexpected argument %s\n", a.c_str());
            return kExitUsage;
        }
    }
    if (volume.empty()) {
        std::fprintf(stderr, "usage: qvr carve VOLUME [--types jpg,png,...] [--all-clusters] [--json] [--to DIR]\n");
        return kExitUsage;
    }
    std::vector<std::string> unknown;
    carve::SelectFormats(options.types, &unknown);
    if (!unknown.empty()) {
        std::fprintf(stderr, "qvr carve: unknown type %s\n", unknown.front().c_str());
        return kExitUsage;
    }
    char letter = ResolveVolume(volume);
    if (!letter) return kExitFailure;

    struct sigaction sa {};
    struct sigaction old {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old);
    ConsoleSearchProgress progress(isatty(STDERR_FILENO) != 0);
    ContentSearchOutcome outcome;
    RunContentSearch(letter, options, &progress, &outcome);
    progress.Finish();
    if (outcome.status == -1) {
        sigaction(SIGINT, &old, nullptr);
        std::fprintf(stderr, "qvr carve: cannot open %s\n", volume.c_str());
        return kExitFailure;
    }
    bool stopped = outcome.status == USER_BREAK_STATUS;
    if (stopped) std::fprintf(stderr, "qvr carve: stopped; listing what was found so far\n");

    int status = kExitOk;
    FoundFilesWritten written;
    if (!destination.empty()) {
        UserBreak.store(0);
        written = WriteFoundFiles(letter, outcome, destination);
        if (written.refused) {
            std::fprintf(stderr, "Cannot Undelete to Drive %c: %s\n", letter, written.message.c_str());
            status = kExitFailure;
        } else if (written.failed) {
            std::fprintf(stderr, "qvr carve: %u files could not be written: %s\n", written.failed,
                         written.message.c_str());
            status = kExitFailure;
        }
    }
    sigaction(SIGINT, &old, nullptr);

    uint32_t whole = 0;
    for (const auto& f : outcome.files) whole += f.whole ? 1 : 0;
    if (json) {
        nlohmann::json out;
        out["volume"] = volume;
        out["file_system"] = outcome.fileSystem ? outcome.fileSystem : "";
        out["searched"] = outcome.freeClustersOnly ? "free clusters" : "every sector";
        out["bytes_searched"] = outcome.bytesSearched;
        out["complete"] = !stopped;
        nlohmann::json list = nlohmann::json::array();
        for (const auto& f : outcome.files) {
            nlohmann::json item;
            item["name"] = f.FileName();
            item["type"] = f.typeName;
            item["extension"] = f.extension;
            item["offset"] = f.offset;
            item["first_sector"] = f.FirstSector();
            item["size"] = f.length;
            item["whole"] = f.whole;
            item["damage"] = DamageWordOf(f);
            if (!f.dateTaken.empty()) item["date_taken"] = f.dateTaken;
            list.push_back(item);
        }
        out["files"] = list;
        if (!destination.empty()) out["written"] = written.written;
        std::printf("%s\n", out.dump(1).c_str());
    } else {
        for (const auto& f : outcome.files)
            std::printf("%-14s %-17s %12llu  %-7s sector %llu%s%s\n", f.FileName().c_str(), f.typeName.c_str(),
                        static_cast<unsigned long long>(f.length), DamageWordOf(f),
                        static_cast<unsigned long long>(f.FirstSector()), f.dateTaken.empty() ? "" : "  taken ",
                        f.dateTaken.c_str());
        std::printf("%zu files found (%u whole, %zu damaged) in %llu MiB of %s%s\n", outcome.files.size(), whole,
                    outcome.files.size() - whole, static_cast<unsigned long long>(outcome.bytesSearched >> 20),
                    outcome.freeClustersOnly ? "free clusters" : "sectors",
                    outcome.fileSystem ? (std::string(" on ") + outcome.fileSystem).c_str() : "");
        if (!destination.empty() && !written.refused)
            std::printf("%u files written to %s\n", written.written, destination.c_str());
    }
    return stopped ? kExitFailure : status;
}
