#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "TempDir.h"
#include "platform/RawVolume.h"

using namespace platform;

namespace {

// Sector i holds the byte i + 1 throughout.
std::string MakeImage(const TempDir& dir, int sectors) {
    const std::string path = dir / "raw.img";
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < sectors; ++i) out << std::string(kRawSectorSize, static_cast<char>(i + 1));
    return path;
}

class RawVolumeTest : public ::testing::Test {
protected:
    void TearDown() override { ClearInjected(); }
};

}  // namespace

TEST_F(RawVolumeTest, OpensReadOnlyAboveTheStandardDescriptors) {
    TempDir dir;
    const std::string path = MakeImage(dir, 4);
    const int fd = OpenRawSource(path);
    ASSERT_GE(fd, 3);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
    EXPECT_EQ(RawSize(fd), 4u * kRawSectorSize);
    CloseRawSource(fd);
    EXPECT_EQ(OpenRawSource(dir / "missing"), -1);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(RawVolumeTest, InjectedSectorFailsLikeAMediumError) {
    TempDir dir;
    const std::string path = MakeImage(dir, 8);
    ASSERT_TRUE(InjectUnreadableSector(path, 2));
    const int fd = OpenRawSource(path);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> buffer(4 * kRawSectorSize, 0xEE);
    size_t done = 99;

    struct Case {
        const char* what;
        uint64_t offset;
        size_t count;
        BOOL ok;
        size_t done;
    } cases[] = {
        {"range over the bad sector stops before it", 0, 4 * kRawSectorSize, FALSE, 2 * kRawSectorSize},
        {"starting on the bad sector reads nothing", 2 * kRawSectorSize, kRawSectorSize, FALSE, 0},
        {"unaligned start inside the bad sector", 2 * kRawSectorSize + 7, 10, FALSE, 0},
        {"range after it reads", 3 * kRawSectorSize, 4 * kRawSectorSize, TRUE, 4 * kRawSectorSize},
        {"range before it reads", 0, 2 * kRawSectorSize, TRUE, 2 * kRawSectorSize},
        {"short at the end is no error", 7 * kRawSectorSize, 2 * kRawSectorSize, TRUE, kRawSectorSize},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RawRead(fd, buffer.data(), c.count, c.offset, &done), c.ok) << c.what;
        EXPECT_EQ(done, c.done) << c.what;
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), ERROR_READ_FAULT) << c.what;
        }
    }
    EXPECT_EQ(buffer[0], 8) << "the last good read left sector 7 at the start";

    // Another name for the same file meets the same fault.
    std::filesystem::create_symlink(path, dir / "alias.img");
    const int alias = OpenRawSource(dir / "alias.img");
    EXPECT_FALSE(RawRead(alias, buffer.data(), kRawSectorSize, 2 * kRawSectorSize, &done));

    ClearInjected();
    EXPECT_TRUE(RawRead(fd, buffer.data(), kRawSectorSize, 2 * kRawSectorSize, &done));
    EXPECT_EQ(buffer[0], 3);
    CloseRawSource(alias);
    CloseRawSource(fd);
}

TEST_F(RawVolumeTest, BadHandleAndMissingPath) {
    uint8_t byte = 0;
    size_t done = 5;
    EXPECT_FALSE(RawRead(-1, &byte, 1, 0, &done));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(InjectUnreadableSector("/nonexistent/raw.img", 1));
}
