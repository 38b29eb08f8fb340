#include "common/widgets/texture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

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
    fs::path root;
    std::string savedCwd;
};

}  // namespace

TEST_F(ImagePathTest, FallsBackToTheImagesBesideTheExecutablesParent) {
    fs::create_directories(root / "tree" / "build");
    fs::create_directories(root / "tree" / "images");
    const std::string exe = (root / "tree" / "build" / "pintara").string();
    EXPECT_EQ(imagePathFor("../images/frame.png", exe),
              (root / "tree" / "build").string() + "/../images/frame.png");
}

TEST_F(ImagePathTest, ABuildTreeProgramFindsTheSourceTreesImages) {
    fs::create_directories(root / "tree" / "build" / "terrain");
    fs::create_directories(root / "tree" / "images");
    const std::string exe = (root / "tree" / "build" / "terrain" / "glebora").string();
    EXPECT_EQ(imagePathFor("../images/grey512.png", exe),
              (root / "tree" / "build" / "terrain").string() + "/../../images/grey512.png");
}

TEST_F(ImagePathTest, FindsTheInstalledCopy) {
    fs::create_directories(root / "prefix" / "bin");
    fs::create_directories(root / "prefix" / "share" / "pintara" / "images");
    const std::string exe = (root / "prefix" / "bin" / "glebora").string();
    EXPECT_EQ(imagePathFor("../images/grey512.png", exe),
              (root / "prefix" / "bin").string() + "/../share/pintara/images/grey512.png");
}

TEST_F(ImagePathTest, TheWorkingDirectoryWinsAndOtherPathsStayUnchanged) {
    fs::create_directories(root / "work" / "images");
    fs::create_directories(root / "tree" / "images");
    const std::string exe = (root / "tree" / "build" / "pintara").string();
    EXPECT_EQ(imagePathFor("../images/frame.png", exe), "../images/frame.png");
    EXPECT_EQ(imagePathFor("/abs/frame.png", exe), "/abs/frame.png");
    EXPECT_EQ(imagePathFor("images/frame.png", exe), "images/frame.png");
}

TEST_F(ImagePathTest, NoFolderAnywhereLeavesThePathAsWritten) {
    EXPECT_EQ(imagePathFor("../images/frame.png", (root / "none" / "bin" / "x").string()),
              "../images/frame.png");
    EXPECT_EQ(imagePathFor("../images/frame.png", ""), "../images/frame.png");
}
