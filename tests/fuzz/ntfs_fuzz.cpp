// libFuzzer target: the NTFS parser over a memory drive holding the input as a volume.
// Construction (volume preparation, root directory), the scan, and a read of every
// entry's data must never crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/ntfs/NTFSParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 512 || size > (8u << 20)) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    // Whole sectors only, as a device gives them.
    bytes.resize((size + 511) / 512 * 512, 0);
    auto* drive = new CMemoryDrive(bytes);
    CNTFSParser parser(drive, bytes.data());
    parser.m_bAttachOrphans = 1;
    parser.PrepareDirTree(100);
    std::vector<NodeEntry*> stack{parser.GetRoot()};
    std::vector<uint8_t> buffer(65536);
    for (size_t visited = 0; !stack.empty() && visited < 256; ++visited) {
        NodeEntry* node = stack.back();
        stack.pop_back();
        for (NodeEntry* c : node->Children()) stack.push_back(c);
        if (node == parser.GetRoot()) continue;
        uint32_t h = parser.OpenFileByTreeRef(node);
        if (h == INVALID_HANDLE || !parser.GetHandleObject(h)) continue;
        uint32_t high = 0;
        uint64_t left = parser.GetFileSize(h, &high) | (uint64_t{high} << 32);
        for (int i = 0; left > 0 && i < 64; ++i) {
            uint32_t want = static_cast<uint32_t>(left < buffer.size() ? left : buffer.size());
            uint32_t got = 0;
            parser.ReadFile(h, buffer.data(), want, &got);
            left -= want;
        }
        parser.CloseFile(h);
    }
    return 0;
}
