// Attributes of single FILE records, without a volume.
#include <gtest/gtest.h>

#include "fslib/ntfs/MFTRecord.h"
#include "tests/fixtures/NtfsImageBuilder.h"

using fixture::NtfsRecordBuilder;

namespace {

struct Parsed {
    std::vector<uint8_t> bytes;
    std::unique_ptr<CMFTRecord> record;
    int status = 0;
};

Parsed Parse(const NtfsRecordBuilder& builder) {
    Parsed p;
    p.bytes = builder.Bytes();
    // The record reader expects fixed-up sectors, as the parser hands them over.
    for (size_t i = 1; i <= 2; ++i) {
        p.bytes[512 * i - 2] = p.bytes[0x30 + 2 * i];
        p.bytes[512 * i - 1] = p.bytes[0x30 + 2 * i + 1];
    }
    p.record = std::make_unique<CMFTRecord>(p.bytes.data(), 20, false, nullptr);
    p.status = p.record->LocateRecordAttributes(0);
    return p;
}

TEST(NtfsRecord, NameChoiceByNamespace) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::u16string, uint8_t>> names;
        const char* chosen;
    };
    const std::vector<Case> cases = {
        {"Win32 beats DOS", {{u"LONGNA~1.TXT", 2}, {u"long name.txt", 1}}, "long name.txt"},
        {"Win32-and-DOS beats Win32", {{u"win32", 1}, {u"BOTH.TXT", 3}}, "BOTH.TXT"},
        {"DOS alone", {{u"SHORT.TXT", 2}}, "SHORT.TXT"},
        {"POSIX alone, as ntfs-3g writes", {{u"posix Name", 0}}, "posix Name"},
        {"POSIX loses to Win32", {{u"posix", 0}, {u"win", 1}}, "win"},
        {"non-ASCII name", {{u"\u00e9t\u00e9 \u65e5\u672c.txt", 0}}, "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac.txt"},
        {"no name", {}, nullptr},
    };
    for (const Case& c : cases) {
        NtfsRecordBuilder b(20);
        b.StandardInformation(1, 2);
        for (const auto& [name, ns] : c.names) b.FileName(30, name, ns);
        Parsed p = Parse(b);
        EXPECT_EQ(p.status, 0) << c.what;
        const char* name = p.record->GetFileName();
        if (c.chosen) {
            ASSERT_NE(name, nullptr) << c.what;
            EXPECT_STREQ(name, c.chosen) << c.what;
        } else {
            EXPECT_EQ(name, nullptr) << c.what;
        }
    }
}

TEST(NtfsRecord, ParentComesFromTheDosNameFirst) {
    NtfsRecordBuilder b(20);
    b.StandardInformation(1, 2).FileName(40, u"long name.txt", 1).FileName(41, u"LONGNA~1.TXT", 2);
    EXPECT_EQ(Parse(b).record->GetParentDirectory(), 41u);
    NtfsRecordBuilder none(20);
    none.StandardInformation(1, 2);
    EXPECT_EQ(Parse(none).record->GetParentDirectory(), 5u);
    NtfsRecordBuilder posix(20);
    posix.StandardInformation(1, 2).FileName(77, u"p", 0);
    EXPECT_EQ(Parse(posix).record->GetParentDirectory(), 77u);
}

TEST(NtfsRecord, ShortStandardInformationStillGivesTimes) {
    NtfsRecordBuilder b(20);
    b.StandardInformation(111, 222, 0, 0x28).FileName(5, u"a", 1);  // attribute length 0x40
    Parsed p = Parse(b);
    EXPECT_EQ(p.status, 0);
    FILETIME created = 0, modified = 0;
    p.record->GetCreatedTime(&created);
    p.record->GetModifiedTime(&modified);
    EXPECT_EQ(created, 111u);
    EXPECT_EQ(modified, 222u);
}

