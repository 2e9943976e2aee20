// Where a recovered node is written and how its file is created: the steps that the
// general and the FAT recovery share (target path, free-name search, "recovered_" names,
// recorded times, names that cannot leave the destination folder).
#pragma once

#include <cstdint>
#include <string>

#include "fslib/core/NodeEntry.h"
#include "platform/Files.h"

namespace recovery {

// Chunk size of the general recovery's copy loop.
constexpr uint32_t kTransferBufferSize = 1u << 20;
// The 1 MiB buffer the general recovery copies through; only one recovery runs at a time.
uint8_t* AllocateTransferBuffer();

// The browser's up-folder row: ".." padded with blanks to 30 characters.
extern const char* const kUpFolderRowName;
bool IsUpFolderRow(const NodeEntry* node);

// A live node is skipped unless it is an empty file or has deleted content below it.
bool NothingToRecover(NodeEntry* node);

// The name a node is written under, before it is made safe: the up-folder row's name
// is its pathBeforeDeletion. Empty when the node has none.
std::string NodeTargetName(const NodeEntry* node);

// A name that stays inside the destination folder: "/" and NUL become "_", "." and ".."
// become "_" and "__". A change is logged.
std::string MakeSafeName(const std::string& name);

// destination + "/" (only when it does not end with one) + name.
std::string JoinTarget(const std::string& destination, const std::string& name);

// Whether anything (file, folder, dangling link) already has this path.
bool PathTaken(const std::string& path);

// When target is taken, the first "stem(n).ext" (n = 1, 2, ...) that is not.
std::string FindFreeName(const std::string& target);

enum class CreateStatus { Created, PathNotFound, Failed };

// Creates *target new. On "exists" it is replaced ("Rewriting.."); a missing folder gives
// PathNotFound; any other refusal falls back to "recovered_" names in the destination
// folder, and *target then holds the name used.
CreateStatus CreateTargetFile(const std::string& destination, std::string* target, platform::FileHandle* out);

// Gives the written file the node's recorded times; an unknown (0) time is left alone.
// Called after the data is written, since writing moves the modification time here.
void SetTargetTimes(platform::FileHandle h, const NodeEntry* node);

// The same for a recovered folder, once everything inside it is written.
void SetFolderTimes(const std::string& folder, const NodeEntry* node);

// Makes sure the target folder exists (an existing folder is used as it is).
bool EnsureTargetFolder(const std::string& target);

// Items below a recovered folder that could not be written, counted on this thread:
// a folder's own result does not show them. The undelete job resets it per item.
void ResetFailures();
void NoteFailure();
uint32_t Failures();

}  // namespace recovery
