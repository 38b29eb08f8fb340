#include "common/app/file_dialog.h"

#include <gtest/gtest.h>
#include <imgui.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/headless_gui.h"

namespace fs = std::filesystem;

TEST(FileDialog, FilterMatchesGlobs) {
    EXPECT_TRUE(matchesFilter("sets.bin", "*.bin"));
    EXPECT_TRUE(matchesFilter(".bin", "*.bin"));
    EXPECT_FALSE(matchesFilter("sets.bin.bak", "*.bin"));
    EXPECT_FALSE(matchesFilter("sets.txt", "*.bin"));
    EXPECT_TRUE(matchesFilter("a1.bin", "a?.bin"));
    EXPECT_TRUE(matchesFilter("anything", "*"));
    EXPECT_TRUE(matchesFilter("SETS.BIN", "*.bin"));
    EXPECT_TRUE(matchesFilter("Sets.Bin", "*.BIN"));
    EXPECT_FALSE(matchesFilter("SETS.BIM", "*.bin"));
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
    // An extension alone lists its files, so that an existing one can be picked to replace.
    ASSERT_EQ(dialog.entries.size(), 4u);
    EXPECT_EQ(dialog.entries[2].name, "a.bin");
    EXPECT_EQ(dialog.entries[3].name, "b.bin");
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

    // No filter lists folders only (glebora's export names three files of its own).
    openFileDialog(dialog, FileDialogMode::SAVE, "Export", "", root.string());
    ASSERT_EQ(dialog.entries.size(), 2u);
    EXPECT_EQ(dialog.entries[1].name, "sub");
}

// A typed "sub/" or "../.." is entered as the folder it names: ".." then goes up a level
// (it used to stay in "sub/" or go down into a folder that was never entered).
TEST_F(FileDialogFolder, EnteredFoldersAreKeptNormalSoDotDotGoesUp) {
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin", root.string());
    const std::string top = dialog.folder;
    enterFolder(dialog, "sub/");
    EXPECT_EQ(dialog.folder, top + "/sub");
    enterFolder(dialog, "..");
    EXPECT_EQ(dialog.folder, top);
    enterFolder(dialog, "sub/../sub/./");
    EXPECT_EQ(dialog.folder, top + "/sub");
    enterFolder(dialog, "../..");
    EXPECT_EQ(dialog.folder, fs::path(top).parent_path().string());
    enterFolder(dialog, "..");
    EXPECT_EQ(dialog.folder, fs::path(top).parent_path().parent_path().string());
    enterFolder(dialog, "/");
    EXPECT_EQ(dialog.folder, "/");
    enterFolder(dialog, "..");
    EXPECT_EQ(dialog.folder, "/");
}

