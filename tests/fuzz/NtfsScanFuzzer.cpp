// The NTFS scan over a damaged volume: the parser is built on the image, walks every
// MFT record into the tree, and every file of the tree is opened and read through the
// parser's file slots, as recovery reads it.
#include <algorithm>
#include <memory>
#include <vector>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/ntfs/NTFSParser.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void ReadThroughHandles(CNTFSParser& parser, NodeEntry* node, std::vector<uint8_t>& buffer) {
    uint32_t h = parser.OpenFileByTreeRef(node);
    if (h == INVALID_HANDLE || !parser.GetHandleObject(h)) return;
    uint32_t high = 0;
    uint64_t size = parser.GetFileSize(h, &high) | (uint64_t{high} << 32);
    parser.IsEncrypted(h);
    parser.EstimateDamageLevel(h);
    uint64_t wanted = std::min<uint64_t>(size, fuzz::kMaxBytesPerFile);
    uint64_t done = 0;
    while (done < wanted) {
        uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), wanted - done));
        uint32_t got = 0;
        BOOL ok = parser.ReadFile(h, buffer.data(), count, &got);
        FUZZ_CHECK(got <= count);
        if (!ok || got == 0) break;
        done += got;
    }
    // Seeking back and reading again takes the run lookup of SetFilePointer.
    if (size > 0) {
        LONG high32 = 0;
        parser.SetFilePointer(h, static_cast<LONG>(size / 2), &high32, 0);
        uint32_t got = 0;
        parser.ReadFile(h, buffer.data(), static_cast<uint32_t>(std::min<size_t>(buffer.size(), 4096)), &got);
        FUZZ_CHECK(got <= 4096);
    }
    parser.CloseFile(h);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UsePrivateTempFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 512 || size > fuzz::kMaxImageBytes) return -1;
    std::vector<uint8_t> boot;
    CMemoryDrive* drive = fuzz::MakeDrive(data, size, &boot);
    auto parser = std::make_unique<CNTFSParser>(drive, boot.data());
    parser->m_bAttachOrphans = static_cast<uint8_t>(boot[0] & 1);
    parser->PrepareDirTree(100);
    std::vector<uint8_t> buffer(64 * 1024);
    for (NodeEntry* node : fuzz::CollectNodes(parser->GetRoot())) {
        if (!node->IsDirectory()) ReadThroughHandles(*parser, node, buffer);
    }
    parser->ClearTree();
    return 0;
}
