// Telling whether two names reach one file, for files that exist and files not made yet.
#include "common/files/same_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

TEST(SameFile, EveryNameOfOneFileAndNoOtherFile) {
    const fs::path folder = fs::path(BINARY_DIR) / ("same_file_test_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "sub");
    const std::string file = (folder / "a.csv").string();
    std::ofstream(file) << "x";
    std::ofstream(folder / "b.csv") << "x";
    fs::create_symlink("a.csv", folder / "link.csv");
    fs::create_hard_link(file, folder / "hard.csv");
    const std::string f = folder.string();
    for (const std::string& name : {f + "/./a.csv", f + "/sub/../a.csv", f + "/link.csv", f + "/hard.csv",
                                    f + "/missing/../a.csv"}) {
        EXPECT_TRUE(namesSameFile(file, name)) << name;
    }
    EXPECT_FALSE(namesSameFile(file, f + "/b.csv"));
    EXPECT_FALSE(namesSameFile(file, f + "/A.csv"));
    // Not made yet: the same place by any spelling, relative names included.
    EXPECT_TRUE(namesSameFile(f + "/new.rec", f + "/missing/../new.rec"));
    EXPECT_TRUE(namesSameFile("same_file_test_new.png", "./same_file_test_new.png"));
    EXPECT_FALSE(namesSameFile(f + "/new.rec", f + "/sub/new.rec"));
    fs::create_symlink("sub/later.rec", folder / "ahead.rec");
    EXPECT_TRUE(namesSameFile(f + "/ahead.rec", f + "/sub/later.rec"));
    fs::remove_all(folder);
}
