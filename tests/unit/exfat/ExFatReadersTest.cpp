// The exFAT readers over hand-made bytes: entry sets, boot region checksum, up-case table,
// timestamps and FAT chains.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "fslib/core/FileSystemParser.h"
#include "fslib/exfat/ExFatBitmap.h"
#include "fslib/exfat/ExFatBootSector.h"
#include "fslib/exfat/ExFatEntrySet.h"
#include "fslib/exfat/ExFatTable.h"
#include "fslib/exfat/ExFatTime.h"
#include "fslib/exfat/ExFatUpcase.h"
#include "platform/Time.h"
#include "tests/fixtures/ExFatImageBuilder.h"

namespace {

std::vector<uint8_t> SetBytes(const std::u16string& name, uint64_t length = 1000, uint64_t valid = 1000) {
    return ExFatImageBuilder::EntrySetBytes(name, 0x20, 10, length, valid, 0x03);
}

exfat::EntrySet Read(const std::vector<uint8_t>& bytes, bool expectFileEntry = true) {
    exfat::EntrySet set;
    EXPECT_EQ(exfat::ReadEntrySet(ByteView(bytes.data(), bytes.size()), 0, exfat::Upcase(), &set), expectFileEntry);
    return set;
}

void Put16(std::vector<uint8_t>* b, size_t off, uint16_t v) {
    (*b)[off] = static_cast<uint8_t>(v);
    (*b)[off + 1] = static_cast<uint8_t>(v >> 8);
}
void FixChecksum(std::vector<uint8_t>* b) {
    Put16(b, 2, exfat::SetChecksum(ByteView(b->data(), b->size()), 0, static_cast<uint32_t>(b->size() / 32)));
}

TEST(ExFatEntrySet, NamesOfOneTwoSeventeenAndEighteenNameEntries) {
    struct Case {
        size_t length;
        uint32_t entries;
    };
    // 256 units: more than the format allows; some drivers write it, leaving a name length of 0.
    for (Case c : {Case{1, 3}, Case{20, 4}, Case{255, 19}, Case{256, 20}}) {
        std::u16string name;
        for (size_t i = 0; i < c.length; ++i) name.push_back(static_cast<char16_t>(i % 2 ? u'é' : u'a' + i % 26));
        exfat::EntrySet s = Read(SetBytes(name));
        EXPECT_EQ(s.nEntries, c.entries) << c.length;
        EXPECT_TRUE(s.bComplete && s.bChecksumOk && s.bNameHashOk && s.bHasStream) << c.length;
        EXPECT_EQ(s.name, name);
        EXPECT_FALSE(s.bDeleted);
        EXPECT_EQ(s.dwFirstCluster, 10u);
        EXPECT_EQ(s.nDataLength, 1000u);
        EXPECT_TRUE(s.NoFatChain());
    }
}

TEST(ExFatEntrySet, AWrongNameHashIsToldFromAWrongChecksum) {
    std::vector<uint8_t> b = SetBytes(u"holiday.jpg");
    Put16(&b, 32 + exfat::kNameHash, 0x1234);
    FixChecksum(&b);
    exfat::EntrySet s = Read(b);
    EXPECT_TRUE(s.bChecksumOk);
    EXPECT_FALSE(s.bNameHashOk);
    EXPECT_EQ(s.name, u"holiday.jpg");

    b = SetBytes(u"holiday.jpg");
    b[64 + 2] = 'H';  // a changed name character without a new checksum
    s = Read(b);
    EXPECT_FALSE(s.bChecksumOk);
    EXPECT_TRUE(s.bComplete);
    EXPECT_TRUE(s.bNameHashOk);  // the hash is over the up-cased name
    EXPECT_EQ(s.name, u"Holiday.jpg");
}

TEST(ExFatEntrySet, ADeletedSetVerifiesWithItsInUseBitsSetBack) {
    std::vector<uint8_t> b = SetBytes(u"a long deleted name.txt");
    for (size_t e = 0; e < b.size(); e += 32) b[e] &= 0x7F;
    exfat::EntrySet s = Read(b);
    EXPECT_TRUE(s.bDeleted);
    EXPECT_TRUE(s.bChecksumOk);
    EXPECT_TRUE(s.bNameHashOk);
    EXPECT_EQ(s.name, u"a long deleted name.txt");
}

TEST(ExFatEntrySet, InUseBitsClearedOnPartOfASetEndIt) {
    std::vector<uint8_t> b = SetBytes(u"a name of two entries");
    b[64] &= 0x7F;  // first name entry deleted, the rest of the set live
    exfat::EntrySet s = Read(b);
    EXPECT_EQ(s.nEntries, 2u);
    EXPECT_FALSE(s.bComplete);
    EXPECT_FALSE(s.bChecksumOk);
    EXPECT_TRUE(s.bHasStream);
    EXPECT_TRUE(s.name.empty());

    // A deleted file entry followed by live entries: those belong to a later set.
    b = SetBytes(u"x.txt");
    b[0] &= 0x7F;
    s = Read(b);
    EXPECT_TRUE(s.bDeleted);
    EXPECT_EQ(s.nEntries, 1u);
    EXPECT_FALSE(s.bHasStream);
}

TEST(ExFatEntrySet, StreamFieldsAndTruncatedNames) {
    exfat::EntrySet s = Read(SetBytes(u"v.bin", 5000, 1200));
    EXPECT_EQ(s.nValidDataLength, 1200u);
    EXPECT_EQ(s.nDataLength, 5000u);

    // A name length beyond the name entries keeps what is there and fails the hash.
    std::vector<uint8_t> b = SetBytes(u"short");
    b[32 + exfat::kNameLength] = 40;
    FixChecksum(&b);
    s = Read(b);
    EXPECT_EQ(s.name, u"short");
    EXPECT_FALSE(s.bNameHashOk);

    // Cut off by the end of the data.
    b = SetBytes(u"cut off at the directory's end");
    b.resize(64 + 32);
    s = Read(b);
    EXPECT_FALSE(s.bComplete);
    EXPECT_EQ(s.name, u"cut off at the ");

    // Not a file entry.
    b[0] = 0x81;
    Read(b, false);
}

TEST(ExFatBootRegion, ChecksumSkipsFlagsAndPercentInUse) {
    ExFatImageBuilder builder;
    std::vector<uint8_t>& img = builder.Image();
    ByteView region(img.data(), size_t{12} * 512);
    EXPECT_TRUE(exfat::VerifyBootRegion(region, 512));
    EXPECT_TRUE(exfat::VerifyBootRegion(ByteView(img.data() + std::ptrdiff_t{12} * 512, size_t{12} * 512), 512));
    img[106] ^= 0x02;  // volume dirty
    img[112] = 55;     // percent in use
    EXPECT_TRUE(exfat::VerifyBootRegion(region, 512));
    img[100] ^= 1;  // serial number
    EXPECT_FALSE(exfat::VerifyBootRegion(region, 512));
    builder.WriteBootChecksums();
    EXPECT_TRUE(exfat::VerifyBootRegion(region, 512));
    img[512 * 11 + 8] ^= 1;  // one checksum word
    EXPECT_FALSE(exfat::VerifyBootRegion(region, 512));
}

TEST(ExFatBootSector, DetectionChecksTheFields) {
    ExFatImageBuilder builder;
    std::vector<uint8_t> boot(builder.BootSector(), builder.BootSector() + 512);
    EXPECT_EQ(DetectFileSystem(boot.data(), boot.size()), FS_EXFAT);
    EXPECT_STREQ(FileSystemName(FS_EXFAT), "exFAT");
    EXPECT_EQ(DetectFileSystem(boot.data(), 100), FS_UNKNOWN);
    struct Case {
        const char* fault;
        size_t offset;
        uint8_t value;
    };
    for (Case c :
         {Case{"non-zero old parameter block", 20, 1}, Case{"sector shift 8", 108, 8}, Case{"sector shift 13", 108, 13},
          Case{"cluster of 64 MiB", 109, 17}, Case{"three FATs", 110, 3}, Case{"FAT inside the boot regions", 80, 10},
          Case{"heap past the volume", 95, 0x10}, Case{"heap before the FAT's end", 88, 25}}) {
        std::vector<uint8_t> b = boot;
        b[c.offset] = c.value;
        EXPECT_EQ(DetectFileSystem(b.data(), b.size()), FS_UNKNOWN) << c.fault;
    }
    exfat::BootSector parsed = exfat::BootSector::Read(ByteView(boot.data(), boot.size()));
    EXPECT_EQ(parsed.Check(builder.Image().size()), nullptr);
    EXPECT_STREQ(parsed.Check(uint64_t{512} * 20), "the cluster heap starts beyond the end of the disk");
    parsed.dwRootCluster = 1;
    EXPECT_STREQ(parsed.Check(0), "the root directory lies outside the cluster heap");
}

TEST(ExFatUpcase, TableWithIdentityRuns) {
    // 0x0000..0x0060 as they are, then 'a'..'c' upper-cased, the rest as they are.
    std::vector<uint8_t> t;
    for (uint16_t w : {0xFFFF, 0x61, 0x41, 0x42, 0x43, 0xFFFF, 0x1000})
        t.insert(t.end(), {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)});
    exfat::Upcase u;
    ASSERT_TRUE(u.Load(ByteView(t.data(), t.size())));
    EXPECT_EQ(u.Upper(u'a'), u'A');
    EXPECT_EQ(u.Upper(u'c'), u'C');
    EXPECT_EQ(u.Upper(u'd'), u'd');
    EXPECT_EQ(u.Upper(u'Z'), u'Z');
    EXPECT_FALSE(u.Load(ByteView(t.data(), 3)));  // odd length
    EXPECT_NE(exfat::UpcaseChecksum(ByteView(t.data(), t.size())), 0u);
}

