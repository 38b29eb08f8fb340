#include "common/app/file_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(FileDialog, FilterMatchesGlobs) {
    EXPECT_TRUE(matchesFilter("sets.bin", "*.bin"));
    EXPECT_TRUE(matchesFilter(".bin", "*.bin"));
    EXPECT_FALSE(matchesFilter("sets.bin.bak", "*.bin"));
    EXPECT_FALSE(matchesFilter("sets.txt", "*.bin"));
    EXPECT_TRUE(matchesFilter("a1.bin", "a?.bin"));
    EXPECT_TRUE(matchesFilter("anything", "*"));
}

class FileDialogFolder : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("file_dialog_test_" + std::to_string(::getpid()));
        fs::create_directories(root / "sub");
        std::ofstream(root / "b.bin") << "x";
        std::ofstream(root / "a.bin") << "x";
        std::ofstream(root / "notes.txt") << "x";
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_F(FileDialogFolder, ListsFoldersFirstThenMatchingFilesSorted) {
    std::vector<FileDialogEntry> entries;
    std::string error;
    ASSERT_TRUE(listFolder(root.string(), "*.bin", entries, error));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "..");
    EXPECT_EQ(entries[1].name, "sub");
    EXPECT_TRUE(entries[1].isFolder);
    EXPECT_EQ(entries[2].name, "a.bin");
    EXPECT_EQ(entries[3].name, "b.bin");
}

TEST_F(FileDialogFolder, UnreadableFolderReportsAndKeepsPlace) {
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin", root.string());
    std::string before = dialog.folder;
    enterFolder(dialog, "missing");
    EXPECT_EQ(dialog.folder, before);
    EXPECT_NE(dialog.error.find("cannot read folder"), std::string::npos);
    enterFolder(dialog, "sub");
    EXPECT_EQ(fs::path(dialog.folder).filename(), "sub");
    enterFolder(dialog, "..");
    EXPECT_EQ(dialog.folder, before);
}

TEST_F(FileDialogFolder, SaveKeepsTheTypedNameExactlyAndCancelGivesNothing) {
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::SAVE, "Save", ".bin", root.string());
    dialog.typedName = "mysets";
    finishFileDialog(dialog, true);
    EXPECT_TRUE(dialog.finished);
    EXPECT_FALSE(dialog.active);
    EXPECT_EQ(dialog.result, (root / "mysets").string());

    openFileDialog(dialog, FileDialogMode::SAVE, "Save", ".bin", root.string());
    dialog.typedName = "ignored";
    finishFileDialog(dialog, false);
    EXPECT_TRUE(dialog.finished);
    EXPECT_EQ(dialog.result, "");
}
