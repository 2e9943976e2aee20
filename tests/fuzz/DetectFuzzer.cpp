// Recognition of sector 0 and construction of the matching parser (volume preparation
// and the root directory), then one listing of the root through the shared directory
// walk, as the browser and the Recycle Bin lookup use it.
#include <memory>
#include <string>
#include <vector>

#include "app/VolumeProbe.h"
#include "fslib/core/FileSystemParser.h"
#include "fslib/disk/MemoryDrive.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {
constexpr int kMaxListed = 10000;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UsePrivateTempFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > fuzz::kMaxImageBytes) return -1;
    // Detection sees at most one sector, and less when the input is shorter.
    uint8_t type = DetectFileSystem(data, size < 512 ? size : 512);
    FUZZ_CHECK(type == FS_UNKNOWN || FileSystemName(type) != nullptr);
    if (type == FS_UNKNOWN || size < 512) return 0;
    std::vector<uint8_t> boot;
    CMemoryDrive* drive = fuzz::MakeDrive(data, size, &boot);
    auto parser = MakeParserOfType(type, std::unique_ptr<CDiskDrive>(drive), boot.data());
    FUZZ_CHECK(parser && parser->GetFileSystemType() == type);

    uint32_t root = parser->OpenRootDirectory();
    if (root == INVALID_HANDLE || !parser->GetHandleObject(root)) return 0;
    FindData fd;
    FindContext* ctx = parser->FindFirstByHandle(root, &fd);
    if (ctx) {
        for (int i = 0; i < kMaxListed && parser->FindNextFile(ctx, &fd); ++i) {}
        parser->FindClose(ctx);
    }
    return 0;
}