TEST(ExFatTime, OffsetIncrementAndImpossibleDates) {
    const uint32_t stamp = ExFatImageBuilder::kDefaultStamp;  // 2024-05-06 07:08:10
    FILETIME local = 0;
    ASSERT_TRUE(platform::DosDateTimeToFileTime(stamp >> 16, stamp & 0xFFFF, &local));
    EXPECT_EQ(exfat::StampToFileTime(stamp, 0, 0x80), local);                          // UTC
    EXPECT_EQ(exfat::StampToFileTime(stamp, 150, 0x80), local + 15000000);             // +1.5 s
    EXPECT_EQ(exfat::StampToFileTime(stamp, 0, 0x84), local - 36000000000ull);         // UTC+1:00
    EXPECT_EQ(exfat::StampToFileTime(stamp, 0, 0x80 | 0x7C), local + 36000000000ull);  // UTC-1:00
    EXPECT_EQ(exfat::StampToFileTime(stamp, 250, 0x80), local);  // an increment past 1.99 s is ignored
    EXPECT_EQ(exfat::StampToFileTime(0, 0, 0x80), 0u);
    EXPECT_EQ(exfat::StampToFileTime((44u << 25) | (13u << 21) | (1u << 16), 0, 0x80), 0u);  // month 13
}

TEST(ExFatTable, ChainsArePlausibleOnlyWhenTheyMatchTheSize) {
    std::map<uint32_t, uint32_t> fat{{10, 11},  {11, 20}, {20, 0xFFFFFFFF},  // 3 clusters
                                     {30, 31},  {31, 30},                    // loop
                                     {40, 41},  {41, 0},                     // free entry
                                     {50, 5000}};                            // outside the heap
    exfat::FatTable table;
    table.Attach(100, [&](uint64_t offset, uint8_t* out, size_t length) {
        std::memset(out, 0, length);
        for (auto [c, v] : fat)
            if (c * 4ull >= offset && c * 4ull + 4 <= offset + length) std::memcpy(out + (c * 4ull - offset), &v, 4);
        return true;
    });
    std::vector<exfat::ClusterRun> runs;
    ASSERT_TRUE(table.FollowChain(10, 3, &runs));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].dwFirst, 10u);
    EXPECT_EQ(runs[0].dwCount, 2u);
    EXPECT_EQ(runs[1].dwFirst, 20u);
    EXPECT_FALSE(table.FollowChain(10, 2, &runs));  // runs on
    EXPECT_FALSE(table.FollowChain(10, 4, &runs));  // stops short
    EXPECT_TRUE(runs.empty());
    EXPECT_FALSE(table.FollowChain(30, 5, &runs));
    EXPECT_FALSE(table.FollowChain(40, 2, &runs));
    EXPECT_FALSE(table.FollowChain(50, 2, &runs));
    EXPECT_FALSE(table.FollowChain(10, 1000, &runs));  // more clusters than the heap holds
    table.ReadChain(30, 1000, &runs);
    EXPECT_EQ(exfat::RunClusters(runs), 2u);
    table.ReadChain(10, 2, &runs);
    EXPECT_EQ(exfat::RunClusters(runs), 2u);
    EXPECT_EQ(table.Entry(102), 0u);  // past the heap
}