// Open or Save (the button, Enter or a double click) with what was typed: an empty name, a
// missing file to open or a missing folder keep the dialog open with one line saying why;
// a folder's name is entered. Nothing of this ends the dialog as if it were cancelled.
TEST_F(FileDialogFolder, AcceptingRefusesEmptyOrMissingNamesAndEntersFolders) {
    FileDialog open;
    openFileDialog(open, FileDialogMode::OPEN, "Open", "*.bin", root.string());
    const std::string top = open.folder;
    open.typedName = "";
    EXPECT_FALSE(acceptFileDialogName(open));
    EXPECT_EQ(open.error, "choose or type a file name");
    open.typedName = "missing.bin";
    EXPECT_FALSE(acceptFileDialogName(open));
    EXPECT_EQ(open.error, "no such file: missing.bin");
    open.typedName = "sub";
    EXPECT_FALSE(acceptFileDialogName(open));
    EXPECT_EQ(open.folder, top + "/sub");
    EXPECT_EQ(open.error, "");
    open.typedName = "../a.bin";
    EXPECT_TRUE(acceptFileDialogName(open));
    EXPECT_TRUE(open.active);

    FileDialog save;
    openFileDialog(save, FileDialogMode::SAVE, "Save", ".bin", root.string());
    save.typedName = "";
    EXPECT_FALSE(acceptFileDialogName(save));
    EXPECT_EQ(save.error, "type a file name");
    save.typedName = "nowhere/";
    EXPECT_FALSE(acceptFileDialogName(save));
    EXPECT_EQ(save.error, "no such folder: nowhere/");
    save.typedName = "sub/";
    EXPECT_FALSE(acceptFileDialogName(save));
    EXPECT_EQ(save.folder, top + "/sub");
    save.typedName = "..";
    EXPECT_FALSE(acceptFileDialogName(save));
    EXPECT_EQ(save.folder, top);
    // A folder's plain name is entered too: no file can be saved in its place.
    save.typedName = "sub";
    EXPECT_FALSE(acceptFileDialogName(save));
    EXPECT_EQ(save.folder, top + "/sub");
    save.typedName = "..";
    EXPECT_FALSE(acceptFileDialogName(save));
    // Without a filter (glebora's export) the name is a base for suffixes, even beside a folder.
    FileDialog base;
    openFileDialog(base, FileDialogMode::SAVE, "Export", "", root.string());
    base.typedName = "sub";
    EXPECT_TRUE(acceptFileDialogName(base));
    EXPECT_EQ(base.folder, top);
    save.typedName = "new.bin";
    EXPECT_TRUE(acceptFileDialogName(save));
    save.typedName = "sub/new.bin";
    EXPECT_TRUE(acceptFileDialogName(save));
    // ... but not in a folder that is not there, or in a file taken for a folder.
    save.typedName = "nowhere/new.bin";
    EXPECT_FALSE(acceptFileDialogName(save));
    EXPECT_EQ(save.error, "no such folder: " + top + "/nowhere");
    save.typedName = "a.bin/new.bin";
    EXPECT_FALSE(acceptFileDialogName(save));
    EXPECT_EQ(save.error, "no such folder: " + top + "/a.bin");
    EXPECT_TRUE(save.active);
}

// A name starting with "~" is in the home folder, as in a shell; elsewhere "~" is an ordinary
// character, and without HOME it is one everywhere.
TEST_F(FileDialogFolder, ATildeNameIsInTheHomeFolder) {
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    const fs::path home = root / "home";
    fs::create_directories(home / "sets");
    std::ofstream(home / "sets" / "mine.bin") << "x";
    ::setenv("HOME", home.c_str(), 1);

    EXPECT_EQ(typedPath("/elsewhere", "~/x.bin"), home / "x.bin");
    EXPECT_EQ(typedPath("/elsewhere", "a~/x.bin"), fs::path("/elsewhere/a~/x.bin"));
    EXPECT_EQ(typedPath("/elsewhere", "~x.bin"), fs::path("/elsewhere/~x.bin"));

    FileDialog open;
    openFileDialog(open, FileDialogMode::OPEN, "Open", "*.bin", root.string());
    open.typedName = "~/sets";
    EXPECT_FALSE(acceptFileDialogName(open));
    EXPECT_EQ(open.folder, (home / "sets").string());
    open.typedName = "~/sets/mine.bin";
    ASSERT_TRUE(acceptFileDialogName(open));
    finishFileDialog(open, true);
    EXPECT_EQ(open.result, (home / "sets" / "mine.bin").string());

    FileDialog save;
    openFileDialog(save, FileDialogMode::SAVE, "Save", ".bin", root.string());
    save.typedName = "~";
    EXPECT_FALSE(acceptFileDialogName(save));
    EXPECT_EQ(save.folder, home.string());
    save.typedName = "~/new.bin";
    ASSERT_TRUE(acceptFileDialogName(save));
    finishFileDialog(save, true);
    EXPECT_EQ(save.result, (home / "new.bin").string());

    ::unsetenv("HOME");
    EXPECT_EQ(typedPath("/elsewhere", "~/x.bin"), fs::path("/elsewhere/~/x.bin"));
    if (oldHome != nullptr) ::setenv("HOME", savedHome.c_str(), 1);
}

