// The general recovery of tree nodes through a parser's file handles.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "fslib/core/RecoveryTarget.h"
#include "platform/Time.h"
#include "tests/unit/platform/TempDir.h"
#include "tests/unit/recovery/MemoryParser.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(i * 31 + seed + (i >> 12));
    return v;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Touch(const std::string& path) { std::ofstream(path) << "keep"; }

class NodeRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override { UserBreak.store(0); }
    void TearDown() override { UserBreak.store(0); }

    int Recover(NodeEntry* node, const std::string& destination) {
        files = folders = 0;
        return parser.RecoverNode(node, destination.c_str(), &files, &folders, 0, -1000, nullptr);
    }

    MemoryParser parser;
    TempDir dir;
    uint32_t files = 0, folders = 0;
};

TEST_F(NodeRecoveryTest, DeletedFileIsCopiedWholeWithItsTimes) {
    // Sizes around the 1 MiB chunk: empty, one byte, exactly one chunk, several chunks.
    const size_t sizes[] = {0, 1, 4097, recovery::kTransferBufferSize, 2 * recovery::kTransferBufferSize + 300};
    uint32_t key = 100;
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        std::string name = "file" + std::to_string(size) + ".bin";
        NodeEntry* node = MemoryParser::Add(parser.GetRoot(), ++key, name.c_str(), false, true, size);
        node->modifiedTime = platform::UnixToFileTime(1600000000);
        node->createdTime = platform::UnixToFileTime(1500000000);
        parser.AddFile(key, Pattern(size, static_cast<uint8_t>(key)));
        ASSERT_EQ(Recover(node, dir.Path()), RECOVER_OK);
        EXPECT_EQ(files, 1u);
        EXPECT_EQ(folders, 0u);
        EXPECT_EQ(ReadAll(dir / name), Pattern(size, static_cast<uint8_t>(key)));
        struct stat st;
        ASSERT_EQ(::stat((dir / name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, 1600000000);
    }
    EXPECT_EQ(parser.OpenHandles(), 1u) << "every file handle is closed again";
}

TEST_F(NodeRecoveryTest, ExistingNamesAreKeptAndTheFirstFreeNumberIsUsed) {
    struct Case {
        const char* name;
        std::vector<const char*> existing;
        const char* written;
    } cases[] = {
        {"a.txt", {"a.txt", "a(1).txt"}, "a(2).txt"},
        {"a.txt", {"a(1).txt"}, "a.txt"},
        {"noext", {"noext"}, "noext(1)"},
        {".hidden", {".hidden"}, ".hidden(1)"},
        {"two.dots.tar", {"two.dots.tar"}, "two.dots(1).tar"},
    };
    uint32_t key = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        for (const char* e : c.existing) Touch(out / e);
        NodeEntry* node = MemoryParser::Add(parser.GetRoot(), ++key, c.name, false, true, 3);
        parser.AddFile(key, {'n', 'e', 'w'});
        ASSERT_EQ(Recover(node, out.Path() + "/"), RECOVER_OK);
        EXPECT_EQ(ReadAll(out / c.written), (std::vector<uint8_t>{'n', 'e', 'w'}));
        for (const char* e : c.existing) {
            if (std::string(e) != c.written) {
                EXPECT_EQ(ReadAll(out / e).size(), 4u) << e << " was overwritten";
            }
        }
    }
}

TEST_F(NodeRecoveryTest, UnreadableDataKeepsTheRestOfTheFileInPlace) {
    const size_t size = recovery::kTransferBufferSize + 5000;
    std::vector<uint8_t> data = Pattern(size, 7);
    NodeEntry* node = MemoryParser::Add(parser.GetRoot(), 5, "damaged.bin", false, true, size);
    parser.AddFile(5, data);
    parser.SetUnreadable(5, 1024, 3072);
    ASSERT_EQ(Recover(node, dir.Path()), RECOVER_OK);
    std::vector<uint8_t> written = ReadAll(dir / "damaged.bin");
    ASSERT_EQ(written.size(), size);
    // Only the unreadable bytes turn to zeros; everything around them stays in place.
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 1024, written.begin()));
    EXPECT_TRUE(std::all_of(written.begin() + 1024, written.begin() + 3072, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(data.begin() + 3072, data.end(), written.begin() + 3072));
}

