// What recovery wrote, file by file, for a recovery report: the written path and size
// and the byte ranges written as zeros because the volume could not be read there.
// Recorded on the recovering thread while a job asks for it; off otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fslib/core/NodeEntry.h"

namespace recovery {

struct ByteRange {
    uint64_t offset = 0;
    uint64_t length = 0;
};

struct WrittenFile {
    const NodeEntry* node = nullptr;  // the recovered node; only valid while its tree lives
    uint32_t key = 0;
    std::string name;        // the node's name on the volume
    std::string sourcePath;  // from the volume root
    std::string writtenPath;
    uint64_t size = 0;
    float damageLevel = 0.0f;
    std::vector<ByteRange> zeroFilled;  // ascending, adjacent ranges merged
};

// Starts recording on this thread (anything recorded before is dropped) and stops it,
// handing the records over.
void StartRecordingWrittenFiles();
std::vector<WrittenFile> StopRecordingWrittenFiles();

// Called by the recovery steps: a file's copy begins, a range of it was written as
// zeros, and the file is complete.
void BeginWrittenFile();
void NoteZeroFilled(uint64_t offset, uint64_t length);
void NoteFileWritten(const NodeEntry* node, const std::string& writtenPath, uint64_t size);

// Records of a stand-in node (a Recycle Bin file written under its old name) are made
// to name the node it stands for as their source.
void ReplaceWrittenNode(const NodeEntry* standIn, const NodeEntry* item);

}  // namespace recovery
