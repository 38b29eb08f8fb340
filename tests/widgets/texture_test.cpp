#include "common/widgets/texture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A scratch tree and a working directory without "../images" beside it; restores the
// working directory afterwards.
class ImagePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
        savedCwd = cwd;
        root = fs::temp_directory_path() / ("widgets_paths_" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "work" / "run");
        ASSERT_EQ(chdir((root / "work" / "run").c_str()), 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(savedCwd.c_str()), 0);
        fs::remove_all(root);
    }
    static void touch(const fs::path& file) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "x";
    }
    fs::path root;
    std::string savedCwd;
};

}  // namespace

// Images in these tests carry a name the source tree's images/ does not have, so that its
// fallback cannot answer for them.
TEST_F(ImagePathTest, FallsBackToTheImagesBesideTheExecutablesParent) {
    fs::create_directories(root / "tree" / "build");
    touch(root / "tree" / "images" / "test_only.png");
    const std::string exe = (root / "tree" / "build" / "pintara").string();
    EXPECT_EQ(imagePathFor("../images/test_only.png", exe),
              (root / "tree" / "build").string() + "/../images/test_only.png");
}

TEST_F(ImagePathTest, ABuildTreeProgramFindsTheSourceTreesImages) {
    fs::create_directories(root / "tree" / "build" / "terrain");
    touch(root / "tree" / "images" / "test_only.png");
    const std::string exe = (root / "tree" / "build" / "terrain" / "glebora").string();
    EXPECT_EQ(imagePathFor("../images/test_only.png", exe),
              (root / "tree" / "build" / "terrain").string() + "/../../images/test_only.png");
}

TEST_F(ImagePathTest, TheInstalledCopyComesBeforeAnImagesFolderBesideThePrefix) {
    fs::create_directories(root / "prefix" / "bin");
    touch(root / "prefix" / "share" / "pintara" / "images" / "test_only.png");
    touch(root / "prefix" / "images" / "test_only.png");
    const std::string exe = (root / "prefix" / "bin" / "glebora").string();
    EXPECT_EQ(imagePathFor("../images/test_only.png", exe),
              (root / "prefix" / "bin").string() + "/../share/pintara/images/test_only.png");
}

TEST_F(ImagePathTest, TheWorkingDirectoryWinsOnlyWhenItHoldsTheImage) {
    fs::create_directories(root / "tree" / "build");
    touch(root / "work" / "images" / "test_only.png");
    touch(root / "tree" / "images" / "test_only.png");
    touch(root / "tree" / "images" / "other_only.png");
    const std::string exe = (root / "tree" / "build" / "pintara").string();
    EXPECT_EQ(imagePathFor("../images/test_only.png", exe), "../images/test_only.png");
    // An unrelated "images" folder beside the working directory does not hide the program's own.
    EXPECT_EQ(imagePathFor("../images/other_only.png", exe),
              (root / "tree" / "build").string() + "/../images/other_only.png");
    EXPECT_EQ(imagePathFor("/abs/frame.png", exe), "/abs/frame.png");
    EXPECT_EQ(imagePathFor("images/frame.png", exe), "images/frame.png");
}

TEST_F(ImagePathTest, ABuildFolderOutsideTheSourceTreeFindsTheTreesImages) {
    // No images anywhere near the executable: the tree the program was built from answers.
    const std::string exe = (root / "elsewhere" / "build" / "paint" / "pintara").string();
    const std::string found = imagePathFor("../images/frame.png", exe);
    EXPECT_EQ(found, std::string(SOURCE_DIR) + "/images/frame.png");
    EXPECT_TRUE(fs::is_regular_file(found));
}

TEST_F(ImagePathTest, AnImageFoundNowhereKeepsThePathAsWritten) {
    fs::create_directories(root / "work" / "images");
    fs::create_directories(root / "tree" / "images");
    EXPECT_EQ(imagePathFor("../images/test_only.png", (root / "tree" / "build" / "x").string()),
              "../images/test_only.png");
    EXPECT_EQ(imagePathFor("../images/test_only.png", ""), "../images/test_only.png");
}
