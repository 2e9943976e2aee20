#include <gtest/gtest.h>

#include <memory>

#include "fslib/disk/DiskDrive.h"

namespace {

class FamilySwitch {
public:
    explicit FamilySwitch(bool win9x) { platform::SetWin9xFamilyForTesting(win9x); }
    ~FamilySwitch() { platform::SetWin9xFamilyForTesting(false); }
};

}  // namespace

TEST(CreateDiskDrive, UnknownKindLeavesTheOutPointerAlone) {
    auto* sentinel = reinterpret_cast<CDiskDrive*>(0x1234);
    for (int kind : {0, 2, -1, 99}) {
        CDiskDrive* out = sentinel;
        EXPECT_EQ(CreateDiskDrive(kind, &out), -1) << kind;
        EXPECT_EQ(out, sentinel) << kind;
    }
    EXPECT_EQ(CreateDiskDrive(DISK_LOGICAL, nullptr), -1);
}

TEST(CreateDiskDrive, FamilyPicksTheBackEnd) {
    for (bool win9x : {false, true}) {
        FamilySwitch family(win9x);
        CDiskDrive* out = nullptr;
        ASSERT_EQ(CreateDiskDrive(DISK_LOGICAL, &out), 0);
        std::unique_ptr<CDiskDrive> drive(out);
        ASSERT_TRUE(drive);
        EXPECT_EQ(dynamic_cast<CWin9xLogicalDrive*>(drive.get()) != nullptr, win9x);
        EXPECT_EQ(dynamic_cast<CLogicalDrive*>(drive.get()) != nullptr, !win9x);
        EXPECT_EQ(drive->TotalSectors(), 0u) << "made closed";
        EXPECT_FALSE(drive->Seek(0));
    }
}
