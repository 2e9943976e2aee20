// The base parser's shared operations, driven through a small in-memory parser that
// serves one directory of fixed entries.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "fslib/core/FileSystemParser.h"
#include "fslib/core/TempFolder.h"
#include "fslib/disk/MemoryDrive.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

struct Entry {
    std::string name, shortName;
    bool directory;
};

class ListParser final : public CFileSystemParser {
public:
    ListParser(std::vector<Entry> entries, CDiskDrive* drive = nullptr)
        : CFileSystemParser(drive, nullptr), m_entries(std::move(entries)) {}

    int PrepareVolume() override { return 0; }
    uint32_t OpenRootDirectory() override { return InsertHandle(new CHandleObject); }
    uint32_t OpenDirectory(uint32_t, const char*) override { return INVALID_HANDLE; }
    BOOL MoveFirstFile(uint32_t h, FindContext* ctx, int) override {
        if (!GetHandleObject(h) || m_entries.empty()) return FALSE;
        ctx->hDirectory = h;
        ctx->dwPosition = 1;  // 1-based, 0 = none
        return TRUE;
    }
    BOOL MoveNextFile(FindContext* ctx, int) override {
        if (ctx->dwPosition >= m_entries.size()) return FALSE;
        ++ctx->dwPosition;
        return TRUE;
    }
    int CloseFindContext(const FindContext&) override { return 0; }
    BOOL IsDirectory(const FindContext& ctx) override { return At(ctx).directory; }
    int ReadFindFileData(FindContext* ctx, FindData* out) override {
        out->cFileName = At(*ctx).name;
        out->dwFileAttributes = At(*ctx).directory ? FILE_ATTRIBUTE_DIRECTORY : 0;
        return 0;
    }
    BOOL GetFindFileName(const FindContext& ctx, std::string* out) override {
        *out = At(ctx).name;
        return !out->empty();
    }
    int GetFindShortName(const FindContext& ctx, std::string* out) override {
        *out = At(ctx).shortName;
        return out->empty() ? 1 : 0;
    }
    int ReadDirectoryData(uint32_t) override { return m_nReadDirectoryResult; }
    uint32_t OpenFileByRef(FindContext* ctx) override {
        auto* o = new CHandleObject;
        o->dwExtra = ctx->dwPosition;
        return InsertHandle(o);
    }
    uint32_t OpenFileByTreeRef(NodeEntry*) override { return m_bOutOfMemory ? 0 : InsertHandle(new CHandleObject); }
    uint32_t SetFilePointer(uint32_t, LONG, LONG*, int) override { return 0; }
    BOOL ReadFile(uint32_t, void*, uint32_t, uint32_t*) override { return FALSE; }
    uint32_t GetFileSize(uint32_t, uint32_t*) override { return 0; }
    void CloseFile(uint32_t h) override {
        CHandleObject* o = GetHandleObject(h);
        if (o && --o->dwRefCount == 0) FreeHandle(h);
    }

    uint32_t Root() {
        if (m_hRootDirectory == INVALID_HANDLE) m_hRootDirectory = OpenRootDirectory();
        return m_hRootDirectory;
    }
    void SetFirstSector(uint32_t s) { m_dwFirstSector = s; }
    int m_nReadDirectoryResult = 0;
    bool m_bOutOfMemory = false;

private:
    const Entry& At(const FindContext& ctx) const { return m_entries.at(ctx.dwPosition - 1); }
    std::vector<Entry> m_entries;
};

std::vector<Entry> SampleEntries() {
    return {{"Readme.txt", "README.TXT", false},
            {"Program Files", "PROGRA~1", true},
            {"A long document name.doc", "ALONGD~1.DOC", false}};
}