// The next dialog opens where the last one chose its file (or was left), so saving into a
// folder of one's own and loading from it later needs no second search; a folder that has gone
// since gives the working directory.
TEST_F(FileDialogFolder, TheNextDialogOpensWhereTheLastOneEnded) {
    std::error_code ec;
    const std::string workingDirectory = fs::current_path(ec).string();
    fs::create_directories(root / "sub" / "deeper");
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::SAVE, "Save", ".bin", root.string());
    const std::string top = dialog.folder;
    dialog.typedName = "sub/deeper/mine.bin";  // a path typed with folders in it
    ASSERT_TRUE(acceptFileDialogName(dialog));
    finishFileDialog(dialog, true);
    EXPECT_EQ(dialog.result, top + "/sub/deeper/mine.bin");

    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin");
    EXPECT_EQ(dialog.folder, top + "/sub/deeper");
    enterFolder(dialog, "..");
    finishFileDialog(dialog, false);  // cancelled in sub
    EXPECT_EQ(dialog.result, "");
    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin");
    EXPECT_EQ(dialog.folder, top + "/sub");

    fs::remove_all(root / "sub");
    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin");
    EXPECT_EQ(dialog.folder, workingDirectory);
    // A folder given by the caller always wins.
    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin", root.string());
    EXPECT_EQ(dialog.folder, top);
}

// The arrow keys walk the list and put the entry's name into the name field: a folder's with a
// '/', so that Enter enters it in Save too. The cursor stays within the list, and a click on a
// file puts it there.
TEST_F(FileDialogFolder, ArrowKeysWalkTheListWithinItsEnds) {
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::SAVE, "Save", "*.bin", root.string());
    ASSERT_EQ(dialog.entries.size(), 4u);  // .., sub, a.bin, b.bin
    moveFileDialogCursor(dialog, -1);
    EXPECT_EQ(dialog.typedName, "b.bin");  // up first: the last entry
    moveFileDialogCursor(dialog, 1);
    EXPECT_EQ(dialog.typedName, "b.bin");
    moveFileDialogCursor(dialog, -1);
    EXPECT_EQ(dialog.typedName, "a.bin");
    moveFileDialogCursor(dialog, -1);
    EXPECT_EQ(dialog.typedName, "sub/");
    moveFileDialogCursor(dialog, -5);
    EXPECT_EQ(dialog.typedName, "../");
    clickFileDialogEntry(dialog, 3, false);
    moveFileDialogCursor(dialog, -1);
    EXPECT_EQ(dialog.typedName, "a.bin");

    moveFileDialogCursor(dialog, -1);
    EXPECT_FALSE(acceptFileDialogName(dialog));  // "sub/" in Save: entered, not saved onto
    EXPECT_EQ(dialog.folder, (fs::weakly_canonical(root) / "sub").string());
    moveFileDialogCursor(dialog, 1);  // a new list: from its top
    EXPECT_EQ(dialog.typedName, "../");
}

// The dialog as drawn: Down while the name field has the keyboard shows the entry's name in the
// field, and Enter then takes that name, not the text the field held before.
TEST_F(FileDialogFolder, ArrowKeysThenEnterOpenTheEntryTheyReached) {
    std::ofstream(root / "sub" / "x.bin") << "x";
    HeadlessGui gui;
    ImGuiIO& io = ImGui::GetIO();
    io.KeyMap[ImGuiKey_Enter] = 13;
    io.KeyMap[ImGuiKey_Escape] = 27;
    io.KeyMap[ImGuiKey_DownArrow] = 300;
    io.KeyMap[ImGuiKey_UpArrow] = 301;
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin", root.string());
    const std::string top = dialog.folder;
    bool done = false;
    auto frame = [&](int key, const char* typed) {
        if (key >= 0) io.KeysDown[key] = true;
        if (typed != nullptr) io.AddInputCharactersUTF8(typed);
        ImGui::NewFrame();
        done = drawFileDialog(dialog) || done;
        ImGui::Render();
        if (key >= 0) io.KeysDown[key] = false;
        ImGui::NewFrame();  // the key is up again
        done = drawFileDialog(dialog) || done;
        ImGui::Render();
    };
    frame(-1, nullptr);  // the name field takes the keyboard
    frame(-1, "zz");     // something typed first
    EXPECT_EQ(dialog.typedName, "zz");
    for (int i = 0; i < 3; ++i) frame(300, nullptr);
    EXPECT_EQ(dialog.typedName, "a.bin");
    frame(300, nullptr);
    frame(301, nullptr);
    EXPECT_EQ(dialog.typedName, "a.bin");
    frame(301, nullptr);  // onto [sub]
    EXPECT_EQ(dialog.typedName, "sub/");
    frame(13, nullptr);
    EXPECT_FALSE(done);
    EXPECT_EQ(dialog.folder, top + "/sub");
    frame(301, nullptr);  // the new list's last entry
    EXPECT_EQ(dialog.typedName, "x.bin");
    frame(13, nullptr);
    EXPECT_TRUE(done);
    EXPECT_EQ(dialog.result, top + "/sub/x.bin");
}