TEST(ExFatBitmap, CountsMatchBitByBitAcrossWordsAndTheHeapsEnd) {
    std::vector<uint8_t> bytes(40);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    exfat::Bitmap bitmap;
    const uint32_t clusters = 300;  // 40 bytes hold 320 bits; the last 20 mean nothing
    bitmap.Load(ByteView(bytes.data(), bytes.size()), clusters);
    auto naive = [&](uint32_t first, uint32_t count) {
        uint64_t n = 0;
        for (uint64_t c = first; c < uint64_t{first} + count; ++c)
            if (c >= 2 && c < clusters + 2 && ((bytes[(c - 2) / 8] >> ((c - 2) % 8)) & 1)) ++n;
        return n;
    };
    for (auto [first, count] : {std::pair<uint32_t, uint32_t>{2, 1},
                                {2, 64},
                                {60, 10},
                                {65, 64},
                                {66, 200},
                                {0, 5},
                                {290, 50},
                                {301, 1},
                                {302, 10},
                                {2, 300}}) {
        EXPECT_EQ(bitmap.CountAllocated({{first, count}}), naive(first, count)) << first << "+" << count;
    }
    EXPECT_EQ(bitmap.CountAllocated({{2, 10}, {100, 5}}), naive(2, 10) + naive(100, 5));
    EXPECT_EQ(bitmap.IsAllocated(2), (bytes[0] & 1) != 0);
    EXPECT_FALSE(bitmap.IsAllocated(302));
}

}  // namespace
