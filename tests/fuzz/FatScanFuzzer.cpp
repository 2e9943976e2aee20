// The FAT scan over a damaged volume: the parser of the width the boot sector names is
// built on the image, walks the directory tree from the root, and the content of every
// deleted file is read the way recovery gathers its clusters.
#include <memory>
#include <vector>

#include "fslib/core/FileSystemParser.h"
#include "fslib/disk/MemoryDrive.h"
#include "fslib/fat/FATParser.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UsePrivateTempFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 512 || size > fuzz::kMaxImageBytes) return -1;
    std::vector<uint8_t> boot;
    CMemoryDrive* drive = fuzz::MakeDrive(data, size, &boot);
    std::unique_ptr<CFATParser> parser;
    switch (DetectFileSystem(boot.data(), boot.size())) {
        case FS_FAT12: parser = std::make_unique<CFAT12Parser>(drive, boot.data()); break;
        case FS_FAT16: parser = std::make_unique<CFAT16Parser>(drive, boot.data()); break;
        case FS_FAT32: parser = std::make_unique<CFAT32Parser>(drive, boot.data(), 0); break;
        default: delete drive; return -1;
    }
    parser->m_dwOptionFlag = 1;
    parser->ProcessRootDirectory();
    std::vector<uint8_t> content;
    for (NodeEntry* node : fuzz::CollectNodes(parser->GetRoot())) {
        if (node->IsDirectory() || !node->isDeleted) continue;
        if (parser->ReadNodeContent(node, static_cast<uint32_t>(fuzz::kMaxBytesPerFile), &content))
            FUZZ_CHECK(content.size() == node->size);
    }
    return 0;
}
