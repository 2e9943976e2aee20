// The recovery report of an undelete: per written file its hash, damage word, content
// check and the ranges written as zeros, from the NTFS-style general recovery (an
// in-memory parser with an unreadable byte range) and from the FAT recovery of an image
// file with an injected unreadable sector.
#include <gtest/gtest.h>

#include <deque>
#include <fstream>

#include <nlohmann/json.hpp>

#include "app/RecoveryReport.h"
#include "app/UndeleteJob.h"
#include "platform/DriveTable.h"
#include "platform/RawVolume.h"
#include "tests/fixtures/FatImageBuilder.h"
#include "tests/fixtures/Lznt1Compressor.h"
#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/ntfs/NtfsTestUtil.h"
#include "tests/unit/platform/TempDir.h"
#include "tests/unit/recovery/MemoryParser.h"

namespace {

class QuietPrompt final : public IUndeletePrompt {
public:
    Answer ConfirmOverwrite(const std::string&) override { return Answer::Yes; }
    void ShowMessage(Icon icon, const std::string&, const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

nlohmann::json ReadReport(const std::string& path) { return nlohmann::json::parse(ReadAll(path)); }

TEST(RecoveryReport, Sha256OfKnownContent) {
    TempDir dir;
    std::ofstream(dir / "abc") << "abc";
    EXPECT_EQ(FileSha256(dir / "abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::ofstream(dir / "empty");
    EXPECT_EQ(FileSha256(dir / "empty"), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(FileSha256(dir / "absent"), "");
}

TEST(RecoveryReport, GeneralRecoveryListsItsZeroFilledRanges) {
    TempDir dir;
    DriveEntry drive;
    drive.letter = 'E';
    auto owned = std::make_unique<MemoryParser>();
    MemoryParser* parser = owned.get();
    drive.parser = std::move(owned);
    std::string text(6000, 'z');
    NodeEntry* folder = MemoryParser::Add(parser->GetRoot(), 7, "docs", true, true);
    NodeEntry* bad = MemoryParser::Add(folder, 8, "bad.txt", false, true, text.size());
    bad->damageLevel = 0.5f;
    parser->AddFile(8, std::vector<uint8_t>(text.begin(), text.end()));
    parser->SetUnreadable(8, 5000, 5100);  // past the 4 KiB the content check reads
    NodeEntry* good = MemoryParser::Add(folder, 9, "pic.png", false, true, 20);
    parser->AddFile(9, std::vector<uint8_t>(20, 0));  // a picture whose start is gone

    UndeleteRequest request;
    request.drive = &drive;
    request.selection = {folder};
    request.destination = dir.Path();
    request.source = dir / "volume.img";
    request.reportPath = dir / "report.json";
    QuietPrompt prompt;
    UndeleteOutcome outcome = UndeleteSelection(request, prompt);
    ASSERT_EQ(outcome.recovered, 1u);
    EXPECT_FALSE(outcome.reportFailed);

    nlohmann::json report = ReadReport(request.reportPath);
    EXPECT_EQ(report["filesystem"], "NTFS");
    EXPECT_EQ(report["volume"], request.source);
    ASSERT_EQ(report["files"].size(), 2u);
    const nlohmann::json& f = report["files"][0];
    EXPECT_EQ(f["source"], "/docs/bad.txt");
    EXPECT_EQ(f["key"], 8);
    EXPECT_EQ(f["written"], dir / "docs/bad.txt");
    EXPECT_EQ(f["size"], 6000);
    EXPECT_EQ(f["damage"], "Average");
    EXPECT_EQ(f["content"], "matches");
    // The sector the failing bytes fall in is zeros from the first bad byte on.
    ASSERT_EQ(f["zero_filled"].size(), 1u);
    EXPECT_EQ(f["zero_filled"][0]["offset"], 5000);
    EXPECT_EQ(f["zero_filled"][0]["length"], 120);
    std::string written = ReadAll(dir / "docs/bad.txt");
    std::string expected = text;
    std::fill(expected.begin() + 5000, expected.begin() + 5120, '\0');
    EXPECT_EQ(written, expected);
    EXPECT_EQ(f["sha256"], FileSha256(dir / "docs/bad.txt"));
    EXPECT_EQ(report["files"][1]["content"], "does not match");
    EXPECT_TRUE(report["files"][1]["zero_filled"].empty());
    (void)good;
}

class FatReportTest : public ::testing::Test {
protected:
    void TearDown() override {
        platform::ClearInjected();
        platform::DriveTable::Instance().Reload();
    }
};

TEST_F(FatReportTest, AnInjectedUnreadableSectorShowsAsItsZeroFilledRange) {
    TempDir dir;
    FatImageBuilder::Options o;
    o.fatBits = 16;
    o.sectorsPerCluster = 4;
    FatImageBuilder b(o);
    const uint32_t clusterSize = b.ClusterSize();
    uint32_t first = b.AddFile(b.Root(), "DATA.BIN", 3 * clusterSize, u"", 'q');
    b.DeleteEntry(b.Root(), b.LastIndex(b.Root()));
    const std::string img = dir / "fat.img";
    {
        std::ofstream out(img, std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.Image().data()), static_cast<std::streamsize>(b.Image().size()));
    }
    platform::DriveTable::Instance().SetForTesting({{'Q', img, false, true}});
    DriveEntry drive;
    drive.letter = 'Q';
    ASSERT_EQ(ScanDrive(&drive), 0);
    NodeEntry* node = nullptr;
    for (NodeEntry* c : drive.parser->GetRoot()->Children())
        if (c->isDeleted && !c->IsDirectory()) node = c;
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(node->key, first);
    // The second sector of the file's second cluster.
    const uint64_t badSector = b.ClusterOffset(first + 1) / 512 + 1;
    ASSERT_TRUE(platform::InjectUnreadableSector(img, badSector));

    std::string out = dir / "out";
    std::filesystem::create_directory(out);
    UndeleteRequest request;
    request.drive = &drive;
    request.selection = {node};
    request.destination = out;
    request.source = img;
    request.reportPath = out + "/" + kRecoveryReportName;
    QuietPrompt prompt;
    ASSERT_EQ(UndeleteSelection(request, prompt).recovered, 1u);

    nlohmann::json report = ReadReport(request.reportPath);
    EXPECT_EQ(report["filesystem"], "FAT16");
    ASSERT_EQ(report["files"].size(), 1u);
    const nlohmann::json& f = report["files"][0];
    EXPECT_EQ(f["key"], first);
    EXPECT_EQ(f["content"], "unknown type");
    ASSERT_EQ(f["zero_filled"].size(), 1u);
    EXPECT_EQ(f["zero_filled"][0]["offset"], clusterSize + 512);
    EXPECT_EQ(f["zero_filled"][0]["length"], 512);
    // Only that sector lost its data; the rest of its cluster is as it was.
    std::string expected(3 * clusterSize, 'q');
    std::fill(expected.begin() + clusterSize + 512, expected.begin() + clusterSize + 1024, '\0');
    const std::string writtenPath = f["written"];
    EXPECT_EQ(ReadAll(writtenPath), expected);
    EXPECT_EQ(f["sha256"], FileSha256(writtenPath));
}

// A compressed unit with an unreadable cluster cannot be decoded: it is written as zeros
// and listed, where it used to pass for data.
TEST(RecoveryReport, AnUnreadableCompressedUnitIsWrittenAsZerosAndListed) {
    fixture::NtfsImageBuilder b;
    const size_t unit = 8192;  // 16 clusters of 512 bytes
    auto text = [](const char* word) {
        std::vector<uint8_t> v;
        while (v.size() < unit) v.push_back(static_cast<uint8_t>(word[v.size() % std::strlen(word)]));
        return v;
    };
    std::vector<std::vector<uint8_t>> units = {text("first unit "), text("second unit "), text("third unit ")};
    std::vector<fixture::NtfsRun> runs;
    std::vector<uint64_t> starts;
    for (const auto& u : units) {
        std::vector<uint8_t> packed = fixture::CompressLznt1(u);
        uint64_t clusters = (packed.size() + 511) / 512;
        uint64_t first = b.AllocateClusters(clusters);
        b.WriteClusters(first, packed);
        runs.push_back({clusters, first, false});
        runs.push_back({16 - clusters, 0, true});
        starts.push_back(first);
    }
    uint32_t n = b.NextRecord();
    b.Record(n)
        .InUse(false)
        .StandardInformation(1, 2)
        .FileName(5, u"packed.txt", 1)
        .NonResidentData(runs, 3 * unit, true, 4);
    DriveEntry drive;
    drive.letter = 'E';
    drive.parser = ntfstest::OpenImage(b.Build(), nullptr, {starts[1]});
    NodeEntry* node = MemoryParser::Add(drive.parser->GetRoot(), n, "packed.txt", false, true, 3 * unit);

    TempDir dir;
    UndeleteRequest request;
    request.drive = &drive;
    request.selection = {node};
    request.destination = dir.Path();
    request.source = dir / "volume.img";
    request.reportPath = dir / "report.json";
    QuietPrompt prompt;
    ASSERT_EQ(UndeleteSelection(request, prompt).recovered, 1u);
    std::string expected(units[0].begin(), units[0].end());
    expected += std::string(unit, '\0');
    expected.append(units[2].begin(), units[2].end());
    EXPECT_EQ(ReadAll(dir / "packed.txt"), expected);
    nlohmann::json f = ReadReport(request.reportPath)["files"][0];
    ASSERT_EQ(f["zero_filled"].size(), 1u);
    EXPECT_EQ(f["zero_filled"][0]["offset"], unit);
    EXPECT_EQ(f["zero_filled"][0]["length"], unit);
    EXPECT_EQ(f["content"], "matches");
}

TEST(RecoveryReportWrite, AnUnwritablePathIsReported) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(WriteRecoveryReport(dir / "missing/report.json", "v.img", "FAT12", dir.Path(), {}, &error));
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(WriteRecoveryReport(dir / "r.json", "v.img", nullptr, dir.Path(), {}, &error));
    nlohmann::json r = ReadReport(dir / "r.json");
    EXPECT_TRUE(r["filesystem"].is_null());
    EXPECT_TRUE(r["files"].empty());
}

}  // namespace
