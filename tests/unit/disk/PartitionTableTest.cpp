// The MBR and GPT readers over hand-made tables, sound and hostile.
#include <gtest/gtest.h>

#include "fslib/disk/MemoryDrive.h"
#include "fslib/disk/PartitionTable.h"
#include "tests/fixtures/DiskLayoutBuilder.h"

namespace {

using fixture::DiskLayoutBuilder;

constexpr const char* kBasicData = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
constexpr const char* kLinux = "0FC63DAF-8483-4772-8E79-3D69D8477DE4";

struct Span {
    uint32_t number;
    uint64_t first;
    uint64_t count;
};

PartitionTable Read(DiskLayoutBuilder& b) {
    CMemoryDrive drive(b.Bytes());
    return ReadPartitionTable(&drive);
}

void ExpectSpans(const PartitionTable& t, const std::vector<Span>& want) {
    ASSERT_EQ(t.entries.size(), want.size()) << t.error;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(t.entries[i].number, want[i].number) << i;
        EXPECT_EQ(t.entries[i].firstSector, want[i].first) << i;
        EXPECT_EQ(t.entries[i].sectorCount, want[i].count) << i;
    }
}

// Primaries 2048+1000 and 4000+500, an extended partition at 5000 with three logical
// partitions (each 100 sectors after its record; links relative to 5000).
DiskLayoutBuilder ExtendedDisk() {
    DiskLayoutBuilder b(8192);
    b.SetSlot(0, 0, 0x0C, 2048, 1000, 0x80);
    b.SetSlot(0, 1, 0x07, 4000, 500);
    b.SetSlot(0, 2, 0x05, 5000, 3000);
    b.SetSlot(5000, 0, 0x06, 100, 400);
    b.SetSlot(5000, 1, 0x05, 1000, 600);
    b.SetSlot(6000, 0, 0x0B, 100, 400);
    b.SetSlot(6000, 1, 0x05, 2000, 600);
    b.SetSlot(7000, 0, 0x83, 100, 400);
    return b;
}

TEST(MbrTable, PrimariesThenLogicalsInChainOrder) {
    DiskLayoutBuilder b = ExtendedDisk();
    const PartitionTable t = Read(b);
    EXPECT_EQ(t.scheme, PartitionScheme::Mbr);
    EXPECT_EQ(t.error, "");
    ExpectSpans(t, {{1, 2048, 1000}, {2, 4000, 500}, {3, 5100, 400}, {4, 6100, 400}, {5, 7100, 400}});
    EXPECT_EQ(t.entries[0].type, "0x0C");
    EXPECT_EQ(t.entries[0].typeName, "FAT32 (LBA)");
    EXPECT_EQ(t.entries[4].typeName, "Linux");
}

// DOS-era tools: two logicals in slots 0 and 1 of a record and the link in slot 2.
TEST(MbrTable, EveryRecordSlotIsReadLinksInAnySlot) {
    DiskLayoutBuilder b(8192);
    b.SetSlot(0, 0, 0x05, 1000, 7000);
    b.SetSlot(1000, 0, 0x06, 1, 999);
    b.SetSlot(1000, 1, 0x06, 1000, 1000);
    b.SetSlot(1000, 2, 0x05, 2000, 3000);
    b.SetSlot(3000, 1, 0x0E, 100, 400);
    b.SetSlot(3000, 3, 0x85, 4000, 1000);
    b.SetSlot(5000, 0, 0x01, 10, 90);
    ExpectSpans(Read(b), {{1, 1001, 999}, {2, 2000, 1000}, {3, 3100, 400}, {4, 5010, 90}});
    b.SetSlot(5000, 2, 0x0F, 0, 10);  // a link back to the first record
    EXPECT_NE(Read(b).error.find("loops back to sector 1000"), std::string::npos);
}

