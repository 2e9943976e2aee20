// qvr recover: deleted files and folders of a volume, named by their paths, written
// into a destination folder through the undelete job.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/BrowserModel.h"
#include "app/UndeleteJob.h"
#include "cli/CliScan.h"
#include "cli/Commands.h"
#include "cli/NodeLookup.h"
#include "fslib/core/RecycleBin.h"
#include "fslib/core/RecycleBinVista.h"

namespace {

enum class OverwriteMode { Ask, All, Skip };

// The job's questions and message boxes on the terminal.
class TerminalPrompt final : public IUndeletePrompt {
public:
    explicit TerminalPrompt(OverwriteMode mode) : m_mode(mode) {}

    Answer ConfirmOverwrite(const std::string& text) override {
        if (m_mode == OverwriteMode::All) return Answer::All;
        if (m_mode == OverwriteMode::Skip) return Answer::No;
        for (;;) {
            std::fprintf(stderr, "Confirm File Overwrite: %s [y]es, [n]o, [a]ll, [c]ancel: ", text.c_str());
            std::fflush(stderr);
            std::string line;
            if (!std::getline(std::cin, line)) return Answer::Cancel;
            if (line == "y" || line == "yes" || line == "Y") return Answer::Yes;
            if (line == "n" || line == "no" || line == "N") return Answer::No;
            if (line == "a" || line == "all" || line == "A") return Answer::All;
            if (line == "c" || line == "cancel" || line == "C") return Answer::Cancel;
        }
    }

    void ShowMessage(Icon icon, const std::string& caption, const std::string& text) override {
        FILE* out = icon == Icon::Information ? stdout : stderr;
        std::string line = caption.empty() ? text : caption + " " + text;
        for (char& c : line)
            if (c == '\n') c = ' ';
        std::fprintf(out, "%s\n", line.c_str());
        std::fflush(out);
    }

private:
    OverwriteMode m_mode;
};

// A file in a Recycle Bin folder is named by its bin path; it is written under its name
// before deletion when the bin's index knows it. The browser's rule says which files an
// index may name, so qvr and the desktop program list and write the same items.
void LookUpRecycleBinName(DriveEntry* drive, NodeEntry* node) {
    if (recyclebin::IsVistaBinItem(node) || recyclebin::IsInfo2BinFile(node))
        CBrowserModel::VolumeRecycleBinLookup(drive)(drive->letter, node);
}

}  // namespace

// The options, then the recovery and its report, read top to bottom like the usage text.
// NOLINTNEXTLINE(readability-function-size)
int CmdRecover(int argc, char** argv) {
    std::string volume, destination, report;
    std::vector<std::string> items;
    OverwriteMode mode = isatty(STDIN_FILENO) ? OverwriteMode::Ask : OverwriteMode::Skip;
    ScanOptions options;
    bool streams = false;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--to" || a == "--overwrite" || a == "--report") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qvr recover: %s needs a value\n", a.c_str());
                return kExitUsage;
            }
            std::string v = argv[++i];
            if (a == "--to") {
                destination = v;
            } else if (a == "--report") {
                report = v;
            } else if (v == "ask") {
                mode = OverwriteMode::Ask;
            } else if (v == "all") {
                mode = OverwriteMode::All;
            } else if (v == "skip") {
                mode = OverwriteMode::Skip;
            } else {
                std::fprintf(stderr, "qvr recover: --overwrite takes ask, all or skip\n");
                return kExitUsage;
            }
        } else if (a == "--orphans") {
            options.attachOrphans = true;
        } else if (a == "--streams") {
            streams = true;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            std::fprintf(stderr, "qvr recover: unexpected argument %s\n", a.c_str());
            return kExitUsage;
        } else if (volume.empty()) {
            volume = a;
        } else {
            items.push_back(a);
        }
    }
    if (volume.empty() || items.empty() || destination.empty()) {
        std::fprintf(stderr,
                     "usage: qvr recover VOLUME ITEM... --to DIR [--overwrite ask|all|skip] [--orphans] [--report "
                     "FILE] [--streams]\n");
        return kExitUsage;
    }
    CliScanResult result;
    int exitStatus = kExitFailure;
    if (!ScanVolumeForTree(volume, options, &result, &exitStatus)) return exitStatus;
    if (UserBreak.load()) {
        std::fprintf(stderr, "qvr recover: the scan was interrupted; nothing was recovered\n");
        return kExitFailure;
    }

    bool missing = false;
    UndeleteRequest request;
    request.drive = &result.entry;
    request.destination = destination;
    request.reportPath = report;
    request.recoverNamedStreams = streams;
    for (const std::string& item : items) {
        NodeEntry* root = result.entry.parser->GetRoot();
        // Scripts written for the '_' spelling of deleted long names keep working for one
        // release, with a warning.
        bool oldSpelling = false;
        std::vector<NodeEntry*> found = FindNodesByPath(root, item, &oldSpelling);
        if (oldSpelling)
            std::fprintf(stderr,
                         "qvr recover: %s: '_' in place of the first character is the old spelling of a deleted long "
                         "name, which is now shown whole; it will not be accepted in the next release\n",
                         item.c_str());
        // The root stands for everything deleted on the volume; after the scan's marking
        // pass a folder's isDeleted byte says whether anything deleted lies below it.
        if (found.size() == 1 && found[0] == root) {
            found.clear();
            for (NodeEntry* child : root->Children())
                if (child->isDeleted) found.push_back(child);
            if (found.empty()) {
                // Deleted folders with nothing deleted inside are not listed either.
                std::fprintf(stderr, "qvr recover: %s: nothing deleted on %s holds data; nothing was written\n",
                             item.c_str(), volume.c_str());
                continue;
            }
        }
        if (found.empty()) {
            std::fprintf(stderr, "qvr recover: %s: not found on %s\n", item.c_str(), volume.c_str());
            missing = true;
            continue;
        }
        for (NodeEntry* n : found) {
            LookUpRecycleBinName(&result.entry, n);
            request.selection.push_back(n);
        }
    }
    if (request.selection.empty()) return missing ? kExitFailure : ReportScanOutcome(volume, result);

    TerminalPrompt prompt(mode);
    // Ctrl-C is the Cancel button: the file being written stops and the job ends.
    struct sigaction sa {
    }, old{};
    sa.sa_handler = [](int) { UserBreak.store(1); };
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old);
    UndeleteOutcome outcome = UndeleteSelection(request, prompt);
    sigaction(SIGINT, &old, nullptr);
    bool failed = missing || outcome.refused || outcome.cancelled || outcome.failed > 0 || outcome.reportFailed;
    if (outcome.cancelled) std::fprintf(stderr, "qvr recover: cancelled\n");
    int scanStatus = ReportScanOutcome(volume, result);
    return failed ? kExitFailure : scanStatus;
}
