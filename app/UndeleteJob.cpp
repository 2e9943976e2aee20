#include "app/UndeleteJob.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "app/BrowserModel.h"
#include "app/DestinationCheck.h"
#include "app/RecoveryReport.h"
#include "common/logger/Logger.h"
#include "fslib/core/JobState.h"
#include "fslib/core/RecoveredFiles.h"
#include "fslib/core/RecoveryTarget.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"

std::atomic<int> g_nOverwriteAll{0};
std::atomic<int> g_nSkipThis{0};

namespace {

using Icon = IUndeletePrompt::Icon;

// What the job passes to RecoverNode as its mode: the free-name search stays on.
constexpr int kRecoverMode = -1000;
// Deeper than any binned folder; bounds the copy of a damaged tree.
constexpr uint32_t kMaxStandInDepth = 1024;

std::string Format(const char* fmt, const std::string& a) {
    char text[1024];
    std::snprintf(text, sizeof text, fmt, a.c_str());
    return text;
}

// A Recycle Bin item is written under its name from before deletion, through a stand-in
// that recovery treats as deleted: a binned file or folder is live on the volume (or, in
// a later bin, may be deleted with everything inside it). A folder's stand-in copies its
// subtree, whose nodes recovery then writes as they are.
std::unique_ptr<NodeEntry> StandInTree(const NodeEntry* node, const char* name, uint32_t depth = 0) {
    auto standIn = std::make_unique<NodeEntry>(node->key, name, node->attributes, 1);
    standIn->size = node->size;
    standIn->modifiedTime = node->modifiedTime;
    standIn->createdTime = node->createdTime;
    standIn->damageLevel = node->damageLevel;
    standIn->parent = node->parent;
    if (depth >= kMaxStandInDepth) return standIn;
    for (NodeEntry* child : node->Children()) {
        if (!child->name) continue;
        NodeEntry* copy = StandInTree(child, child->name, depth + 1).release();
        copy->parent = standIn.get();
        standIn->AddChild(copy);
    }
    return standIn;
}

std::unique_ptr<NodeEntry> RecycleBinStandIn(const NodeEntry* item) {
    std::string folder, name, extension;
    browser::SplitPath(item->pathBeforeDeletion, &folder, &name, &extension);
    return StandInTree(item, (name + extension).c_str());
}

// Whether the file that recovery will write is already there.
bool TargetExists(const std::string& destination, const NodeEntry* node) {
    std::string name = recovery::NodeTargetName(node);
    if (name.empty()) return false;
    return recovery::PathTaken(recovery::JoinTarget(destination, recovery::MakeSafeName(name)));
}

void Report(IUndeletePrompt& prompt, int result, const std::string& name, uint32_t files, uint32_t folders,
            UndeleteOutcome* outcome) {
    char text[1024];
    switch (result) {
        case RECOVER_OK:
            if (files == 0 && folders == 0) {
                prompt.ShowMessage(Icon::Information, "",
                                   Format("'%s' holds nothing deleted; nothing was written.", name));
                ++outcome->skipped;
                return;
            }
            if (folders == 0)
                std::snprintf(text, sizeof text, "File '%s' was successfully recovered.", name.c_str());
            else
                std::snprintf(text, sizeof text, "Folder '%s' was successfully recovered: %d files, %d subfolders",
                              name.c_str(), static_cast<int>(files), static_cast<int>(folders));
            prompt.ShowMessage(Icon::Information, "", text);
            ++outcome->recovered;
            if (uint32_t failures = recovery::Failures()) {
                outcome->failed += failures;
                std::snprintf(text, sizeof text, "%u item(s) in '%s' could not be recovered; see the log.", failures,
                              name.c_str());
                prompt.ShowMessage(Icon::Error, "", text);
            }
            return;
        case RECOVER_NO_FOLDER:
            prompt.ShowMessage(Icon::Error, "", "Can`t create directory");
            g_Logger.Info("[SA] Can't create directory.");
            break;
        case RECOVER_NOT_FOUND:
            prompt.ShowMessage(Icon::Error, "", "Can`t find file");
            g_Logger.Info("[SA] Can't find file.");
            break;
        case RECOVER_DISK_FULL:
            prompt.ShowMessage(Icon::Error, "", "Not enough disk space");
            g_Logger.Info("[SA] Not enough disk space.");
            break;
        case RECOVER_USER_BREAK: return;
        case RECOVER_PATH_NOT_FOUND:
            prompt.ShowMessage(Icon::Error, "", "The destination folder was not found");
            g_Logger.Info("[SA] Destination folder not found.");
            break;
        default:
            // 0 (nothing could be written under any name) and the FAT form's -1 (no cluster).
            prompt.ShowMessage(Icon::Error, "", Format("File '%s' could not be recovered.", name));
            g_Logger.InfoF("[SA] File could not be recovered, result %d.", result);
            break;
    }
    ++outcome->failed;
}

// Writes the report of what the job wrote, when one was asked for.
void FinishReport(const UndeleteRequest& request, const std::string& source, IUndeletePrompt& prompt,
                  UndeleteOutcome* outcome) {
    std::vector<recovery::WrittenFile> files = recovery::StopRecordingWrittenFiles();
    if (request.reportPath.empty()) return;
    std::string error;
    CFileSystemParser* parser = request.drive->parser.get();
    const std::string path = request.reportFreeName ? recovery::FindFreeName(request.reportPath) : request.reportPath;
    if (WriteRecoveryReport(path, source, FileSystemName(parser->GetFileSystemType()), request.destination, files,
                            &error))
        return;
    outcome->reportFailed = true;
    g_Logger.ErrorF("the recovery report %s could not be written: %s", path.c_str(), error.c_str());
    prompt.ShowMessage(Icon::Error, "", "The recovery report " + path + " could not be written: " + error);
}

}  // namespace