// Names are listed as they are: "##" is no ImGui label syntax here, a newline shows as '?'.
TEST(FileDialog, EntryTextShowsTheWholeName) {
    EXPECT_EQ(fileDialogEntryText({"id##hidden.bin", false}), "id##hidden.bin");
    EXPECT_EQ(fileDialogEntryText({"a###x.bin", false}), "a###x.bin");
    EXPECT_EQ(fileDialogEntryText({"new\nline.bin", false}), "new?line.bin");
    EXPECT_EQ(fileDialogEntryText({"tab\tdel\x7f", false}), "tab?del?");
    EXPECT_EQ(fileDialogEntryText({"sub", true}), "[sub]");
}

// The dialog as drawn: Enter in the name field with nothing typed keeps the save dialog open
// with its line (it used to end as a cancel), and the field keeps the keyboard, so the name
// typed next goes there and Enter saves it.
TEST_F(FileDialogFolder, EnterWithAnEmptyNameKeepsTheDrawnDialogOpenAndTypingGoesOn) {
    HeadlessGui gui;
    ImGuiIO& io = ImGui::GetIO();
    io.KeyMap[ImGuiKey_Enter] = 13;
    io.KeyMap[ImGuiKey_Escape] = 27;
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::SAVE, "Save", ".bin", root.string());
    auto frame = [&](bool enter, const char* typed) {
        io.KeysDown[13] = enter;
        if (typed != nullptr) io.AddInputCharactersUTF8(typed);
        ImGui::NewFrame();
        const bool done = drawFileDialog(dialog);
        ImGui::Render();
        return done;
    };
    // A long typed path (here 600 bytes) is kept whole, not cut to another name.
    const std::string longName = "deep/" + std::string(590, 'n') + ".bin";
    dialog.typedName = longName;
    EXPECT_FALSE(frame(false, nullptr));
    EXPECT_EQ(dialog.typedName, longName);
    dialog.typedName.clear();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(frame(false, nullptr));
    EXPECT_FALSE(frame(true, nullptr));
    EXPECT_FALSE(frame(false, nullptr));
    EXPECT_TRUE(dialog.active);
    EXPECT_FALSE(dialog.finished);
    EXPECT_EQ(dialog.error, "type a file name");
    for (int i = 0; i < 2; ++i) frame(false, nullptr);
    frame(false, "typed.bin");
    frame(false, nullptr);
    EXPECT_EQ(dialog.typedName, "typed.bin");
    bool done = frame(true, nullptr);
    if (!done) done = frame(false, nullptr);
    EXPECT_TRUE(done);
    EXPECT_TRUE(dialog.finished);
    EXPECT_EQ(dialog.result, (fs::path(dialog.folder) / "typed.bin").string());
}