TEST(MbrTable, EmptySlotsAreSkippedInTheNumbering) {
    DiskLayoutBuilder b(4096);
    b.SetSlot(0, 0, 0, 0, 0);
    b.SetSlot(0, 2, 0x07, 100, 200);
    b.SetSlot(0, 3, 0x0E, 300, 0);  // a type without sectors is an empty slot
    ExpectSpans(Read(b), {{1, 100, 200}});
}

TEST(MbrTable, NoTableIsNoError) {
    struct Case {
        const char* name;
        void (*make)(DiskLayoutBuilder&);
    };
    const Case cases[] = {
        {"no signature", [](DiskLayoutBuilder&) {}},
        {"signature, all slots empty", [](DiskLayoutBuilder& b) { b.SetSlot(0, 0, 0, 0, 0); }},
        // Boot code or text of a volume's boot sector where the slots would be.
        {"status byte neither 0 nor 0x80",
         [](DiskLayoutBuilder& b) {
             b.SetSlot(0, 0, 0x07, 100, 200);
             b.Bytes()[446 + 16] = 'T';
         }},
    };
    for (const auto& c : cases) {
        DiskLayoutBuilder b(1024);
        c.make(b);
        const PartitionTable t = Read(b);
        EXPECT_EQ(t.scheme, PartitionScheme::None) << c.name;
        EXPECT_TRUE(t.entries.empty()) << c.name;
        EXPECT_EQ(t.error, "") << c.name;
    }
}

// Every hostile table is refused as a whole, with a reason naming what is wrong.
TEST(MbrTable, HostileTablesAreRefused) {
    struct Case {
        const char* name;
        void (*make)(DiskLayoutBuilder&);
        const char* reason;
    };
    const Case cases[] = {
        {"primary past the end", [](DiskLayoutBuilder& b) { b.SetSlot(0, 1, 0x07, 8000, 500); },
         "MBR: partition 2 (sectors 8000-8499) lies outside the disk (sectors 1-8191 usable)"},
        {"primary starting at the table", [](DiskLayoutBuilder& b) { b.SetSlot(0, 1, 0x07, 0, 10); },
         "lies outside the disk"},
        {"primaries overlap", [](DiskLayoutBuilder& b) { b.SetSlot(0, 1, 0x07, 3000, 500); },
         "MBR: partitions 1 (sectors 2048-3047) and 2 (sectors 3000-3499) overlap"},
        {"logical overlaps a primary", [](DiskLayoutBuilder& b) { b.SetSlot(0, 1, 0x07, 5050, 60); }, "overlap"},
        {"chain loops to its start", [](DiskLayoutBuilder& b) { b.SetSlot(7000, 1, 0x05, 0, 600); },
         "MBR: the extended partition chain loops back to sector 5000"},
        {"chain loops to itself", [](DiskLayoutBuilder& b) { b.SetSlot(6000, 1, 0x05, 1000, 600); },
         "loops back to sector 6000"},
        {"chain leaves the extended partition", [](DiskLayoutBuilder& b) { b.SetSlot(7000, 1, 0x0F, 3000, 10); },
         "MBR: the extended chain points to sector 8000, outside its extended partition (sectors 5000-7999)"},
        {"logical leaves the extended partition", [](DiskLayoutBuilder& b) { b.SetSlot(7000, 0, 0x83, 100, 1000); },
         "MBR: logical partition 5 (sectors 7100-8099) lies outside its extended partition"},
        {"extended past the end", [](DiskLayoutBuilder& b) { b.SetSlot(0, 2, 0x05, 5000, 4000); },
         "MBR: the extended partition (sectors 5000-8999) lies outside the disk (8192 sectors)"},
        {"two extended partitions", [](DiskLayoutBuilder& b) { b.SetSlot(0, 3, 0x0F, 100, 10); },
         "more than one extended partition"},
        {"record without signature", [](DiskLayoutBuilder& b) { b.Bytes()[6000 * 512 + 510] = 0; },
         "the extended boot record at sector 6000 is not valid"},
    };
    for (const auto& c : cases) {
        DiskLayoutBuilder b = ExtendedDisk();
        c.make(b);
        const PartitionTable t = Read(b);
        EXPECT_EQ(t.scheme, PartitionScheme::Mbr) << c.name;
        EXPECT_TRUE(t.entries.empty()) << c.name;
        EXPECT_NE(t.error.find(c.reason), std::string::npos) << c.name << ": " << t.error;
    }
}