TEST_F(NodeRecoveryTest, ResultCodesOfFilesThatCannotBeWritten) {
    NodeEntry* missingSource = MemoryParser::Add(parser.GetRoot(), 1, "gone.txt", false, true, 10);
    EXPECT_EQ(Recover(missingSource, dir.Path()), RECOVER_NOT_FOUND);

    NodeEntry* present = MemoryParser::Add(parser.GetRoot(), 2, "x.txt", false, true, 1);
    parser.AddFile(2, {'x'});
    EXPECT_EQ(Recover(present, dir / "no/such/folder"), RECOVER_PATH_NOT_FOUND);
    EXPECT_FALSE(fs::exists(dir / "no"));

    NodeEntry* unnamed = MemoryParser::Add(parser.GetRoot(), 2, nullptr, false, true, 1);
    EXPECT_EQ(Recover(unnamed, dir.Path()), RECOVER_FAILED);

    UserBreak.store(1);
    EXPECT_EQ(Recover(present, dir.Path()), RECOVER_USER_BREAK);
    EXPECT_FALSE(fs::exists(dir / "x.txt"));
    EXPECT_EQ(parser.OpenHandles(), 1u);
}

TEST_F(NodeRecoveryTest, NamesThatWouldLeaveTheDestinationAreMadeSafe) {
    struct Case {
        const char* name;
        const char* written;
    } cases[] = {{"a/b", "a_b"}, {"..", "__"}, {".", "_"}, {"../../escape", ".._.._escape"}};
    TempDir out;
    fs::create_directory(out / "inner");
    uint32_t key = 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NodeEntry* node = MemoryParser::Add(parser.GetRoot(), ++key, c.name, false, true, 1);
        parser.AddFile(key, {'s'});
        ASSERT_EQ(Recover(node, out / "inner"), RECOVER_OK);
        EXPECT_TRUE(fs::is_regular_file(out / ("inner/" + std::string(c.written))));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out.Path()), fs::directory_iterator()), 1)
        << "nothing was written beside the destination folder";
}

TEST_F(NodeRecoveryTest, ANameTheFileSystemRefusesGetsARecoveredName) {
    std::string tooLong(300, 'n');
    NodeEntry* node = MemoryParser::Add(parser.GetRoot(), 3, tooLong.c_str(), false, true, 2);
    parser.AddFile(3, {'o', 'k'});
    ASSERT_EQ(Recover(node, dir.Path()), RECOVER_OK);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.Path())) names.push_back(e.path().filename().string());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("recovered_", 0), 0u) << names[0];
    EXPECT_EQ(ReadAll(dir / names[0]), (std::vector<uint8_t>{'o', 'k'}));
}