TEST(ParserBase, FindFileMatchesIgnoringCaseAndThroughTheShortName) {
    ListParser p(SampleEntries());
    uint32_t root = p.Root();
    uint32_t h = p.FindFile(root, "README.txt", FALSE);
    ASSERT_NE(h, INVALID_HANDLE);
    EXPECT_EQ(p.GetHandleObject(h)->dwExtra, 1u);
    h = p.FindFile(root, "alongd~1.doc", FALSE);
    ASSERT_NE(h, INVALID_HANDLE);
    EXPECT_EQ(p.GetHandleObject(h)->dwExtra, 3u);
    h = p.FindFile(root, "program files", TRUE);
    ASSERT_NE(h, INVALID_HANDLE);
    // A directory opened by reference holds one more reference than a file.
    EXPECT_EQ(p.GetHandleObject(h)->dwRefCount, 2u);
}

TEST(ParserBase, FindFileFailuresSetTheirLastErrors) {
    ListParser p(SampleEntries());
    uint32_t root = p.Root();
    SetLastError(0);
    EXPECT_EQ(p.FindFile(root, "Readme.txt", TRUE), INVALID_HANDLE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(p.FindFile(root, "missing", FALSE), INVALID_HANDLE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(p.FindFile(root, "", FALSE), INVALID_HANDLE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(p.FindFile(77, "Readme.txt", FALSE), INVALID_HANDLE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(ParserBase, OpenDirectoryByRefClosesOnReadErrorsButNotOnNoMemory) {
    ListParser p(SampleEntries());
    FindContext ctx;
    ASSERT_TRUE(p.MoveFirstFile(p.Root(), &ctx, 0));
    size_t before = p.HandleTableSize();
    p.m_nReadDirectoryResult = 5;
    EXPECT_EQ(p.OpenDirectoryByRef(&ctx), INVALID_HANDLE);
    EXPECT_EQ(p.GetHandleObject(static_cast<uint32_t>(before)), nullptr);  // closed again
    p.m_nReadDirectoryResult = 3;
    EXPECT_EQ(p.OpenDirectoryByRef(&ctx), INVALID_HANDLE);
    EXPECT_NE(p.GetHandleObject(static_cast<uint32_t>(before)), nullptr);  // left open
}

TEST(ParserBase, InsertHandleReusesTheFirstEmptySlot) {
    ListParser p({});
    EXPECT_EQ(p.InsertHandle(nullptr), 0u);
    uint32_t h0 = p.InsertHandle(new CHandleObject);
    uint32_t h1 = p.InsertHandle(new CHandleObject);
    uint32_t h2 = p.InsertHandle(new CHandleObject);
    uint32_t h3 = p.InsertHandle(new CHandleObject);
    EXPECT_EQ((std::vector<uint32_t>{h0, h1, h2, h3}), (std::vector<uint32_t>{0, 1, 2, 3}));
    p.FreeHandle(2);
    EXPECT_EQ(p.GetHandleObject(2), nullptr);
    EXPECT_EQ(p.InsertHandle(new CHandleObject), 2u);
    EXPECT_EQ(p.InsertHandle(new CHandleObject), 4u);
}

TEST(ParserBase, OpenNodeFileTellsHandleZeroFromTheNoMemoryAnswer) {
    ListParser p({});
    NodeEntry node(5, nullptr, 0, 0);
    EXPECT_EQ(p.OpenNodeFile(&node), 0u);  // fills the empty slot 0: a real handle
    EXPECT_EQ(p.OpenNodeFile(&node), 1u);
    p.m_bOutOfMemory = true;
    EXPECT_EQ(p.OpenNodeFile(&node), INVALID_HANDLE);  // 0 while slot 0 is taken
    p.FreeHandle(0);
    EXPECT_EQ(p.OpenNodeFile(&node), INVALID_HANDLE);  // 0 with slot 0 still empty
    p.m_bOutOfMemory = false;
    EXPECT_EQ(p.OpenNodeFile(&node), 0u);
}

TEST(ParserBase, FindFirstAndNextWalkEveryEntryAndCloseReleasesTheDirectory) {
    ListParser p(SampleEntries());
    uint32_t root = p.Root();
    FindData fd;
    FindContext* ctx = p.FindFirstByHandle(root, &fd);
    ASSERT_NE(ctx, nullptr);
    std::vector<std::string> names{fd.cFileName};
    while (p.FindNextFile(ctx, &fd)) names.push_back(fd.cFileName);
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(names[1], "Program Files");
    EXPECT_EQ(p.GetHandleObject(root)->dwRefCount, 2u);
    p.FindClose(ctx);
    EXPECT_EQ(p.GetHandleObject(root)->dwRefCount, 1u);

    ListParser empty({});
    EXPECT_EQ(empty.FindFirstByHandle(empty.Root(), &fd), nullptr);
}

TEST(ParserBase, NameRules) {
    struct Case {
        const char* name;
        bool valid;
    } cases[] = {
        {"a.txt", true}, {"", false},    {".", false},     {"..", false},        {"...", true},
        {"a:b", false},  {"a/b", false}, {"a\\b", false},  {"a|b", false},       {"a?", false},
        {"a*", false},   {"<a>", false}, {"\"q\"", false}, {"tab\there", false}, {"r\xC3\xA9sum\xC3\xA9", true}};
    for (const Case& c : cases) EXPECT_EQ(CFileSystemParser::IsValidFileNameA(c.name), c.valid) << c.name;
    EXPECT_FALSE(CFileSystemParser::IsValidFileNameW(u"a:b"));
    EXPECT_TRUE(CFileSystemParser::IsValidFileNameW(u"\u00e9t\u00e9"));
}

TEST(ParserBase, CanCreateFileTestsTheDestinationWithATestFile) {
    char dirTemplate[] = "/tmp/qvr-names-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    std::string dir = dirTemplate;
    ListParser p({});
    EXPECT_TRUE(p.CanCreateFileA("recycled", "/nonexistent-folder"));  // accepted without a test
    EXPECT_FALSE(p.CanCreateFileA("a:b", dir.c_str()));
    EXPECT_TRUE(p.CanCreateFileA("fresh.txt", dir.c_str()));
    EXPECT_FALSE(platform::FileExists(dir + "/fresh.txt"));  // the test file is removed
    std::ofstream(dir + "/taken.txt") << "x";
    EXPECT_TRUE(p.CanCreateFileA("taken.txt", dir.c_str()));
    EXPECT_TRUE(platform::FileExists(dir + "/taken.txt"));  // an existing file is left alone
    EXPECT_FALSE(p.CanCreateFileA(std::string(300, 'n').c_str(), dir.c_str()));
    EXPECT_FALSE(p.CanCreateFileW(u"RECYCLED:", dir.c_str()));
    std::remove((dir + "/taken.txt").c_str());
    rmdir(dir.c_str());
}

TEST(ParserBase, VolumeReadsAreRelativeToTheFirstSectorAndClustersScale) {
    std::vector<uint8_t> bytes(size_t{64} * 512);
    for (size_t s = 0; s < 64; ++s) bytes[s * 512] = static_cast<uint8_t>(s);
    auto* drive = new CMemoryDrive(bytes);
    drive->Open('Z');
    uint8_t boot[512] = {};
    boot[11] = 0x00;
    boot[12] = 0x02;  // 512 bytes per sector
    boot[13] = 4;     // 4 sectors per cluster
    struct P : CFileSystemParser {
        P(CDiskDrive* d, const uint8_t* b) : CFileSystemParser(d, b) { m_dwFirstSector = 8; }
        int PrepareVolume() override { return 0; }
        uint32_t OpenRootDirectory() override { return INVALID_HANDLE; }
        uint32_t OpenDirectory(uint32_t, const char*) override { return INVALID_HANDLE; }
        BOOL MoveFirstFile(uint32_t, FindContext*, int) override { return FALSE; }
        BOOL MoveNextFile(FindContext*, int) override { return FALSE; }
        int CloseFindContext(const FindContext&) override { return 0; }
        BOOL IsDirectory(const FindContext&) override { return FALSE; }
        int ReadFindFileData(FindContext*, FindData*) override { return -1; }
        BOOL GetFindFileName(const FindContext&, std::string*) override { return FALSE; }
        int GetFindShortName(const FindContext&, std::string*) override { return 1; }
        uint32_t OpenFileByRef(FindContext*) override { return INVALID_HANDLE; }
        uint32_t SetFilePointer(uint32_t, LONG, LONG*, int) override { return 0; }
        BOOL ReadFile(uint32_t, void*, uint32_t, uint32_t*) override { return FALSE; }
        uint32_t GetFileSize(uint32_t, uint32_t*) override { return 0; }
        void CloseFile(uint32_t) override {}
    } p(drive, boot);
    uint8_t buf[8 * 512];
    uint32_t read = 0;
    EXPECT_NE(p.ReadVolumeSectors(2, buf, 1, &read), 0);
    EXPECT_EQ(buf[0], 10);
    EXPECT_EQ(p.ReadVolumeClusters(3, buf, 2, &read), 1);
    EXPECT_EQ(read, 2u);
    EXPECT_EQ(buf[0], 8 + 12);
    EXPECT_EQ(buf[size_t{4} * 512], 8 + 16);
    EXPECT_EQ(p.CloseDisk(), 1);
    EXPECT_EQ(p.GetDiskDrive(), nullptr);
    EXPECT_EQ(p.ReadVolumeSectors(0, buf, 1, &read), kSeekFailed);
}

TEST(ParserBase, ClearTreeDestroysTheChildrenAndKeepsTheRoot) {
    ListParser p({});
    NodeEntry* root = p.GetRoot();
    auto* a = new NodeEntry(1, "a", FILE_ATTRIBUTE_DIRECTORY, 1);
    root->AddChild(a);
    a->AddChild(new NodeEntry(2, "b", 0, 1));
    EXPECT_EQ(p.ClearTree(), 1);
    EXPECT_FALSE(root->HasChildren());
    EXPECT_EQ(p.GetRoot(), root);
}

TEST(ParserBase, ThePrivateTemporaryFolderExists) {
    ListParser p({});
    EXPECT_NE(p.GetTempPath().find("kqz_temp"), std::string::npos);
    EXPECT_TRUE(platform::DirectoryExists(p.GetTempPath()));
}

}  // namespace

namespace {
TEST(ParserBase, NameChecksUseTheProcessTemporaryFolder) {
    char dirTemplate[] = "/tmp/qvr-proc-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    std::string dir = dirTemplate;
    std::ofstream(dir + "/busy.txt") << "x";
    SetProcessTempFolder(dir);
    ListParser p({});
    // An existing name in the process folder passes; the parser's own folder is not used.
    EXPECT_TRUE(p.CanCreateFileA("busy.txt"));
    EXPECT_TRUE(platform::FileExists(dir + "/busy.txt"));
    SetProcessTempFolder(dir + "/missing");
    SetLastError(0);
    EXPECT_FALSE(p.CanCreateFileA("any.txt"));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    SetProcessTempFolder("");
    std::remove((dir + "/busy.txt").c_str());
    rmdir(dir.c_str());
}
}  // namespace

namespace {
// Where this file system takes the name too (at most 255 bytes), the rule and a real test
// file agree.
TEST(NameRule, AgreesWithATestFileWhereTheFolderTakesTheName) {
    char folder[] = "/tmp/qvr-namerule-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    ListParser parser({});
    const std::vector<std::u16string> pieces = {u"a", u"\u00e9", u"\u3042", u"\U0001F600"};
    std::mt19937 random(99);
    int compared = 0;
    for (int i = 0; i < 400; ++i) {
        std::u16string name;
        const size_t target = 1 + random() % 120;
        while (name.size() < target) name += pieces[random() % pieces.size()];
        if (random() % 4 == 0) name.insert(name.begin() + static_cast<long>(random() % name.size()), u':');
        const std::string utf8 = platform::Utf16ToUtf8(name);
        if (utf8.size() > 255) continue;
        ++compared;
        EXPECT_EQ(CFileSystemParser::IsStorableFileNameA(utf8.c_str()), parser.CanCreateFileA(utf8.c_str(), folder))
            << utf8;
    }
    EXPECT_GT(compared, 100);
    std::filesystem::remove_all(folder);
}
}  // namespace
