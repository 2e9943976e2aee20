// The MFT dump over fixture NTFS volumes written to image files (sparse where they are
// large), compared byte for byte with the images, and its report line by line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/MftDump.h"
#include "platform/RawVolume.h"
#include "tests/fixtures/FatImageBuilder.h"
#include "tests/fixtures/NtfsImageBuilder.h"
#include "tests/unit/platform/TempDir.h"

namespace {

constexpr uint64_t kTiB = 1ull << 40;

// The status text as the dialog builds it: the first message replaces the text, later
// ones are appended after a line break.
class TextSink final : public mftdump::IMftDumpSink {
public:
    explicit TextSink(std::string first) : m_text(std::move(first)) {}
    void Append(const std::string& message) override { m_text += "\n" + message; }
    void SetProgressRange(int maximum) override { m_range = maximum; }
    void SetProgress(int position) override { m_positions.push_back(position); }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(m_text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::string m_text;
    int m_range = -1;
    std::vector<int> m_positions;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ReadAt(const std::string& path, uint64_t offset, size_t count) {
    std::string bytes(count, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY);
    const ssize_t n = fd >= 0 ? ::pread(fd, bytes.data(), count, static_cast<off_t>(offset)) : -1;
    if (fd >= 0) ::close(fd);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

void WriteAt(int fd, uint64_t offset, const void* data, size_t count) {
    ASSERT_EQ(::pwrite(fd, data, count, static_cast<off_t>(offset)), static_cast<ssize_t>(count));
}

void Put64(std::vector<uint8_t>& bytes, size_t offset, uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

class MftDump : public ::testing::Test {
protected:
    void TearDown() override { platform::ClearInjected(); }

    // A fixture volume of 4 KiB clusters whose boot sector is moved in front of an MFT
    // placed at mftCluster, in an image file of `size` bytes (sparse between the two).
    // Returns the image path; the MFT's bytes start at mftCluster * 4096 in it.
    std::string PlacedVolume(const std::string& name, uint64_t mftCluster, uint64_t size) {
        fixture::NtfsImageBuilder::Options options;
        options.sectorsPerCluster = 8;
        options.totalSectors = 8192;
        options.mftCluster = 16;
        fixture::NtfsImageBuilder builder(options);
        builder.AddFile(5, u"kept.txt", std::vector<uint8_t>(9000, 'k'));
        builder.AddFile(5, u"gone.txt", std::vector<uint8_t>(20000, 'g'), true);
        std::vector<uint8_t> image = builder.Build();
        const uint64_t builtMft = options.mftCluster * 4096;
        std::vector<uint8_t> boot(image.begin(), image.begin() + 512);
        Put64(boot, 0x28, size / 512 - 1);
        Put64(boot, 0x30, mftCluster);
        const std::string path = m_dir / name;
        const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        EXPECT_GE(fd, 0);
        const uint64_t mftOffset = mftCluster * 4096;
        const size_t tail = static_cast<size_t>(std::min<uint64_t>(image.size() - builtMft, size - mftOffset));
        WriteAt(fd, mftOffset, image.data() + builtMft, tail);
        WriteAt(fd, 0, boot.data(), boot.size());
        EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        ::close(fd);
        return path;
    }

    TempDir m_dir;
};

TEST_F(MftDump, ReportAndFilesOfADumpAtA32BitOffset) {
    const uint64_t mftOffset = 786432ull * 4096;
    const std::string image = PlacedVolume("c0.img", 786432, mftOffset + (4u << 20));
    TextSink sink(mftdump::kStartLine);
    const auto result = mftdump::DumpMft({'E', image}, m_dir.Path(), sink);
    sink.Append(mftdump::kAgainMessage);
    ASSERT_TRUE(result.bOk) << sink.m_text;
    const std::string boot = m_dir / "BootDump.hex";
    const std::string mft = m_dir / "MFTDump.hex";
    const std::vector<std::string> expected = {
        "Select NTFS drive and press button to start dump process..",
        "",
        "  MFT Dump runned on drive: E",
        "  >> MFT Offset from the beginning: c0000000",
        "  >> Total sectors quantity: " + std::to_string((mftOffset + (4u << 20)) / 512 - 1),
        "  >> Writing Boot Sector in File on " + boot,
        "  >> Ok.",
        "  >> Writing MFT Dump File on " + mft,
        "  >> Ok.",
        "______________________________________",
        "Dump process successfully acomplished.",
        "",
        " Select NTFS drive and press button to start dump process..",
    };
    EXPECT_EQ(sink.Lines(), expected);
    EXPECT_EQ(sink.m_range, 10);
    EXPECT_EQ(sink.m_positions, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    EXPECT_EQ(ReadFile(boot), ReadAt(image, 0, 512));
    const std::string dumped = ReadFile(mft);
    ASSERT_EQ(dumped.size(), 1024000u);
    EXPECT_EQ(dumped, ReadAt(image, mftOffset, 1024000));
    EXPECT_EQ(dumped.substr(0, 4), "FILE");
    EXPECT_EQ(result.nMftWritten, 1024000u);
}

TEST_F(MftDump, ASecondDumpReplacesBothFiles) {
    const std::string first = PlacedVolume("first.img", 16, 8u << 20);
    const std::string second = PlacedVolume("second.img", 300, 8u << 20);
    // The second volume's boot sector differs from the first one's in its MFT cluster.
    TextSink sink(mftdump::kStartLine);
    ASSERT_TRUE(mftdump::DumpMft({'E', first}, m_dir.Path(), sink).bOk);
    ASSERT_TRUE(mftdump::DumpMft({'F', second}, m_dir.Path(), sink).bOk);
    EXPECT_EQ(ReadFile(m_dir / "BootDump.hex"), ReadAt(second, 0, 512));
    EXPECT_EQ(ReadFile(m_dir / "MFTDump.hex"), ReadAt(second, 300 * 4096, 1024000));
    EXPECT_NE(ReadFile(m_dir / "BootDump.hex"), ReadAt(first, 0, 512));
}

TEST_F(MftDump, VolumeAboveOneTebibytePrintsWholeSixtyFourBitFields) {
    // MFT cluster 0x80000000 (the sign bit of the field's low half) on a 9 TiB volume.
    const uint64_t cluster = 0x80000000ull;
    const uint64_t size = 9 * kTiB;
    const std::string image = PlacedVolume("large.img", cluster, size);
    TextSink sink(mftdump::kStartLine);
    const auto result = mftdump::DumpMft({'G', image}, m_dir.Path(), sink);
    ASSERT_TRUE(result.bOk) << sink.m_text;
    const auto lines = sink.Lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[3], "  >> MFT Offset from the beginning: 80000000000");
    EXPECT_EQ(lines[4], "  >> Total sectors quantity: 19327352831");
    EXPECT_EQ(ReadFile(m_dir / "MFTDump.hex"), ReadAt(image, cluster * 4096, 1024000));
}

TEST_F(MftDump, AReadFailureStopsWithItsReasonAndNoOk) {
    const std::string image = PlacedVolume("bad.img", 16, 8u << 20);
    // Sector 700 of the MFT area lies in its fourth block of 200 sectors.
    const uint64_t badSector = 16 * 8 + 700;
    ASSERT_TRUE(platform::InjectUnreadableSector(image, badSector));
    TextSink sink(mftdump::kStartLine);
    const auto result = mftdump::DumpMft({'E', image}, m_dir.Path(), sink);
    EXPECT_FALSE(result.bOk);
    const auto lines = sink.Lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "  >> Writing MFT Dump File on " + (m_dir / "MFTDump.hex"));
    EXPECT_NE(lines[lines.size() - 3].find("Cannot read drive E: at byte offset 67800"), std::string::npos)
        << lines[lines.size() - 3];
    EXPECT_EQ(lines[lines.size() - 2], "______________________________________");
    EXPECT_EQ(lines.back(), "Dump process failed.");
    // The blocks before the bad one, and the sectors of its block before the bad sector.
    EXPECT_EQ(ReadFile(m_dir / "MFTDump.hex"), ReadAt(image, 16 * 4096, 700 * 512));
    EXPECT_EQ(result.nMftWritten, 700u * 512);
}

TEST_F(MftDump, AShortMftWritesWhatExistsAndSaysSo) {
    // The volume ends 300,000 bytes after the MFT's first byte.
    const std::string image = PlacedVolume("short.img", 16, 16 * 4096 + 300000);
    TextSink sink(mftdump::kStartLine);
    const auto result = mftdump::DumpMft({'E', image}, m_dir.Path(), sink);
    ASSERT_TRUE(result.bOk) << sink.m_text;
    EXPECT_EQ(result.nMftWritten, 300000u);
    EXPECT_EQ(ReadFile(m_dir / "MFTDump.hex"), ReadAt(image, 16 * 4096, 300000));
    const auto lines = sink.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "  >> The volume ends 300000 bytes after the MFT offset: only those bytes were written."),
              lines.end())
        << sink.m_text;
}

struct FailureCase {
    const char* what;
    std::string volume;  // path, relative to the scratch folder
    std::string folder;  // relative to the scratch folder
    const char* reason;
};

TEST_F(MftDump, FailuresAreReportedWithoutOkAndWithoutSuccess) {
    PlacedVolume("good.img", 16, 8u << 20);
    PlacedVolume("past.img", 5000, 8u << 20);  // MFT cluster past the end of the image
    {
        std::ofstream zeros(m_dir / "zeros.img", std::ios::binary);
        zeros << std::string(65536, '\0');
    }
    ASSERT_EQ(::mkdir((m_dir / "out").c_str(), 0755), 0);
    const FailureCase cases[] = {
        {"missing volume", "absent.img", "out", "  >> Cannot open drive E: ("},
        {"not NTFS", "zeros.img", "out", "  >> Drive E: holds no NTFS volume."},
        {"MFT past the end", "past.img", "out", "  >> The MFT offset lies past the end of drive E:"},
        {"missing folder", "good.img", "no/such/folder", "  >> Cannot create "},
    };
    for (const FailureCase& c : cases) {
        TextSink sink(mftdump::kStartLine);
        const auto result = mftdump::DumpMft({'E', m_dir / c.volume}, m_dir / c.folder, sink);
        EXPECT_FALSE(result.bOk) << c.what;
        const auto lines = sink.Lines();
        ASSERT_GE(lines.size(), 3u) << c.what;
        EXPECT_EQ(lines[lines.size() - 3].rfind(c.reason, 0), 0u) << c.what << ": " << sink.m_text;
        EXPECT_EQ(lines.back(), "Dump process failed.") << c.what;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "  >> Ok."), 0) << c.what;
        // Nothing is written before the volume and its boot sector have been checked.
        EXPECT_NE(::access((m_dir / "out/BootDump.hex").c_str(), F_OK), 0) << c.what;
    }
}