// One pass over the selection with its questions and messages in the order the user meets them.
// NOLINTNEXTLINE(readability-function-size)
UndeleteOutcome UndeleteSelection(const UndeleteRequest& request, IUndeletePrompt& prompt) {
    UndeleteOutcome outcome;
    UserBreak.store(0);
    g_nOverwriteAll.store(0);
    g_nSkipThis.store(0);
    DriveEntry* drive = request.drive;
    char letter = drive ? static_cast<char>(std::toupper(static_cast<unsigned char>(drive->letter))) : '?';

    std::string source = request.source;
    if (source.empty() && drive)
        if (auto found = platform::DriveTable::Instance().Find(letter)) source = found->source;
    if (!source.empty() && DestinationOnScannedDevice(source, request.destination)) {
        char caption[64], text[256];
        std::snprintf(caption, sizeof caption, "Cannot Undelete to Drive %c:", letter);
        std::snprintf(text, sizeof text,
                      "Select destination folder on a different drive. Saving to drive %c:\nmay harm the file(s) you "
                      "want to undelete.",
                      letter);
        prompt.ShowMessage(Icon::Error, caption, text);
        outcome.refused = true;
        return outcome;
    }
    if (!drive || !drive->parser || request.selection.empty() || !request.selection.front() ||
        recovery::IsUpFolderRow(request.selection.front())) {
        prompt.ShowMessage(Icon::Exclamation, "", "Select file please");
        outcome.refused = true;
        return outcome;
    }
    if (!platform::DirectoryExists(request.destination)) {
        prompt.ShowMessage(Icon::Error, "", Format("The destination folder %s does not exist.", request.destination));
        outcome.refused = true;
        return outcome;
    }

    g_Logger.Info("Undelete file process started...");
    CFileSystemParser* parser = drive->parser.get();
    const double step = 100.0 / static_cast<double>(request.selection.size());
    double progress = 0.0;
    int lastShown = 0;
    RecoverySettings settings;
    settings.namedStreams = request.recoverNamedStreams;
    parser->BeginRecovery(settings);
    recovery::StartRecordingWrittenFiles();

    for (NodeEntry* item : request.selection) {
        if (IsUserBreak()) {
            outcome.cancelled = true;
            break;
        }
        if (static_cast<int>(std::floor(progress)) != lastShown) {
            lastShown = static_cast<int>(std::floor(progress));
            SetProgress(nullptr, lastShown, 0);
        }
        if (!item || recovery::IsUpFolderRow(item)) {
            ++outcome.skipped;
            progress += step;
            continue;
        }
        std::unique_ptr<NodeEntry> standIn;
        NodeEntry* node = item;
        if (browser::IsRecycleBinItem(item)) {
            standIn = RecycleBinStandIn(item);
            node = standIn.get();
        }
        std::string name = recovery::MakeSafeName(recovery::NodeTargetName(node));

        if (!g_nOverwriteAll.load() && TargetExists(request.destination, node)) {
            switch (prompt.ConfirmOverwrite(
                Format("File %s already exists in the destination folder.\nDo you want to overwrite it?", name))) {
                case IUndeletePrompt::Answer::Yes: break;
                case IUndeletePrompt::Answer::No: g_nSkipThis.store(1); break;
                case IUndeletePrompt::Answer::All: g_nOverwriteAll.store(1); break;
                case IUndeletePrompt::Answer::Cancel: UserBreak.store(1); break;
            }
        }
        if (UserBreak.load() == 1) {
            UserBreak.store(0);
            outcome.cancelled = true;
            break;
        }
        if (g_nSkipThis.exchange(0)) {
            ++outcome.skipped;
            progress += step;
            continue;
        }
        uint32_t files = 0, folders = 0;
        recovery::ResetFailures();
        int result = parser->RecoverNode(node, request.destination.c_str(), &files, &folders, 0, kRecoverMode, nullptr);
        if (standIn) recovery::ReplaceWrittenNode(standIn.get(), item);
        SetProgress(nullptr, 100, 0);
        if (result == RECOVER_USER_BREAK) outcome.cancelled = true;
        Report(prompt, result, name, files, folders, &outcome);
        progress += step;
    }
    FinishReport(request, source, prompt, &outcome);
    return outcome;
}