TEST(NtfsRecord, DataAttributeVariants) {
    {
        NtfsRecordBuilder b(20);
        b.StandardInformation(1, 2).FileName(5, u"c", 1).NonResidentData({{16, 100, false}}, 8000, true, 4);
        Parsed p = Parse(b);
        EXPECT_TRUE(p.record->IsCompressed());
        EXPECT_GE(p.record->DataAttribute(), 0);
        EXPECT_EQ(p.record->GetFileSize(), 8000u);
        EXPECT_EQ(p.record->GetFirstCluster(), 100u);
    }
    {
        NtfsRecordBuilder b(20);  // unit 2: logged, still kept and compressed
        b.StandardInformation(1, 2).FileName(5, u"c", 1).NonResidentData({{4, 100, false}}, 2000, true, 2);
        Parsed p = Parse(b);
        EXPECT_TRUE(p.record->IsCompressed());
        EXPECT_GE(p.record->DataAttribute(), 0);
    }
    {
        NtfsRecordBuilder b(20);  // a named stream never becomes the file's data
        b.StandardInformation(1, 2).FileName(5, u"ads", 1).ResidentData({'s', 't'}, u"stream");
        Parsed p = Parse(b);
        EXPECT_LT(p.record->DataAttribute(), 0);
        EXPECT_EQ(p.record->GetFileSize(), 0u);
        EXPECT_EQ(p.record->AttributeCount(), 3u);
    }
    {
        NtfsRecordBuilder b(20);
        b.StandardInformation(1, 2).FileName(5, u"r", 1).ResidentData(std::vector<uint8_t>(300, 'r'));
        Parsed p = Parse(b);
        EXPECT_EQ(p.record->GetFileSize(), 300u);
        EXPECT_EQ(p.record->ResidentValue(p.record->DataAttribute()).Size(), 300u);
    }
}

TEST(NtfsRecord, IndexAttributeFailuresAreReturned) {
    NtfsRecordBuilder resident(20);
    resident.StandardInformation(1, 2).FileName(5, u"d", 1, true);
    // A resident $INDEX_ALLOCATION: type 0xA0, 24-byte header, no value.
    std::vector<uint8_t> attr(24, 0);
    attr[0] = 0xA0;
    attr[4] = 24;
    attr[10] = 0x18;
    attr[20] = 0x18;
    resident.RawAttribute(attr);
    EXPECT_EQ(Parse(resident).status, kAttrIndexAllocResident);

    NtfsRecordBuilder dir(20);
    dir.Directory(true).StandardInformation(1, 2).FileName(5, u"d", 1, true).IndexRoot({}, 2048);
    Parsed p = Parse(dir);
    EXPECT_EQ(p.status, 0);
    EXPECT_TRUE(p.record->IsDirectory());
    EXPECT_EQ(p.record->IndexBlockSize(), 2048u);
}

TEST(NtfsRecord, HostileHeadersEndTheWalk) {
    struct Case {
        const char* what;
        size_t offset;
        std::vector<uint8_t> bytes;
        int status;
    };
    const std::vector<Case> cases = {
        {"first attribute past the record", 20, {0x00, 0x04}, kAttrNoAttributes},
        {"first attribute is the end marker", 0x38, {0xFF, 0xFF, 0xFF, 0xFF}, kAttrNoAttributes},
        {"attribute length 0", 0x38 + 4, {0, 0, 0, 0}, 0},
        {"attribute length past the record", 0x38 + 4, {0x00, 0x10, 0, 0}, 0},
        {"attribute length 0xFFFFFFFF", 0x38 + 4, {0xFF, 0xFF, 0xFF, 0xFF}, 0},
        {"first attribute at the last bytes", 20, {0xFE, 0x03}, kAttrNoAttributes},
    };
    for (const Case& c : cases) {
        NtfsRecordBuilder b(20);
        b.StandardInformation(1, 2).FileName(5, u"n", 1);
        Parsed p = Parse(b);
        std::copy(c.bytes.begin(), c.bytes.end(), p.bytes.begin() + static_cast<long>(c.offset));
        EXPECT_EQ(p.record->LocateRecordAttributes(0), c.status) << c.what;
    }
}

TEST(NtfsRecord, ExtensionRecordsAreRecognisedByTheWholeBaseReference) {
    NtfsRecordBuilder ext(20);
    ext.BaseReference(17 | (uint64_t{3} << 48)).FileName(5, u"link", 0);
    EXPECT_TRUE(Parse(ext).record->IsExtensionRecord());
    NtfsRecordBuilder base(20);
    base.FileName(5, u"file", 0);
    EXPECT_FALSE(Parse(base).record->IsExtensionRecord());
}

TEST(NtfsRecord, FileNameLongerThanItsValueIsCut) {
    NtfsRecordBuilder b(20);
    b.StandardInformation(1, 2).FileName(5, u"abcdef", 1);
    Parsed p = Parse(b);
    // Claim 200 characters in a value that holds 6 (the name length byte at 64).
    size_t fn = 0x38 + 0x48 + 0x18;
    ASSERT_EQ(p.bytes[fn + 64], 6);
    p.bytes[fn + 64] = 200;
    ASSERT_EQ(p.record->LocateRecordAttributes(0), 0);
    const char* name = p.record->GetFileName();
    ASSERT_NE(name, nullptr);
    EXPECT_LE(std::string(name).size(), 200u);
    EXPECT_EQ(std::string(name).substr(0, 6), "abcdef");
}

}  // namespace