// A click outside the dialog (the drawing, the panel) used to take the keyboard from the name
// field for good: what was typed next and its Enter went nowhere while the dialog looked ready.
TEST_F(FileDialogFolder, AClickOutsideTheDialogLeavesTypingInTheNameField) {
    HeadlessGui gui;
    ImGuiIO& io = ImGui::GetIO();
    io.KeyMap[ImGuiKey_Enter] = 13;
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::SAVE, "Save", ".bin", root.string());
    bool done = false;
    auto frame = [&](ImVec2 mouse, bool down, bool enter, const char* typed) {
        io.MousePos = mouse;
        io.MouseDown[0] = down;
        io.KeysDown[13] = enter;
        if (typed != nullptr) io.AddInputCharactersUTF8(typed);
        ImGui::NewFrame();
        done = drawFileDialog(dialog) || done;
        ImGui::Render();
    };
    const ImVec2 outside(5, 5);  // the dialog sits in the middle of the 1200 x 800 window
    for (int i = 0; i < 2; ++i) frame(outside, false, false, nullptr);
    frame(outside, true, false, nullptr);
    for (int i = 0; i < 2; ++i) frame(outside, false, false, nullptr);
    frame(outside, false, false, "after.bin");
    frame(outside, false, false, nullptr);
    EXPECT_EQ(dialog.typedName, "after.bin");
    frame(outside, false, true, nullptr);
    frame(outside, false, false, nullptr);
    EXPECT_TRUE(done);
    EXPECT_EQ(dialog.result, (fs::path(dialog.folder) / "after.bin").string());
}

// A name picked from the list takes the keyboard with the cursor after it: typing goes on at
// its end, not in front of it ("xa.bin").
TEST_F(FileDialogFolder, TypingAfterPickingANameGoesOnAtItsEnd) {
    HeadlessGui gui;
    ImGuiIO& io = ImGui::GetIO();
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::SAVE, "Save", ".bin", root.string());
    ImVec2 listAt;
    auto frame = [&](ImVec2 mouse, bool down, const char* typed) {
        io.MousePos = mouse;
        io.MouseDown[0] = down;
        if (typed != nullptr) io.AddInputCharactersUTF8(typed);
        ImGui::NewFrame();
        drawFileDialog(dialog);
        ImGui::Begin("Save");
        ImGui::BeginChild("entries");
        listAt = ImGui::GetWindowPos();
        ImGui::EndChild();
        ImGui::End();
        ImGui::Render();
    };
    for (int i = 0; i < 2; ++i) frame(ImVec2(1, 1), false, nullptr);
    ASSERT_EQ(dialog.entries[2].name, "a.bin");  // [..], [sub], a.bin, b.bin
    const ImVec2 row(listAt.x + 40.0f, listAt.y + ImGui::GetStyle().WindowPadding.y +
                                           ImGui::GetTextLineHeightWithSpacing() * 2.5f);
    frame(row, false, nullptr);
    frame(row, true, nullptr);
    frame(row, false, nullptr);
    frame(row, false, nullptr);
    EXPECT_EQ(dialog.typedName, "a.bin");
    frame(row, false, ".old");
    frame(row, false, nullptr);
    EXPECT_EQ(dialog.typedName, "a.bin.old");
}

// Walking to a folder by clicking keeps a file name typed for saving there; a name that only
// led to the folder, and a file picked to open, are left behind.
TEST_F(FileDialogFolder, ATypedSaveNameStaysWhileWalkingToItsFolder) {
    FileDialog save;
    openFileDialog(save, FileDialogMode::SAVE, "Save", ".bin", root.string());
    ASSERT_EQ(save.entries[1].name, "sub");
    save.typedName = "mysets.bin";
    clickFileDialogEntry(save, 1, false);
    EXPECT_EQ(save.folder, (root / "sub").string());
    EXPECT_EQ(save.typedName, "mysets.bin");
    clickFileDialogEntry(save, 0, false);  // ".." back up
    EXPECT_EQ(save.typedName, "mysets.bin");
    save.typedName = "sub/";
    clickFileDialogEntry(save, 1, false);
    EXPECT_EQ(save.typedName, "");
    // A double-click on a folder only enters it, even when the row under the mouse in the
    // folder entered is a file of the name kept for saving.
    std::ofstream(root / "sub" / "a.bin") << "kept";
    FileDialog twice;
    openFileDialog(twice, FileDialogMode::SAVE, "Save", ".bin", root.string());
    ASSERT_EQ(twice.entries[2].name, "a.bin");
    clickFileDialogEntry(twice, 2, false);
    EXPECT_FALSE(clickFileDialogEntry(twice, 1, false));
    ASSERT_EQ(twice.entries[1].name, "a.bin");  // in sub: [..], a.bin
    EXPECT_FALSE(clickFileDialogEntry(twice, 1, true));
    clickFileDialogEntry(twice, 1, false);  // a double-click on the file itself takes it
    EXPECT_TRUE(clickFileDialogEntry(twice, 1, true));
    FileDialog open;
    openFileDialog(open, FileDialogMode::OPEN, "Open", ".bin", root.string());
    open.typedName = "a.bin";
    clickFileDialogEntry(open, 1, false);
    EXPECT_EQ(open.typedName, "");
}

