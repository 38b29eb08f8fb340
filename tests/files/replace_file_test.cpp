// Replacing a file's content: all or nothing, and nothing beside it touched.
#include "common/files/replace_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/file_size_limit.h"

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path path;
    explicit Folder(const std::string& name)
        : path(fs::path(BINARY_DIR) / ("replace_file_test_" + name + "_" + std::to_string(::getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() {
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(path), fs::directory_iterator())); }
};

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

}  // namespace

TEST(ReplaceFile, WritesNewAndReplacesOldFilesKeepingTheirPermissions) {
    Folder folder("write");
    const fs::path file = folder.path / "a.bin";
    std::string error;
    ASSERT_TRUE(replaceFileContents(file.string(), bytesOf("first"), error)) << error;
    EXPECT_EQ(contents(file), "first");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(replaceFileContents(file.string(), bytesOf("second, longer"), error)) << error;
    EXPECT_EQ(contents(file), "second, longer");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(folder.entries(), 1u) << "no temporary left";
}

TEST(ReplaceFile, ANameOfTheLongestLengthCanBeReplaced) {
    // 255 bytes is the longest name a folder entry takes; the temporary beside it must not need more.
    Folder folder("long");
    for (size_t length : {248u, 249u, 255u}) {
        const fs::path file = folder.path / std::string(length - 4, 'n').append(".bin");
        std::string error;
        ASSERT_TRUE(replaceFileContents(file.string(), bytesOf("first"), error)) << length << ": " << error;
        ASSERT_TRUE(replaceFileContents(file.string(), bytesOf("second"), error)) << length << ": " << error;
        EXPECT_EQ(contents(file), "second") << length;
    }
    EXPECT_EQ(folder.entries(), 3u) << "no temporary left";
    std::string error;
    EXPECT_FALSE(replaceFileContents((folder.path / std::string(256, 'n')).string(), bytesOf("x"), error));
    EXPECT_NE(error.find("name too long"), std::string::npos) << error;
}

TEST(ReplaceFile, FailuresKeepTheOldFileAndSayWhy) {
    Folder folder("fail");
    const fs::path file = folder.path / "keep.bin";
    std::string error;
    ASSERT_TRUE(replaceFileContents(file.string(), bytesOf("old"), error));

    // No name, a missing folder, a folder in the file's place.
    EXPECT_FALSE(replaceFileContents("", bytesOf("x"), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(replaceFileContents((folder.path / "missing" / "x.bin").string(), bytesOf("x"), error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    fs::create_directory(folder.path / "dir.bin");
    EXPECT_FALSE(replaceFileContents((folder.path / "dir.bin").string(), bytesOf("x"), error));
    EXPECT_NE(error.find("dir.bin"), std::string::npos) << error;

    // A write that fails part-way (the file size limit stands in for a full disk).
    bool full = true;
    {
        FileSizeLimit limit(1000);
        full = replaceFileContents(file.string(), std::vector<uint8_t>(5000, 7), error);
    }
    EXPECT_FALSE(full);
    EXPECT_EQ(contents(file), "old");

    EXPECT_EQ(folder.entries(), 2u) << "only the file and the folder in the way";
}

// Root may write both anyway, so the checks run in a child process that gives up root's rights.
TEST(ReplaceFile, AReadOnlyFileOrFolderKeepsTheOldFile) {
    const fs::path folder = fs::temp_directory_path() / ("replace_file_test_locked_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directory(folder);
    const fs::path file = folder / "keep.bin";
    std::ofstream(file) << "old";
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(16);
        int failed = 0;
        auto allow = [&failed](const fs::path& path, fs::perms perms) {
            std::error_code ec;
            fs::permissions(path, perms, ec);
            if (ec) failed |= 8;
        };
        std::string error;
        allow(file, fs::perms::owner_read);
        const bool replaced = replaceFileContents(file.string(), bytesOf("new"), error);
        if (replaced || error.find("cannot overwrite") != 0) failed |= 1;
        allow(file, fs::perms::owner_read | fs::perms::owner_write);
        allow(folder, fs::perms::owner_read | fs::perms::owner_exec);
        if (replaceFileContents(file.string(), bytesOf("new"), error)) failed |= 2;
        allow(folder, fs::perms::owner_all);
        if (contents(file) != "old") failed |= 4;
        ::_exit(failed);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const size_t entries = static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    fs::remove_all(folder);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bits: 1 read-only file replaced, 2 file in a read-only folder replaced, "
                                         "4 old content lost, 8 permissions not set, 16 could not give up root";
    EXPECT_EQ(entries, 1u) << "no temporary left";
}

TEST(ReplaceFile, FollowsALinkAndLeavesFilesOfOtherNamesAlone) {
    Folder folder("link");
    const fs::path real = folder.path / "real.bin";
    const fs::path link = folder.path / "link.bin";
    std::ofstream(real) << "old";
    fs::create_symlink("real.bin", link);
    std::ofstream(folder.path / "link.bin.tmp") << "someone else's";
    std::string error;
    ASSERT_TRUE(replaceFileContents(link.string(), bytesOf("new"), error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contents(real), "new");
    EXPECT_EQ(contents(folder.path / "link.bin.tmp"), "someone else's");
    EXPECT_EQ(folder.entries(), 3u);

    // A link to a file not made yet, in another folder: the file is made there, as writing
    // through the link would, and the link stays a link.
    fs::create_directory(folder.path / "elsewhere");
    const fs::path ahead = folder.path / "ahead.bin";
    fs::create_symlink("elsewhere/later.bin", ahead);
    ASSERT_TRUE(replaceFileContents(ahead.string(), bytesOf("sets"), error)) << error;
    EXPECT_TRUE(fs::is_symlink(ahead));
    EXPECT_EQ(contents(folder.path / "elsewhere" / "later.bin"), "sets");

    // Links that name each other lead nowhere: refused, and both stay links.
    const fs::path one = folder.path / "one.bin";
    const fs::path two = folder.path / "two.bin";
    fs::create_symlink("two.bin", one);
    fs::create_symlink("one.bin", two);
    EXPECT_FALSE(replaceFileContents(one.string(), bytesOf("sets"), error));
    EXPECT_NE(error.find("Too many levels of symbolic links"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_symlink(one));
    EXPECT_TRUE(fs::is_symlink(two));
}

// A FIFO, a socket or a device where the file should be (the file dialog lists a FIFO named
// x.bin like a file) is refused with one line and stays what it was; a folder is refused before
// anything is written. No temporary is left.
TEST(ReplaceFile, APipeSocketOrFolderInThePlaceIsRefusedAndKept) {
    Folder folder("special");
    const fs::path fifo = folder.path / "x.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::string error;
    EXPECT_FALSE(replaceFileContents(fifo.string(), bytesOf("sets"), error));
    EXPECT_EQ(error, "cannot replace '" + fifo.string() + "': not a regular file (a pipe, socket or device)");
    EXPECT_TRUE(fs::is_fifo(fifo));
    // Through a link, too: the link stays and so does the pipe it names.
    const fs::path link = folder.path / "link.bin";
    fs::create_symlink("x.bin", link);
    EXPECT_FALSE(replaceFileContents(link.string(), bytesOf("sets"), error));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_fifo(fifo));
    const fs::path dir = folder.path / "dir.bin";
    fs::create_directory(dir);
    EXPECT_FALSE(replaceFileContents(dir.string(), bytesOf("sets"), error));
    EXPECT_EQ(error, "cannot replace '" + dir.string() + "': Is a directory");
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_EQ(folder.entries(), 3u) << "no temporary left";
}
