// Pieces shared by the fuzz targets: a private temporary folder, the memory image made
// from an input, bounded walks over a parser's tree, and the checks that turn a broken
// promise of a reader into a finding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "fslib/core/NodeEntry.h"
#include "fslib/disk/MemoryDrive.h"

namespace fuzz {

// Inputs beyond this are not volumes the targets are meant for; they only slow a run.
constexpr size_t kMaxImageBytes = 4u << 20;
// Bounds what one input may make a target read, so a legitimately huge (sparse) file
// does not pass for a hang.
constexpr uint64_t kMaxBytesPerFile = 1u << 20;
constexpr size_t kMaxNodes = 20000;

// The parsers create their temporary folder (and decompressed copies) under TMPDIR;
// each fuzzing process gets a folder of its own, removed when it exits normally.
inline void UsePrivateTempFolder() {
    static bool done = false;
    if (done) return;
    done = true;
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && base[0] == '/' ? base : "/tmp") + "/qvr-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) return;
    static std::string folder;
    folder = buffer.data();
    setenv("TMPDIR", folder.c_str(), 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
}

// The input as a drive: its whole 512-byte sectors are the volume; the bytes after the
// last whole sector, read as 16-bit sector numbers, name sectors that cannot be read,
// so that the paths which retry or zero-fill failed reads are taken too.
constexpr size_t kMaxBadSectors = 8;
inline CMemoryDrive* MakeDrive(const uint8_t* data, size_t size, std::vector<uint8_t>* bootSector) {
    size_t whole = size / 512 * 512;
    std::vector<uint8_t> image(data, data + whole);
    bootSector->assign(image.begin(), image.begin() + (whole >= 512 ? 512 : whole));
    bootSector->resize(512, 0);
    auto* drive = new CMemoryDrive(std::move(image));
    for (size_t off = whole, n = 0; off + 2 <= size && n < kMaxBadSectors; off += 2, ++n)
        drive->SetUnreadable(data[off] | (data[off + 1] << 8));
    return drive;
}

// The nodes below root in depth-first order, at most `limit` of them.
inline std::vector<NodeEntry*> CollectNodes(NodeEntry* root, size_t limit = kMaxNodes) {
    std::vector<NodeEntry*> out;
    std::vector<NodeEntry*> stack;
    for (NodeEntry* c : root->Children()) stack.push_back(c);
    while (!stack.empty() && out.size() < limit) {
        NodeEntry* n = stack.back();
        stack.pop_back();
        out.push_back(n);
        for (NodeEntry* c : n->Children()) stack.push_back(c);
    }
    return out;
}

// A reader broke one of its own promises: report it as a crash so the input is kept.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
#define FUZZ_CHECK(cond)                  \
    do {                                  \
        if (!(cond)) ::fuzz::Fail(#cond); \
    } while (0)

}  // namespace fuzz
