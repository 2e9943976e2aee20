// Directory handles of the FAT parser: opening by name and by reference, the root
// through "..", handle slots, and file content through a handle.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/fat/FATParser.h"
#include "tests/fixtures/FatImageBuilder.h"

namespace {

FatImageBuilder::Options Fat(int bits) {
    FatImageBuilder::Options o;
    o.fatBits = bits;
    return o;
}

TEST(FatDirectory, DotDotOfAFirstLevelFolderOpensTheRoot) {
    FatImageBuilder b(Fat(16));
    auto sub = b.AddDirectory(b.Root(), "SUB", u"Sub folder");
    b.AddFile(sub, "IN.TXT", 3);
    b.AddFile(b.Root(), "TOP.TXT", 3);
    CFAT16Parser p(b.MakeDrive().release(), b.BootSector());
    uint32_t hSub = p.OpenDirectory(0, "sub folder");  // by long name, any case
    ASSERT_NE(hSub, INVALID_HANDLE);
    EXPECT_EQ(p.OpenDirectory(0, "SUB"), hSub + 1) << "by short name; slots are appended";
    uint32_t hUp = p.FindFile(hSub, "..", TRUE);
    ASSERT_NE(hUp, INVALID_HANDLE);
    EXPECT_EQ(p.FindFile(hUp, "TOP.TXT", FALSE) != INVALID_HANDLE, true) << "the root's entries";
    EXPECT_EQ(p.FindFile(hUp, "TOP.TXT", TRUE), INVALID_HANDLE) << "a file is not a folder";
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(FatDirectory, ClosedSlotsAreNotReused) {
    FatImageBuilder b(Fat(32));
    b.AddDirectory(b.Root(), "A");
    b.AddDirectory(b.Root(), "B");
    CFAT32Parser p(b.MakeDrive().release(), b.BootSector(), 0);
    uint32_t a = p.OpenDirectory(0, "A");
    ASSERT_NE(a, INVALID_HANDLE);
    p.CloseFile(a);
    EXPECT_EQ(p.GetHandleObject(a), nullptr);
    uint32_t b2 = p.OpenDirectory(0, "B");
    EXPECT_EQ(b2, a + 1);
    p.CloseFile(a);  // already closed: logged, nothing else
    p.CloseFile(12345);
}

TEST(FatDirectory, FileContentFollowsTheChain) {
    FatImageBuilder b(Fat(12));
    // Fragment the file: a used cluster sits in the middle of its chain.
    uint32_t first = b.AddFile(b.Root(), "DATA.BIN", 1300, u"", 'a');
    uint32_t second = b.GetFat(first);
    uint32_t third = b.GetFat(second);
    uint32_t moved = b.AllocateChain(1);
    b.SetFat(second, moved);
    b.SetFat(moved, b.EndOfChain());
    b.SetFat(third, 0);
    b.FillCluster(moved, 'c');
    b.FillCluster(first, 'a');
    b.FillCluster(second, 'b');
    CFAT12Parser p(b.MakeDrive().release(), b.BootSector());
    FindContext ctx;
    ASSERT_TRUE(p.MoveFirstFile(0, &ctx, 0));
    uint32_t h = p.OpenFileByRef(&ctx);
    ASSERT_NE(h, INVALID_HANDLE);
    EXPECT_EQ(p.GetFileSize(h, nullptr), 1300u);
    std::vector<uint8_t> buf(2000, 0);
    uint32_t read = 0;
    ASSERT_TRUE(p.ReadFile(h, buf.data(), 2000, &read));
    ASSERT_EQ(read, 1300u);

    EXPECT_EQ(buf[0], 'a');
    EXPECT_EQ(buf[511], 'a');
    EXPECT_EQ(buf[512], 'b');
    EXPECT_EQ(buf[1024], 'c');
    EXPECT_EQ(buf[1299], 'c');
    EXPECT_EQ(p.SetFilePointer(h, 1020, nullptr, 0), 1020u);
    ASSERT_TRUE(p.ReadFile(h, buf.data(), 10, &read));
    EXPECT_EQ(read, 10u);
    EXPECT_EQ(buf[3], 'b');
    EXPECT_EQ(buf[4], 'c') << "the read crosses into the next run";
    EXPECT_EQ(p.SetFilePointer(h, -2000, nullptr, 1), INVALID_HANDLE);
}

TEST(FatDirectory, EndMarkHidesWhatFollows) {
    FatImageBuilder b(Fat(16));
    b.AddFile(b.Root(), "ONE.TXT", 1);
    b.AddFile(b.Root(), "TWO.TXT", 1);
    b.AddFile(b.Root(), "THREE.TXT", 1);
    b.EntryAt(b.Root(), 1)[0] = 0;  // end of directory before TWO
    CFAT16Parser p(b.MakeDrive().release(), b.BootSector());
    p.m_dwOptionFlag = 1;
    uint32_t count = 0;
    p.ValidateDirectoryData(0, &count);
    EXPECT_EQ(count, 1u);
}

}  // namespace