TEST(MbrTable, LongChainIsCutAtTheBound) {
    // Every record links to the next sector: far more logical partitions than allowed.
    const uint32_t records = kMaxLogicalPartitions + 10;
    DiskLayoutBuilder b(records * 2 + 100);
    b.SetSlot(0, 0, 0x05, 10, records * 2);
    for (uint32_t i = 0; i < records; ++i) {
        b.SetSlot(10 + 2 * i, 0, 0x83, 1, 1);
        b.SetSlot(10 + 2 * i, 1, 0x05, 2 * (i + 1), 2);
    }
    const PartitionTable t = Read(b);
    EXPECT_TRUE(t.entries.empty());
    EXPECT_NE(t.error.find("more than 128 logical partitions"), std::string::npos) << t.error;
}

std::vector<DiskLayoutBuilder::GptPartition> TwoGptPartitions() {
    return {{kBasicData, 64, 1063, u"data"}, {kLinux, 2000, 2999, u"r\u00e9serve"}};
}

TEST(GptTable, ProtectiveMbrLeadsToTheGpt) {
    DiskLayoutBuilder b(4096);
    b.WriteGpt(TwoGptPartitions());
    const PartitionTable t = Read(b);
    EXPECT_EQ(t.scheme, PartitionScheme::Gpt);
    EXPECT_EQ(t.error, "");
    EXPECT_EQ(t.note, "");
    ExpectSpans(t, {{1, 64, 1000}, {2, 2000, 1000}});
    EXPECT_EQ(t.entries[0].type, kBasicData);
    EXPECT_EQ(t.entries[0].typeName, "Basic data");
    EXPECT_EQ(t.entries[0].name, "data");
    EXPECT_EQ(t.entries[1].name, "r\xc3\xa9serve");
}

TEST(GptTable, GapsInTheEntryArrayKeepTableOrder) {
    DiskLayoutBuilder b(4096);
    auto parts = TwoGptPartitions();
    parts.insert(parts.begin() + 1, {"00000000-0000-0000-0000-000000000000", 0, 0, u""});
    b.WriteGpt(parts);
    ExpectSpans(Read(b), {{1, 64, 1000}, {2, 2000, 1000}});
}

TEST(GptTable, DamagedPrimaryFallsBackToTheBackup) {
    struct Case {
        const char* name;
        void (*spoil)(DiskLayoutBuilder&);
        const char* why;
    };
    const Case cases[] = {
        {"header checksum", [](DiskLayoutBuilder& b) { b.Bytes()[512 + 40] ^= 1; }, "header checksum mismatch"},
        {"signature", [](DiskLayoutBuilder& b) { b.Bytes()[512] = 'X'; }, "no signature"},
        {"entry array checksum", [](DiskLayoutBuilder& b) { b.Bytes()[2 * 512 + 33] ^= 0x10; },
         "entry array checksum mismatch"},
        {"header names sector 7 as its own",
         [](DiskLayoutBuilder& b) {
             b.Put64(512 + 24, 7);
             b.FixGptHeaderCrc(1);
         },
         "header names another sector"},
        {"entry count beyond the bound",
         [](DiskLayoutBuilder& b) {
             b.Put32(512 + 80, 0x00100000);
             b.FixGptHeaderCrc(1);
         },
         "1048576 entries"},
        {"header wiped (primary missing, MBR still protective)",
         [](DiskLayoutBuilder& b) { std::fill(b.Bytes().begin() + 512, b.Bytes().begin() + 1024, 0); }, "no signature"},
    };
    for (const auto& c : cases) {
        DiskLayoutBuilder b(4096);
        b.WriteGpt(TwoGptPartitions());
        c.spoil(b);
        const PartitionTable t = Read(b);
        EXPECT_EQ(t.error, "") << c.name;
        ExpectSpans(t, {{1, 64, 1000}, {2, 2000, 1000}});
        EXPECT_NE(t.note.find(std::string("damaged (") + c.why), std::string::npos) << c.name << ": " << t.note;
        EXPECT_NE(t.note.find("the backup at sector 4095 was used"), std::string::npos) << c.name;
    }
}

