#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "app/ScanJob.h"
#include "platform/DriveTable.h"

namespace {

NodeEntry* Add(NodeEntry* parent, const char* name, bool dir, bool deleted) {
    auto* n = new NodeEntry(0, name, dir ? FILE_ATTRIBUTE_DIRECTORY : 0, deleted ? 1 : 0);
    parent->AddChild(n);
    n->parent = parent;
    return n;
}

TEST(MarkFolders, AFolderIsMarkedOnlyWhenSomethingDeletedLiesBelowIt) {
    NodeEntry root(0, nullptr, FILE_ATTRIBUTE_DIRECTORY, 0);
    NodeEntry* live = Add(&root, "live", true, false);
    NodeEntry* deep = Add(Add(live, "a", true, false), "b", true, false);
    Add(deep, "gone.txt", false, true);
    NodeEntry* emptyDeleted = Add(&root, "emptyDeleted", true, true);  // nothing deleted below
    NodeEntry* clean = Add(&root, "clean", true, false);
    Add(clean, "kept.txt", false, false);

    EXPECT_TRUE(MarkFoldersWithDeletedContent(&root));
    EXPECT_EQ(root.isDeleted, 1);
    EXPECT_EQ(live->isDeleted, 1);
    EXPECT_EQ(deep->isDeleted, 1);
    EXPECT_EQ(emptyDeleted->isDeleted, 0);
    EXPECT_EQ(emptyDeleted->scanDeleted, 1);  // the scan's own verdict survives
    EXPECT_EQ(clean->isDeleted, 0);
}

TEST(MarkFolders, ATreeWithNothingDeletedLeavesTheRootUnmarked) {
    NodeEntry root(0, nullptr, FILE_ATTRIBUTE_DIRECTORY, 1);
    Add(Add(&root, "d", true, false), "f", false, false);
    EXPECT_FALSE(MarkFoldersWithDeletedContent(&root));
    EXPECT_EQ(root.isDeleted, 0);
}

TEST(MarkFolders, DeepChainsDoNotExhaustTheStack) {
    NodeEntry root(0, nullptr, FILE_ATTRIBUTE_DIRECTORY, 0);
    NodeEntry* cur = &root;
    for (int i = 0; i < 200000; ++i) cur = Add(cur, "d", true, false);
    Add(cur, "x", false, true);
    EXPECT_TRUE(MarkFoldersWithDeletedContent(&root));
    EXPECT_EQ(cur->isDeleted, 1);
}

class ScanDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        char t[] = "/tmp/qvr-scan-XXXXXX";
        ASSERT_NE(mkdtemp(t), nullptr);
        m_dir = t;
    }
    void TearDown() override {
        platform::DriveTable::Instance().Reload();
        std::remove((m_dir + "/zeros.img").c_str());
        rmdir(m_dir.c_str());
    }
    std::string m_dir;
};

TEST_F(ScanDriveTest, AVolumeOfZerosIsNotSupportedAndGivesNoTree) {
    std::string img = m_dir + "/zeros.img";
    std::ofstream(img, std::ios::binary) << std::string(64 * 1024, '\0');
    platform::DriveTable::Instance().SetForTesting({{'Q', img, false, true}});
    EXPECT_FALSE(IsDriveSupported('Q'));
    DriveEntry entry;
    entry.letter = 'Q';
    std::string shown;
    ScanOptions options;
    options.showError = [&](const char* text) { shown = text; };
    EXPECT_EQ(ScanDrive(&entry, options), -1);
    EXPECT_EQ(entry.parser, nullptr);
    EXPECT_TRUE(shown.empty());  // unknown file systems end silently
}

TEST_F(ScanDriveTest, AMissingVolumeSaysItCannotBeOpened) {
    platform::DriveTable::Instance().SetForTesting({{'Q', m_dir + "/absent.img", false, true}});
    EXPECT_FALSE(IsDriveSupported('Q'));
    DriveEntry entry;
    entry.letter = 'Q';
    std::string shown;
    ScanOptions options;
    options.showError = [&](const char* text) { shown = text; };
    EXPECT_EQ(ScanDrive(&entry, options), -1);
    EXPECT_EQ(shown, "Can`t open disk");
}

}  // namespace
