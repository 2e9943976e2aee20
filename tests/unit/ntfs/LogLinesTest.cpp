// Log lines of the run-list readers for damaged attributes: a missing run list, a run
// list that would start outside the record, and a non-resident attribute list with
// neither value nor name offset (logged with a dump of its record).
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>

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
