#include "fslib/core/RecoveredFiles.h"

#include <utility>

namespace recovery {

namespace {

struct Recording {
    bool active = false;
    std::vector<ByteRange> pending;
    std::vector<WrittenFile> files;
};

Recording& ThisThread() {
    thread_local Recording recording;
    return recording;
}

}  // namespace

void StartRecordingWrittenFiles() {
    Recording& r = ThisThread();
    r = Recording();
    r.active = true;
}

std::vector<WrittenFile> StopRecordingWrittenFiles() {
    Recording& r = ThisThread();
    std::vector<WrittenFile> files = std::move(r.files);
    r = Recording();
    return files;
}

void BeginWrittenFile() { ThisThread().pending.clear(); }

void NoteZeroFilled(uint64_t offset, uint64_t length) {
    Recording& r = ThisThread();
    if (!r.active || length == 0) return;
    if (!r.pending.empty() && r.pending.back().offset + r.pending.back().length == offset)
        r.pending.back().length += length;
    else
        r.pending.push_back({offset, length});
}

void NoteFileWritten(const NodeEntry* node, const std::string& writtenPath, uint64_t size) {
    Recording& r = ThisThread();
    if (!r.active || !node) return;
    WrittenFile f;
    f.node = node;
    f.key = node->key;
    f.name = node->name ? node->name : "";
    f.sourcePath = NodePathFromRoot(node);
    f.writtenPath = writtenPath;
    f.size = size;
    f.damageLevel = node->damageLevel;
    f.zeroFilled = std::move(r.pending);
    r.pending.clear();
    r.files.push_back(std::move(f));
}

void ReplaceWrittenNode(const NodeEntry* standIn, const NodeEntry* item) {
    for (WrittenFile& f : ThisThread().files) {
        if (f.node != standIn) continue;
        f.node = item;
        f.key = item->key;
        f.sourcePath = NodePathFromRoot(item);
    }
}

}  // namespace recovery
