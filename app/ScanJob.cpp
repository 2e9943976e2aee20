#include "app/ScanJob.h"

#include <vector>

#include "app/ContentCheck.h"
#include "app/VolumeProbe.h"
#include "common/logger/Logger.h"
#include "fslib/fat/FATParser.h"
#include "fslib/ntfs/NTFSParser.h"

int ScanDrive(DriveEntry* entry, const ScanOptions& options) {
    if (!entry) return -1;
    entry->scanStatus = 0;
    // An NTFS parser is kept and scanned again; any other drive gets a new parser.
    if (!entry->parser || entry->parser->GetFileSystemType() != FS_NTFS) {
        int error = 0;
        std::unique_ptr<CFileSystemParser> made = OpenParser(entry->letter, &error);
        if (error == -1) {
            if (options.showError) options.showError("Can`t open disk");
            g_Logger.Error("Can`t open disk");
            return -1;
        }
        if (!made) return -1;
        entry->listedNodes.clear();
        entry->parser = std::move(made);
    }
    CFileSystemParser* parser = entry->parser.get();
    ScanSettings settings;
    settings.attachOrphans = options.attachOrphans;
    settings.contentMatcher = [](const std::string& name, const uint8_t* data, size_t size) {
        switch (CheckContent(name, data, size)) {
            case ContentVerdict::Matches: return 1;
            case ContentVerdict::DoesNotMatch: return 0;
            default: return -1;
        }
    };
    const int status = parser->Scan(settings);

    g_Logger.Info(" ----------- Start directory tree modifing process.");
    MarkFoldersWithDeletedContent(parser->GetRoot());
    g_Logger.Info(" ----------- Successfully accomplished.");

    entry->scanStatus = status;
    if (status != 0) {
        g_Logger.ErrorF("PrepareDirectoryTree() returns %d", status);
        return -1;
    }
    return 0;
}

BOOL IsDriveSupported(char letter) { return ProbeVolume(letter).Scannable() ? TRUE : FALSE; }

void ReleaseTree(DriveEntry* entry) {
    if (!entry || !entry->parser) return;
    entry->listedNodes.clear();
    CFileSystemParser* parser = entry->parser.get();
    NodeEntry* root = parser->GetRoot();
    std::vector<NodeEntry*> children;
    for (NodeEntry* child : root->Children()) children.push_back(child);
    root->DetachChildren();
    for (NodeEntry* child : children) delete child;
}

BOOL MarkFoldersWithDeletedContent(NodeEntry* folder) {
    if (!folder) return FALSE;
    // Post-order over an explicit stack: a hostile volume can nest deeper than the stack.
    struct Frame {
        NodeEntry* node;
        NodeEntry* next;  // child to visit next
        bool result;
    };
    std::vector<Frame> stack;
    stack.push_back({folder, folder->FirstChild(), false});
    BOOL top = FALSE;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next) {
            NodeEntry* child = f.next;
            f.next = child->NextSibling();
            if (child->IsDirectory()) {
                // The child's own deleted byte is read after its pass has rewritten it.
                stack.push_back({child, child->FirstChild(), false});
                continue;
            }
            child->scanDeleted = child->isDeleted;
            if (child->isDeleted) f.result = true;
            continue;
        }
        NodeEntry* done = f.node;
        bool result = f.result;
        done->scanDeleted = done->isDeleted;
        done->isDeleted = result ? 1 : 0;
        stack.pop_back();
        if (stack.empty()) {
            top = result ? TRUE : FALSE;
        } else if (result) {
            stack.back().result = true;
        }
    }
    return top;
}