// A folder that may not be read is said so and not entered; it used to list as an empty folder
// without a word. Checked as a user without rights to it (a child process gives up root's).
TEST_F(FileDialogFolder, AFolderThatMayNotBeReadIsSaidSoInsteadOfListedEmpty) {
    const fs::path locked = root / "locked";
    fs::create_directory(locked);
    std::ofstream(locked / "inside.bin") << "x";
    fs::permissions(locked, fs::perms::none);
    // As root the child checks as nobody, who must be able to enter `root` whatever the umask.
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        FileDialog dialog;
        openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin", root.string());
        const std::string before = dialog.folder;
        enterFolder(dialog, "locked");
        const bool stayed = dialog.folder == before;
        const bool said = dialog.error.find("cannot read folder '") == 0 &&
                          dialog.error.find("locked': Permission denied") != std::string::npos;
        // Started in it: the line, and ".." to leave.
        FileDialog inside;
        openFileDialog(inside, FileDialogMode::OPEN, "Open", "*.bin", locked.string());
        const bool wayOut = !inside.error.empty() && inside.entries.size() == 1 && inside.entries[0].name == "..";
        ::_exit(stayed && said && wayOut ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    fs::permissions(locked, fs::perms::owner_all);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: listed without a word or entered; 3: could not give up root";
}

// The program's window made tiny and large again while the dialog is open: the dialog is
// centred again, title bar and all on screen (it used to stay where the tiny window put it).
TEST_F(FileDialogFolder, AResizedWindowCentresTheDialogAgain) {
    HeadlessGui gui;
    ImGuiIO& io = ImGui::GetIO();
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin", root.string());
    ImVec2 pos, size;
    auto frame = [&](float w, float h) {
        io.DisplaySize = ImVec2(w, h);
        ImGui::NewFrame();
        drawFileDialog(dialog);
        ImGui::Begin("Open");  // the dialog's window, to read where it is
        pos = ImGui::GetWindowPos();
        size = ImGui::GetWindowSize();
        ImGui::End();
        ImGui::Render();
    };
    for (int i = 0; i < 2; ++i) frame(1200, 800);
    EXPECT_FLOAT_EQ(pos.x, 600 - size.x / 2);
    EXPECT_FLOAT_EQ(pos.y, 400 - size.y / 2);
    for (int i = 0; i < 2; ++i) frame(1, 1);
    for (int i = 0; i < 2; ++i) frame(160, 120);
    for (int i = 0; i < 2; ++i) frame(1200, 800);
    EXPECT_FLOAT_EQ(pos.x, 600 - size.x / 2);
    EXPECT_FLOAT_EQ(pos.y, 400 - size.y / 2);
    EXPECT_GE(pos.x, 0.0f);
    EXPECT_GE(pos.y, 0.0f);
}

// A double click on a folder enters it once; its second click neither opens the file nor enters
// the folder that the new list puts under the mouse (it used to load a file never chosen, or go
// up two levels from ".."). A double click on a file opens it.
TEST_F(FileDialogFolder, ADoubleClickOnAFolderEntersItOnlyAndOnAFileOpensIt) {
    std::ofstream(root / "sub" / "x.bin") << "x";
    fs::create_directory(root / "sub" / "deeper");
    HeadlessGui gui;
    ImGuiIO& io = ImGui::GetIO();
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin", root.string());
    const std::string top = dialog.folder;
    ImVec2 listAt;
    bool done = false;
    auto frame = [&](ImVec2 mouse, bool down) {
        io.MousePos = mouse;
        io.MouseDown[0] = down;
        ImGui::NewFrame();
        done = drawFileDialog(dialog) || done;
        if (dialog.active) {
            ImGui::Begin("Open");  // the dialog's window and its list, to find the rows
            ImGui::BeginChild("entries");
            listAt = ImGui::GetWindowPos();
            ImGui::EndChild();
            ImGui::End();
        }
        ImGui::Render();
    };
    auto row = [&](int i) {
        const ImGuiStyle& style = ImGui::GetStyle();
        return ImVec2(listAt.x + 40.0f,
                      listAt.y + style.WindowPadding.y + ImGui::GetTextLineHeightWithSpacing() * (static_cast<float>(i) + 0.5f));
    };
    auto doubleClick = [&](int i) {
        const ImVec2 at = row(i);
        frame(at, false);
        frame(at, true);
        frame(at, false);
        frame(at, true);
        frame(at, false);
        frame(at, false);
    };
    for (int i = 0; i < 2; ++i) frame(ImVec2(1, 1), false);
    // Rows at the top: [..], [sub], a.bin, b.bin. In sub: [..], [deeper], x.bin.
    ASSERT_EQ(dialog.entries[1].name, "sub");
    doubleClick(1);
    EXPECT_EQ(dialog.folder, top + "/sub");
    EXPECT_FALSE(done);
    EXPECT_TRUE(dialog.active);
    doubleClick(0);  // "..": one level up, not two
    EXPECT_EQ(dialog.folder, top);
    ASSERT_EQ(dialog.entries[2].name, "a.bin");
    doubleClick(2);
    EXPECT_TRUE(done);
    EXPECT_EQ(dialog.result, (fs::path(top) / "a.bin").string());
}

// A long folder lays out only the rows in view; after scrolling, a click still takes the entry
// drawn under the mouse, at the top, in the middle and at the end of the list.
TEST_F(FileDialogFolder, AClickInAScrolledLongListTakesTheEntryUnderTheMouse) {
    for (int i = 0; i < 400; ++i) std::ofstream(root / ("g" + std::to_string(1000 + i) + ".bin")) << "x";
    HeadlessGui gui;
    ImGuiIO& io = ImGui::GetIO();
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin", root.string());
    ASSERT_EQ(dialog.entries.size(), 404u);  // .., sub, a.bin, b.bin and the 400
    ImVec2 listAt, listSize;
    float scrollY = 0.0f, scrollMax = 0.0f;
    auto frame = [&](ImVec2 mouse, bool down, float wheel) {
        io.MousePos = mouse;
        io.MouseDown[0] = down;
        io.MouseWheel = wheel;
        ImGui::NewFrame();
        drawFileDialog(dialog);
        ImGui::Begin("Open");
        ImGui::BeginChild("entries");
        listAt = ImGui::GetWindowPos();
        listSize = ImGui::GetWindowSize();
        scrollY = ImGui::GetScrollY();
        scrollMax = ImGui::GetScrollMaxY();
        ImGui::EndChild();
        ImGui::End();
        ImGui::Render();
    };
    float line = 0.0f;  // known once a frame has set the font
    // The entry drawn at height y inside the list, from the scroll position, and the middle of
    // the row nearest y (a row's edge belongs to either neighbour).
    auto rowTop = [&] { return listAt.y + ImGui::GetStyle().WindowPadding.y - scrollY; };
    auto entryAt = [&](float y) { return static_cast<size_t>((y - rowTop()) / line); };
    auto rowMiddle = [&](float y) { return rowTop() + (static_cast<float>(entryAt(y)) + 0.5f) * line; };
    auto clickAt = [&](float y) {
        const ImVec2 at(listAt.x + 40.0f, y);
        for (int i = 0; i < 12; ++i) frame(at, false, 0.0f);  // no double click with the last one
        frame(at, true, 0.0f);
        frame(at, false, 0.0f);
    };
    for (int i = 0; i < 2; ++i) frame(ImVec2(1, 1), false, 0.0f);
    line = ImGui::GetTextLineHeightWithSpacing();
    const ImVec2 middle(listAt.x + 40.0f, listAt.y + listSize.y * 0.5f);
    for (float near : {listAt.y + line, middle.y, listAt.y + listSize.y - line}) {
        for (int turns = 0; turns < 6; ++turns) frame(middle, false, -5.0f);  // some way down
        ASSERT_GT(scrollY, 0.0f);
        const float y = rowMiddle(near);
        const size_t expected = entryAt(y);
        ASSERT_LT(expected, dialog.entries.size());
        clickAt(y);
        EXPECT_EQ(dialog.typedName, dialog.entries[expected].name) << "clicked at y " << y << ", scroll " << scrollY;
    }
    while (scrollY < scrollMax) frame(middle, false, -50.0f);  // the end of the list
    clickAt(rowMiddle(listAt.y + listSize.y - line));
    EXPECT_EQ(dialog.typedName, "g1399.bin");

    // Arrow keys bring the row they reach into view: from the end back up to the top.
    io.KeyMap[ImGuiKey_UpArrow] = 301;
    for (int i = 0; i < 403; ++i) {
        io.KeysDown[301] = true;
        frame(ImVec2(1, 1), false, 0.0f);
        io.KeysDown[301] = false;
        frame(ImVec2(1, 1), false, 0.0f);
        const size_t cursor = dialog.entries.size() - 2 - static_cast<size_t>(i);
        const float top = rowTop() + static_cast<float>(cursor) * line;
        ASSERT_GE(top, listAt.y) << "entry " << cursor << " above the list";
        ASSERT_LE(top + line, listAt.y + listSize.y) << "entry " << cursor << " below the list";
    }
    EXPECT_EQ(dialog.typedName, "../");
}

// Escape held to close the dialog: freeglut goes on delivering its repeats, each a release and
// a press in the same millisecond. They must not reach the program, where Escape quits (and
// took unsaved gesture sets or a sculpted terrain with it). A fresh press after a real release
// is the program's again, as is any other key.
TEST_F(FileDialogFolder, AKeyHeldToCloseTheDialogDoesNotRepeatIntoTheProgram) {
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::OPEN, "Open", "*.bin", root.string());
    EXPECT_FALSE(isHeldDialogKeyRepeat(dialog, 'a', 900));  // typed into the dialog
    fileDialogKeyReleased(dialog, 'a', 950);
    EXPECT_FALSE(isHeldDialogKeyRepeat(dialog, 27, 1000));  // goes to the dialog, which closes
    finishFileDialog(dialog, false);
    // The repeats: half a second later, then every 40 ms, a release and a press together.
    for (int t = 1500; t < 2000; t += 40) {
        fileDialogKeyReleased(dialog, 27, t);
        EXPECT_TRUE(isHeldDialogKeyRepeat(dialog, 27, t)) << t;
    }
    fileDialogKeyReleased(dialog, 27, 2010);  // let go
    EXPECT_FALSE(isHeldDialogKeyRepeat(dialog, 27, 2300));  // pressed again: quits, as meant
    EXPECT_FALSE(isHeldDialogKeyRepeat(dialog, 27, 2300));

    // Another key after the dialog, and a dialog closed with the mouse long after the last key.
    openFileDialog(dialog, FileDialogMode::SAVE, "Save", ".bin", root.string());
    EXPECT_FALSE(isHeldDialogKeyRepeat(dialog, 27, 3000));
    finishFileDialog(dialog, false);
    EXPECT_FALSE(isHeldDialogKeyRepeat(dialog, 'p', 3100));
    EXPECT_FALSE(isHeldDialogKeyRepeat(dialog, 27, 3200));
    openFileDialog(dialog, FileDialogMode::SAVE, "Save", ".bin", root.string());
    EXPECT_FALSE(isHeldDialogKeyRepeat(dialog, 'x', 4000));
    fileDialogKeyReleased(dialog, 'x', 4080);
    finishFileDialog(dialog, true);
    EXPECT_FALSE(isHeldDialogKeyRepeat(dialog, 'x', 5000));
}
