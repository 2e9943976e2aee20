// The exFAT scan over a damaged volume: the parser is built on the image (boot region,
// FAT, bitmap, up-case table, root), walks live and deleted folders, and every deleted
// file is read through a handle the way recovery reads it.
#include <memory>
#include <vector>

#include "fslib/core/FileSystemParser.h"
#include "fslib/disk/MemoryDrive.h"
#include "fslib/exfat/ExFatParser.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UsePrivateTempFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 512 || size > fuzz::kMaxImageBytes) return -1;
    std::vector<uint8_t> boot;
    CMemoryDrive* drive = fuzz::MakeDrive(data, size, &boot);
    if (DetectFileSystem(boot.data(), boot.size()) != FS_EXFAT) {
        delete drive;
        return -1;
    }
    auto parser = std::make_unique<CExFATParser>(drive, boot.data());
    parser->m_dwOptionFlag = 1;
    parser->PrepareDirTree(100);
    std::vector<uint8_t> buffer(64 * 1024);
    for (NodeEntry* node : fuzz::CollectNodes(parser->GetRoot())) {
        FUZZ_CHECK(node->damageLevel >= 0.0f && node->damageLevel <= 1.0f);
        if (node->IsDirectory() || !node->isDeleted) continue;
        uint32_t h = parser->OpenNodeFile(node);
        if (h == INVALID_HANDLE) continue;
        uint32_t high = 0;
        const uint64_t size64 = parser->GetFileSize(h, &high) | (uint64_t{high} << 32);
        FUZZ_CHECK(size64 == node->size);
        uint64_t total = 0;
        uint32_t read = 0;
        while (total < fuzz::kMaxBytesPerFile && total < size64) {
            parser->ReadFile(h, buffer.data(), static_cast<uint32_t>(buffer.size()), &read);
            FUZZ_CHECK(read <= buffer.size());
            if (read == 0) break;
            total += read;
        }
        // Reads stop short only at the end of the file.
        FUZZ_CHECK(total == size64 || total >= fuzz::kMaxBytesPerFile);
        parser->CloseFile(h);
    }
    return 0;
}
