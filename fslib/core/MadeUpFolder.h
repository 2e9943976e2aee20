// Folders that no file system holds: where a scan puts what it found without a folder on
// the volume (NTFS files whose folder record was reused or lost, files found by their
// content, the tree of a previous file system, a shadow copy's files).
//
// A made-up folder is a folder node with the madeUp flag and the deleted mark. Everything
// downstream treats it as a folder of deleted files: the marking pass, the browser's
// counts, filters and status line, and recovery, which creates it under its name. Files
// placed in one are marked deleted by their builders: the live volume does not name them.
// Its name passes the name rules, so that recovery can create it on any destination, and
// it is unique among its siblings, so that a qvr path ("/$$folder_64/f1.bin") names it.
// The names are stable: the same volume gives the same names in every scan.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "fslib/core/NodeEntry.h"

namespace madeup {

// `wanted` with each character the name rules refuse (\ / | : < > ? * " and the control
// characters) replaced by '_'; "_" for an empty text, "." or "..".
std::string FolderName(const std::string& wanted);
// `name`, or the first of "name (2)", "name (3)", ... that `taken` does not hold.
std::string UniqueName(const std::unordered_set<std::string>& taken, const std::string& name);
// A new made-up folder, not yet placed: FolderName(wanted), the key and the time given
// (its modification time). The caller keeps its name unique among its siblings.
NodeEntry* MakeFolder(uint32_t key, const std::string& wanted, FILETIME time);
// A new made-up folder hung under `parent`, its name made unique among parent's children.
NodeEntry* AddFolder(NodeEntry* parent, uint32_t key, const std::string& wanted, FILETIME time);

}  // namespace madeup
