// Folders that no file system holds, in a tree beside real ones: their names, and that the
// marking pass, the browser and recovery treat them as folders of deleted files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/BrowserModel.h"
#include "fslib/core/MadeUpFolder.h"
#include "tests/unit/platform/TempDir.h"
#include "tests/unit/recovery/MemoryParser.h"

namespace fs = std::filesystem;

namespace {

TEST(MadeUpFolderTest, NamesPassTheNameRulesAndStayUniqueAmongSiblings) {
    struct Case {
        const char* wanted;
        const char* name;
    } cases[] = {
        {"Found by content", "Found by content"},
        {"$$folder_64", "$$folder_64"},
        {"C:\\old/tree", "C__old_tree"},
        {"a*b?\"<x>|", "a_b___x__"},
        {"\x01tab\there", "_tab_here"},
        {"", "_"},
        {"..", "_"},
        {"Stra\xc3\x9f"
         "e.",
         "Stra\xc3\x9f"
         "e."},
    };
    for (const Case& c : cases) EXPECT_EQ(madeup::FolderName(c.wanted), c.name) << c.wanted;
    EXPECT_EQ(madeup::UniqueName({"lost", "lost (2)"}, "lost"), "lost (3)");
    EXPECT_EQ(madeup::UniqueName({"lost"}, "found"), "found");
}

TEST(MadeUpFolderTest, ATreeHoldingOneIsBrowsedAndRecoveredLikeDeletedFolders) {
    DriveEntry drive;
    drive.letter = 'E';
    auto owned = std::make_unique<MemoryParser>();
    MemoryParser* parser = owned.get();
    drive.parser = std::move(owned);
    NodeEntry* root = parser->GetRoot();
    NodeEntry* lost = MemoryParser::Add(root, 10, "lost", true, false);
    MemoryParser::Add(lost, 11, "gone.txt", false, true, 5);
    // A made-up folder whose wanted name a real folder already has, one whose name the
    // rules refuse, a made-up folder inside it, and one that stays empty.
    NodeEntry* second = madeup::AddFolder(root, 64, "lost", 0);
    MemoryParser::Add(second, 65, "orphan.txt", false, true, 3);
    NodeEntry* found = madeup::AddFolder(root, 0, "Found: by content", 0);
    parser->AddFile(31, {'J', 'P', 'G'});
    MemoryParser::Add(found, 31, "f0000031.jpg", false, true, 3);
    parser->AddFile(32, {'l', 'i', 'v', 'e'});
    MemoryParser::Add(found, 32, "live.bin", false, false, 4);
    NodeEntry* jpeg = madeup::AddFolder(found, 0, "JPEG image", 0);
    parser->AddFile(33, {'X', 'Y'});
    MemoryParser::Add(jpeg, 33, "f0000033.jpg", false, true, 2);
    madeup::AddFolder(root, 0, "empty", 0);

    EXPECT_EQ(std::string(second->name), "lost (2)");
    EXPECT_EQ(std::string(found->name), "Found_ by content");
    EXPECT_TRUE(found->IsMadeUp() && found->IsDirectory() && found->parent == root);
    EXPECT_FALSE(lost->IsMadeUp());

    EXPECT_TRUE(MarkFoldersWithDeletedContent(root));
    CBrowserModel model;
    model.SelectDrive(&drive);
    model.OnScanFinished();
    model.ApplyFilters("*", "*");
    std::vector<std::string> names;
    for (size_t i = 0; i < model.RowCount(); ++i) names.push_back(model.CellText(i, browser::COL_NAME));
    // Like a deleted folder with nothing deleted below it, the empty one is not listed.
    EXPECT_EQ(names, (std::vector<std::string>{"lost", "lost (2)", "Found_ by content"}));
    EXPECT_EQ(model.StatusText(),
              " Current folder of drive E: has 3 deleted structures, 0 files and 3 folders match filter");
    model.ApplyFilters("*", "Found");
    EXPECT_EQ(model.RowCount(), 1u);

    model.ApplyFilters("*", "*");
    model.EnterFolder(found);
    names.clear();
    for (size_t i = 0; i < model.RowCount(); ++i) names.push_back(model.CellText(i, browser::COL_NAME));
    EXPECT_EQ(names.size(), 3u);
    EXPECT_NE(std::find(names.begin(), names.end(), "f0000031.jpg"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "JPEG image"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "live.bin"), names.end());

    TempDir out;
    uint32_t files = 0, folders = 0;
    ASSERT_EQ(parser->RecoverNode(found, out.Path().c_str(), &files, &folders, 0, -1000, nullptr), RECOVER_OK);
    EXPECT_EQ(files, 2u);
    EXPECT_EQ(folders, 2u);
    const fs::path top = fs::path(out.Path()) / "Found_ by content";
    std::ifstream photo(top / "JPEG image" / "f0000033.jpg", std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(photo)), std::istreambuf_iterator<char>()), "XY");
    EXPECT_TRUE(fs::exists(top / "f0000031.jpg"));
    EXPECT_FALSE(fs::exists(top / "live.bin"));
}

}  // namespace
