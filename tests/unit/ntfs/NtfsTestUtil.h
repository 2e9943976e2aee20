// Helpers shared by the NTFS parser tests: a parser over a built image, and whole-file
// reads through the parser's file slots.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/ntfs/NTFSParser.h"

namespace ntfstest {

inline std::unique_ptr<CNTFSParser> OpenImage(const std::vector<uint8_t>& image, CMemoryDrive** driveOut = nullptr,
                                              const std::vector<uint64_t>& badSectors = {}) {
    auto* drive = new CMemoryDrive(image);
    for (uint64_t s : badSectors) drive->SetUnreadable(s);
    if (driveOut) *driveOut = drive;
    return std::make_unique<CNTFSParser>(drive, image.data());
}

// Reads a record's data through OpenFileByTreeRef / GetFileSize / ReadFile in chunks.
inline bool ReadWhole(CNTFSParser& parser, uint32_t key, std::vector<uint8_t>* out, uint32_t chunk = 65536) {
    NodeEntry node(key, "x", 0, 1);
    uint32_t h = parser.OpenFileByTreeRef(&node);
    if (h == INVALID_HANDLE || !parser.GetHandleObject(h)) return false;
    uint32_t high = 0;
    uint64_t size = parser.GetFileSize(h, &high);
    size |= uint64_t{high} << 32;
    out->assign(size, 0);
    uint64_t done = 0;
    bool ok = true;
    while (done < size) {
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(chunk, size - done));
        uint32_t got = 0;
        if (!parser.ReadFile(h, out->data() + done, want, &got) || got != want) {
            ok = false;
            break;
        }
        done += got;
    }
    parser.CloseFile(h);
    return ok;
}

inline NodeEntry* Child(NodeEntry* folder, const std::string& name) {
    for (NodeEntry* c : folder->Children())
        if (c->name && name == c->name) return c;
    return nullptr;
}

}  // namespace ntfstest