TEST(GptTable, HostileTablesAreRefused) {
    struct Case {
        const char* name;
        std::vector<DiskLayoutBuilder::GptPartition> parts;
        void (*spoil)(DiskLayoutBuilder&);
        const char* reason;
    };
    const Case cases[] = {
        {"both headers damaged", TwoGptPartitions(),
         [](DiskLayoutBuilder& b) {
             b.Bytes()[512 + 40] ^= 1;
             b.Bytes()[4095 * 512 + 40] ^= 1;
         },
         "GPT: the primary header at sector 1 (header checksum mismatch) and the backup header at sector 4095 "
         "(header checksum mismatch) are both damaged"},
        {"partition past the usable end",
         {{kBasicData, 64, 1063, u""}, {kLinux, 2000, 5000, u""}},
         nullptr,
         "GPT: partition 2 (sectors 2000-5000) lies outside the disk (sectors 34-4062 usable)"},
        {"partitions overlap",
         {{kBasicData, 64, 1063, u""}, {kLinux, 1000, 1100, u""}},
         nullptr,
         "GPT: partitions 1 (sectors 64-1063) and 2 (sectors 1000-1100) overlap"},
        {"partition ends before it starts",
         {{kBasicData, 64, 63, u""}},
         nullptr,
         "GPT: partition 1 ends (sector 63) before it starts (sector 64)"},
        {"partition spanning the 64-bit range", {{kBasicData, 0, UINT64_MAX, u""}}, nullptr, "lies outside the disk"},
        {"usable area past the end", TwoGptPartitions(),
         [](DiskLayoutBuilder& b) {
             for (uint64_t h : {uint64_t{1}, uint64_t{4095}}) {
                 b.Put64(h * 512 + 48, 9000);
                 b.FixGptHeaderCrc(h);
             }
         },
         "usable sectors 34-9000 outside the disk"},
    };
    for (const auto& c : cases) {
        DiskLayoutBuilder b(4096);
        b.WriteGpt(c.parts);
        if (c.spoil) c.spoil(b);
        const PartitionTable t = Read(b);
        EXPECT_EQ(t.scheme, PartitionScheme::Gpt) << c.name;
        EXPECT_TRUE(t.entries.empty()) << c.name;
        EXPECT_NE(t.error.find(c.reason), std::string::npos) << c.name << ": " << t.error;
    }
}

TEST(GptTable, HeaderWithoutProtectiveMbrIsStillRead) {
    DiskLayoutBuilder b(4096);
    b.WriteGpt(TwoGptPartitions());
    std::fill(b.Bytes().begin(), b.Bytes().begin() + 512, 0);
    ExpectSpans(Read(b), {{1, 64, 1000}, {2, 2000, 1000}});
}

TEST(PartitionTable, UnreadableSectorsGiveNoTableOrARefusal) {
    DiskLayoutBuilder b = ExtendedDisk();
    CMemoryDrive drive(b.Bytes());
    drive.SetUnreadable(6000);
    PartitionTable t = ReadPartitionTable(&drive);
    EXPECT_TRUE(t.entries.empty());
    EXPECT_NE(t.error.find("the extended boot record at sector 6000 cannot be read"), std::string::npos) << t.error;

    CMemoryDrive blind(b.Bytes());
    blind.SetUnreadable(0);
    t = ReadPartitionTable(&blind);
    EXPECT_EQ(t.scheme, PartitionScheme::None);
    EXPECT_EQ(t.error, "");
}

}  // namespace