TEST_F(NodeRecoveryTest, FoldersRecreateTheDeletedPartsOfTheirSubtree) {
    // live/ holds a live file, a live empty folder and, three levels down, one deleted file.
    NodeEntry* live = MemoryParser::Add(parser.GetRoot(), 1, "live", true, false);
    MemoryParser::Add(live, 2, "kept.txt", false, false, 50);
    MemoryParser::Add(live, 3, "empty", true, false);
    NodeEntry* l1 = MemoryParser::Add(live, 4, "l1", true, false);
    NodeEntry* l2 = MemoryParser::Add(l1, 5, "l2", true, false);
    NodeEntry* deep = MemoryParser::Add(l2, 6, "deep.txt", false, true, 4);
    parser.AddFile(2, Pattern(50, 1));
    parser.AddFile(6, {'d', 'e', 'e', 'p'});
    deep->modifiedTime = platform::UnixToFileTime(1400000000);
    l1->modifiedTime = platform::UnixToFileTime(1300000000);

    ASSERT_EQ(Recover(live, dir.Path()), RECOVER_OK);
    EXPECT_EQ(files, 1u);
    EXPECT_EQ(folders, 3u);  // live, l1, l2
    EXPECT_EQ(ReadAll(dir / "live/l1/l2/deep.txt"), (std::vector<uint8_t>{'d', 'e', 'e', 'p'}));
    EXPECT_FALSE(fs::exists(dir / "live/kept.txt"));
    EXPECT_FALSE(fs::exists(dir / "live/empty"));
    // A folder gets its stored time once its contents are written; an unknown time is left.
    struct stat st;
    ASSERT_EQ(::stat((dir / "live/l1").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1300000000);
    ASSERT_EQ(::stat((dir / "live/l1/l2").c_str(), &st), 0);
    EXPECT_NE(st.st_mtime, 0);

    // A live folder with nothing deleted below it is skipped without a trace.
    NodeEntry* clean = MemoryParser::Add(parser.GetRoot(), 7, "clean", true, false);
    MemoryParser::Add(clean, 8, "f", false, false, 9);
    EXPECT_EQ(Recover(clean, dir.Path()), RECOVER_OK);
    EXPECT_EQ(files + folders, 0u);
    EXPECT_FALSE(fs::exists(dir / "clean"));
}

TEST_F(NodeRecoveryTest, DeletedFolderIntoAnExistingFolderOfTheSameNameMerges) {
    NodeEntry* folder = MemoryParser::Add(parser.GetRoot(), 1, "docs", true, true);
    MemoryParser::Add(folder, 2, "one.txt", false, true, 1);
    MemoryParser::Add(folder, 3, "two.txt", false, true, 1);
    parser.AddFile(2, {'1'});
    parser.AddFile(3, {'2'});
    fs::create_directory(dir / "docs");
    Touch(dir / "docs/one.txt");
    ASSERT_EQ(Recover(folder, dir.Path()), RECOVER_OK);
    EXPECT_EQ(files, 2u);
    EXPECT_EQ(folders, 1u);
    EXPECT_EQ(ReadAll(dir / "docs/one(1).txt"), std::vector<uint8_t>{'1'});
    EXPECT_EQ(ReadAll(dir / "docs/two.txt"), std::vector<uint8_t>{'2'});

    // A file standing where the folder should go cannot become a folder.
    NodeEntry* blocked = MemoryParser::Add(parser.GetRoot(), 4, "blocked", true, true);
    Touch(dir / "blocked");
    EXPECT_EQ(Recover(blocked, dir.Path()), RECOVER_NO_FOLDER);
}

TEST_F(NodeRecoveryTest, TheUpFolderRowIsWrittenUnderItsPathBeforeDeletion) {
    NodeEntry* row = MemoryParser::Add(parser.GetRoot(), 9, recovery::kUpFolderRowName, false, true, 2);
    row->SetPathBeforeDeletion("before.txt");
    parser.AddFile(9, {'u', 'p'});
    ASSERT_EQ(Recover(row, dir.Path()), RECOVER_OK);
    EXPECT_EQ(ReadAll(dir / "before.txt"), (std::vector<uint8_t>{'u', 'p'}));
}

TEST_F(NodeRecoveryTest, HandleZeroIsAFileWhenItFillsAFreedSlot) {
    NodeEntry* node = MemoryParser::Add(parser.GetRoot(), 4, "zero.txt", false, true, 4);
    parser.AddFile(4, {'z', 'e', 'r', 'o'});
    parser.CloseFile(parser.OpenFileByTreeRef(node));  // makes slot 0 (taken by the parser) and frees slot 1
    parser.FreeHandle(0);
    ASSERT_EQ(Recover(node, dir.Path()), RECOVER_OK);
    EXPECT_EQ(ReadAll(dir / "zero.txt"), (std::vector<uint8_t>{'z', 'e', 'r', 'o'}));
}

TEST(RecoveryTargetTest, JoinAddsASeparatorOnlyWhenMissing) {
    EXPECT_EQ(recovery::JoinTarget("/e", "a.txt"), "/e/a.txt");
    EXPECT_EQ(recovery::JoinTarget("/e/", "a.txt"), "/e/a.txt");
}

}  // namespace
