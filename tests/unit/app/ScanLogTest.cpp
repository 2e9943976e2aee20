// The whole operations log of a scan, machine block included, for one small NTFS and
// one small FAT volume, against a stored copy: a changed, lost or added line shows here.
// Time stamps and the values that depend on the machine or the run are masked.
// After a deliberate change of the log, QVR_UPDATE_SCAN_LOGS=1 rewrites the stored copies.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/ScanJob.h"
#include "common/logger/Logger.h"
#include "platform/DriveTable.h"
#include "tests/fixtures/FatImageBuilder.h"
#include "tests/fixtures/NtfsImageBuilder.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// What differs between runs and machines: the stamp field, the build's and today's
// dates, folders and host names, and pointer values printed by a few lines.
std::string Mask(const std::string& log) {
    static const std::vector<std::pair<std::regex, std::string>> rules = {
        {std::regex(R"(^(.{6}) [0-9:]* \| )", std::regex::multiline), "$1 | "},
        {std::regex(
             R"(^(.{6} \| (__DATE__|__TIME__|Today is|GetCurrentDirectory|GetSystemDirectory|GetTempPath|GetComputerName)) \[.*\] $)",
             std::regex::multiline),
         "$1 [*] "},
        {std::regex(R"(pDiskDrive pointer is -> \d+)"), "pDiskDrive pointer is -> *"},
        {std::regex(R"(First file handle: 0x[0-9A-F]+h)"), "First file handle: 0x*h"},
    };
    std::string out = log;
    for (const auto& [pattern, replacement] : rules) out = std::regex_replace(out, pattern, replacement);
    return out;
}

class ScanLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char t[] = "/tmp/qvr-scanlog-XXXXXX";
        ASSERT_NE(mkdtemp(t), nullptr);
        m_dir = t;
        unsetenv("MORVANTTMP");
    }
    void TearDown() override {
        g_Logger.Close();
        platform::DriveTable::Instance().Reload();
        fs::remove_all(m_dir);
    }

    // Scans the image at INFO with a fresh log and compares the masked log with the
    // stored copy of that name.
    void ScanAndCompare(const std::vector<uint8_t>& image, const std::string& expectedName) {
        const std::string img = m_dir + "/volume.img", logPath = m_dir + "/scan.log";
        WriteAll(img, image);
        platform::DriveTable::Instance().SetForTesting({{'Q', img, false, true}});
        const int level = g_Logger.GetMinLevel();
        g_Logger.SetMinLevel(0);
        g_Logger.Open(logPath.c_str());
        DriveEntry entry;
        entry.letter = 'Q';
        const int status = ScanDrive(&entry);
        g_Logger.Close();
        g_Logger.SetMinLevel(level);
        EXPECT_EQ(status, 0);

        std::string actual = Mask(ReadAll(logPath));
        for (size_t at; (at = actual.find(m_dir)) != std::string::npos;) actual.replace(at, m_dir.size(), "SCRATCH");
        const fs::path expectedPath = fs::path(QVR_SOURCE_DIR) / "tests/unit/app/golden" / expectedName;
        if (const char* update = std::getenv("QVR_UPDATE_SCAN_LOGS"); update && *update == '1') {
            std::ofstream(expectedPath, std::ios::binary | std::ios::trunc) << actual;
            return;
        }
        const std::string expected = ReadAll(expectedPath.string());
        ASSERT_FALSE(expected.empty()) << "no stored log at " << expectedPath;
        if (actual == expected) return;
        // Name the first line that differs; the whole text would drown it.
        std::istringstream a(actual), e(expected);
        std::string la, le;
        for (int line = 1;; ++line) {
            const bool moreA = static_cast<bool>(std::getline(a, la)), moreE = static_cast<bool>(std::getline(e, le));
            if (!moreA && !moreE) break;
            if (!moreA || !moreE || la != le) {
                ADD_FAILURE() << expectedName << " line " << line << "\n  expected: " << (moreE ? le : "(end)")
                              << "\n  actual:   " << (moreA ? la : "(end)");
                break;
            }
        }
    }

    std::string m_dir;
};

TEST_F(ScanLogTest, FatVolume) {
    FatImageBuilder::Options o;
    o.fatBits = 16;
    FatImageBuilder b(o);
    auto root = b.Root();
    b.AddFile(root, "README.TXT", 700);
    b.AddFile(root, "GONE.TXT", 100);
    b.DeleteEntry(root, b.LastIndex(root));
    auto docs = b.AddDirectory(root, "DOCS", u"Documents");
    b.AddFile(docs, "QUARTE~1.DOC", 5000, u"Quarterly report.doc");
    b.DeleteEntry(docs, b.LastIndex(docs), 2);
    auto old = b.AddDirectory(root, "OLD");
    b.AddFile(old, "INNER.TXT", 10);
    b.DeleteEntry(root, b.LastIndex(root));
    ScanAndCompare(b.Image(), "fat16-scan.log");
}

TEST_F(ScanLogTest, NtfsVolume) {
    fixture::NtfsImageBuilder b;
    const uint32_t docs = b.AddDirectory(5, u"docs");
    b.AddFile(5, u"readme.txt", std::vector<uint8_t>(100, 'r'));
    b.AddFile(docs, u"report.doc", std::vector<uint8_t>(5000, 'd'), true);
    const uint32_t old = b.AddDirectory(5, u"old", true);
    b.AddFile(old, u"inner.txt", std::vector<uint8_t>(10, 'i'), true);
    ScanAndCompare(b.Build(), "ntfs-scan.log");
}

}  // namespace