TEST_F(MftDump, OnlyNtfsVolumesAreListedSortedByLetter) {
    const std::string ntfsA = PlacedVolume("a.img", 16, 8u << 20);
    const std::string ntfsB = PlacedVolume("b.img", 16, 8u << 20);
    FatImageBuilder fat(FatImageBuilder::Options{});
    const std::vector<uint8_t>& fatImage = fat.Image();
    {
        std::ofstream out(m_dir / "fat.img", std::ios::binary);
        out.write(reinterpret_cast<const char*>(fatImage.data()), static_cast<std::streamsize>(fatImage.size()));
    }
    const std::vector<platform::DriveSource> withNtfs = {{'K', ntfsB, false, true},
                                                         {'D', m_dir / "fat.img", false, true},
                                                         {'F', ntfsA, false, true},
                                                         {'G', m_dir / "absent.img", false, true}};
    const auto list = mftdump::ListNtfsVolumes(withNtfs);
    ASSERT_EQ(list.volumes.size(), 2u);
    EXPECT_EQ(list.volumes[0].letter, 'F');
    EXPECT_EQ(list.volumes[0].source, ntfsA);
    EXPECT_EQ(list.volumes[1].letter, 'K');
    EXPECT_EQ(mftdump::DisplayName(list.volumes[0]), "F:  " + ntfsA);
    EXPECT_EQ(mftdump::DeniedNote(list), "");

    const auto none = mftdump::ListNtfsVolumes({withNtfs[1], withNtfs[3]});
    EXPECT_TRUE(none.volumes.empty());
    EXPECT_EQ(none.nDenied, 0u);
    EXPECT_EQ(mftdump::DeniedNote(none), "");
}

TEST_F(MftDump, AnEmptyListForLackOfRightsSaysSo) {
    const std::string image = PlacedVolume("locked.img", 16, 8u << 20);
    ASSERT_EQ(::chmod(image.c_str(), 0600), 0);
    // The listing runs as an unprivileged user, as a desktop session does; root would
    // open any file.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        const auto list = mftdump::ListNtfsVolumes({{'E', image, false, true}});
        const bool said = mftdump::DeniedNote(list).find("lack of rights") != std::string::npos;
        ::_exit(list.volumes.empty() && list.nDenied == 1 && said ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
