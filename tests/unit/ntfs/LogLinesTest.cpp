// Log lines of damaged attributes: each bound an attribute header can break, with the
// assertion and failure lines it logs and what the record keeps; and those of the run-list
// readers: a missing run list, a run list that would start outside the record, and a
// non-resident attribute list with neither value nor name offset (logged with a dump of its
// record).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "common/logger/Logger.h"
#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/ntfs/NtfsTestUtil.h"

using fixture::NtfsImageBuilder;
using fixture::NtfsRecordBuilder;

namespace {

class LogFile {
public:
    LogFile() {
        char t[] = "/tmp/qvr-ntfslog-XXXXXX";
        if (mkdtemp(t)) m_dir = t;
        m_path = m_dir + "/capture.log";
        m_level = g_Logger.GetMinLevel();
        g_Logger.SetMinLevel(0);
        g_Logger.Open(m_path.c_str());
    }
    ~LogFile() {
        g_Logger.Close();
        g_Logger.SetMinLevel(m_level);
        std::remove(m_path.c_str());
        rmdir(m_dir.c_str());
    }
    std::string Text() {
        g_Logger.Close();
        std::ifstream in(m_path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string m_dir, m_path;
    int m_level = 0;
};

bool HasLine(const std::string& log, const std::string& level, const std::string& text) {
    for (size_t at = log.find("| " + text + " \n"); at != std::string::npos;
         at = log.find("| " + text + " \n", at + 1)) {
        size_t lineStart = log.rfind('\n', at);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        if (log.compare(lineStart, 6, std::string(6 - level.size(), ' ') + level) == 0) return true;
    }
    return false;
}

void Put(std::vector<uint8_t>& v, size_t off, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) v[off + i] = static_cast<uint8_t>(value >> (8 * i));
}

// One header field of attribute number `attribute` set to value breaks a bound; the log
// shows the bound's own assertion and failure lines, and the record keeps or drops the
// attribute as the bound says.
TEST(NtfsLogLines, EachAttributeBoundLogsItsOwnTextAndKeepsOrDropsTheAttribute) {
    constexpr size_t kNoPatch = SIZE_MAX;
    struct Case {
        const char* what;
        void (*build)(NtfsRecordBuilder&);
        size_t attribute, field, width;
        uint64_t value;
        int listRecord;
        const char* assertion;  // the expression the assertion line quotes, or none
        const char* failure;    // the error line after it, or none
        int status;
        bool (*has)(CMFTRecord&);  // the record holds the attribute
        bool kept;
    };
    auto base = [](NtfsRecordBuilder& b) { b.StandardInformation(1, 2).FileName(5, u"name"); };
    auto withData = [](NtfsRecordBuilder& b) {
        b.StandardInformation(1, 2).FileName(5, u"name").ResidentData(std::vector<uint8_t>(100, 'd'));
    };
    auto folder = [](NtfsRecordBuilder& b) {
        b.StandardInformation(1, 2).FileName(5, u"d", 1, true).IndexRoot({}).IndexAllocation({{1, 100}}, 4096);
    };
    auto times = [](CMFTRecord& r) {
        FILETIME modified = 0;
        r.GetModifiedTime(&modified);
        return modified == 2;
    };
    auto name = [](CMFTRecord& r) { return r.GetFileName() != nullptr; };
    auto data = [](CMFTRecord& r) { return r.DataAttribute() >= 0; };
    const std::vector<Case> cases = {
        {"standard information of 0x40 bytes", [](NtfsRecordBuilder& b) { b.StandardInformation(1, 2, 0, 0x28); }, 0,
         kNoPatch, 0, 0, 0, "(pattr->length >= 0x48 && pattr->length <= 0x72)",
         "$STANDARD_INFORMATION fail! pattr->length = 64", 0, times, true},
        {"standard information value at 0x20", base, 0, 20, 2, 0x20, 0, "(pattr->value_offset <= 0x18)",
         "$STANDARD_INFORMATION fail! pattr->value_offset = 32", 0, nullptr, true},
        {"standard information value past the record", base, 0, 16, 4, 1010, 0,
         "(pattr->value_length <= 1024 - pattr->value_offset)", "$STANDARD_INFORMATION fail", 0, times, true},
        {"file name of 255 characters",
         [](NtfsRecordBuilder& b) { b.StandardInformation(1, 2).FileName(5, std::u16string(255, u'n')); }, 1, kNoPatch,
         0, 0, 0, "(pattr->length >= 0x44 && pattr->length <= 0x242)", "$FILE_NAME fail! pattr->length = 600", 0, name,
         true},
        // Value length 600 with the value at 534: a dropped name is not tested further.
        {"file name value at 534", base, 1, 16, 6, (uint64_t{534} << 32) | 600, 0,
         "(pattr->value_offset <= 0xff*2+0x18)", "$FILE_NAME fail! pattr->value_offset = 534", 0, name, false},
        {"file name value past the record", base, 1, 16, 4, 1010, 0,
         "(pattr->value_length <= 1024 - pattr->value_offset)", "$FILE_NAME fail!", 0, name, true},
        {"compression unit 2",
         [](NtfsRecordBuilder& b) {
             b.StandardInformation(1, 2).FileName(5, u"c").NonResidentData({{4, 100, false}}, 2000, true, 2);
         },
         2, kNoPatch, 0, 0, 0,
         "!((pattr->flags & ATTR_IS_COMPRESSED) && pattr->compression_unit && pattr->compression_unit != 4)",
         "$DATA fail!", 0, data, true},
        {"resident data past the record", withData, 2, 16, 4, 1001, 0,
         "!(!bAttrListRecord && pattr->value_length + pattr->value_offset > 1024)", "$DATA fail!", 0, data, false},
        {"resident data past the record, in an extension record", withData, 2, 16, 4, 1001, 1, nullptr, nullptr, 0,
         data, true},
        {"named stream past the record",
         [](NtfsRecordBuilder& b) {
             b.StandardInformation(1, 2).FileName(5, u"s").ResidentData(std::vector<uint8_t>(100, 's'), u"ads");
         },
         2, 16, 4, 1001, 0, nullptr, nullptr, 0, data, false},
        {"attribute list named at 0x18",
         [](NtfsRecordBuilder& b) {
             b.StandardInformation(1, 2).FileName(5, u"l").AttributeList({{0x30, 20}});
         },
         2, kNoPatch, 0, 0, 0, "(pattr->name_offset && pattr->name_offset >= 0x40)",
         "$ATTRIBUTE_LIST fail! pattr->name_offset = 24", 0,
         [](CMFTRecord& r) { return r.AttributeListAttribute() >= 0; }, true},
        {"logged utility stream named at 0x48",
         [](NtfsRecordBuilder& b) { b.StandardInformation(1, 2).FileName(5, u"e").LoggedUtilityStream(); }, 2, 10, 2,
         0x48, 0, "(pattr->name_offset <= 0x40)", "$LOGGED_UTILITY_STREAM fail! pattr->name_offset = 72", 0,
         [](CMFTRecord& r) { return r.HasLoggedUtilityStream(); }, true},
        {"index root value at 535", folder, 2, 20, 2, 535, 0, nullptr, nullptr, kAttrValueOffsetTooBig,
         [](CMFTRecord& r) { return r.IndexRootAttribute() >= 0; }, false},
        {"index allocation named at 65", folder, 3, 10, 2, 65, 0, nullptr, nullptr, kAttrNameOffsetTooBig,
         [](CMFTRecord& r) { return r.IndexAllocationAttribute() >= 0; }, false},
    };
    for (const Case& c : cases) {
        NtfsRecordBuilder b(20);
        c.build(b);
        std::vector<uint8_t> bytes = b.Bytes();
        // Sector ends back as the parser hands records over, fixed up.
        for (size_t i = 1; i <= 2; ++i) {
            bytes[512 * i - 2] = bytes[0x30 + 2 * i];
            bytes[512 * i - 1] = bytes[0x30 + 2 * i + 1];
        }
        CMFTRecord record(bytes.data(), 20, false, nullptr);
        record.LocateRecordAttributes(c.listRecord);
        ASSERT_GT(record.AttributeCount(), c.attribute) << c.what;
        if (c.field != kNoPatch)
            Put(bytes, record.AttributeOffset(c.attribute) + c.field, c.value, static_cast<int>(c.width));
        LogFile log;
        EXPECT_EQ(record.LocateRecordAttributes(c.listRecord), c.status) << c.what;
        const std::string text = log.Text();
        size_t assertions = 0;
        for (size_t at = text.find("| A.F. Exp ["); at != std::string::npos; at = text.find("| A.F. Exp [", at + 1))
            ++assertions;
        EXPECT_EQ(assertions, c.assertion ? 1u : 0u) << c.what;
        if (c.assertion) {
            EXPECT_NE(text.find(std::string("| A.F. Exp [") + c.assertion + "] File ["), std::string::npos) << c.what;
        }
        if (c.failure) {
            EXPECT_TRUE(HasLine(text, "ERROR", c.failure)) << c.what;
        }
        if (c.has) {
            EXPECT_EQ(c.has(record), c.kept) << c.what;
        }
    }
}

TEST(NtfsLogLines, NullRunList) {
    LogFile log;
    int64_t offset = 0;
    uint64_t length = 0;
    bool hasOffset = false;
    size_t next = 0;
    EXPECT_EQ(GetRun(ByteView(), 0, &offset, &length, &hasOffset, &next), 0);
    EXPECT_TRUE(HasLine(log.Text(), "INFO", "GetRun - runlist is equal to null"));
}

TEST(NtfsLogLines, RunListLengthOfAMissingOrMisplacedList) {
    // A non-resident attribute whose stored run list offset is unusable and whose name
    // offset puts the list past the record's end.
    std::vector<uint8_t> attr(0x48, 0);
    Put(attr, 0, 0x80, 4);
    Put(attr, 4, 0x48, 4);
    attr[8] = 1;
    attr[9] = 4;              // a name of 4 characters...
    Put(attr, 10, 0x3F8, 2);  // ...placed near the record's end
    NtfsRecordBuilder b(20);
    b.StandardInformation(1, 2).FileName(5, u"x").RawAttribute(attr);
    std::vector<uint8_t> bytes = b.Bytes();
    CMFTRecord record(bytes.data(), 20, false, nullptr);
    LogFile log;
    record.LocateRecordAttributes(0);
    uint64_t clusters = 7;
    EXPECT_EQ(record.CalcDataRunsLength(-1, nullptr, &clusters), 0u);
    EXPECT_EQ(clusters, 0u);
    const int data = static_cast<int>(record.AttributeOffset(2));
    EXPECT_EQ(record.CalcDataRunsLength(data, nullptr, &clusters), 0u);
    std::string text = log.Text();
    EXPECT_TRUE(HasLine(text, "ERROR", "_CMFTRecord::CalcDataRunsLength - one of important buffer was not allocated"));
    EXPECT_TRUE(HasLine(text, "ERROR", "_CMFTRecord::CalcDataRunsLength - lpDataRuns is bigger than MFT entry size"));
}

TEST(NtfsLogLines, NonResidentAttributeListWithoutOffsetsIsDumped) {
    std::vector<uint8_t> list(0x48, 0);
    Put(list, 0, 0x20, 4);
    Put(list, 4, 0x48, 4);
    list[8] = 1;             // non-resident, value and name offsets both 0
    Put(list, 32, 0x40, 2);  // the run list itself where NTFS puts it
    Put(list, 48, 0x20, 8);
    list[0x40] = 0x01;  // one run of no clusters: an empty list
    NtfsImageBuilder b;
    uint32_t n = b.NextRecord();
    b.Record(n).StandardInformation(1, 2).FileName(5, u"odd list.bin").RawAttribute(list);
    auto parser = ntfstest::OpenImage(b.Build());
    LogFile log;
    ASSERT_EQ(parser->PrepareDirTree(100), 0);
    std::string text = log.Text();
    EXPECT_TRUE(HasLine(text, "INFO",
                        "CMFTRecord::ExtractAttrFromAttrList() - non resident attr. list found with value_offset=0 and "
                        "name_offset=0!"));
    // The dump of the record follows: its first row holds the signature's bytes.
    size_t at = text.find("non resident attr. list found");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(text.find("46 49 4C 45", at), std::string::npos);
}

}  // namespace
