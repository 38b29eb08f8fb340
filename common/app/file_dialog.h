#pragma once
// The in-window file dialog that stands in for the system's open and save dialogs.
// It does not block the GUI thread: the program opens it, draws it every frame with Dear ImGui,
// and takes the result once `finished` is set. The programs hold their own frame work still
// while it is open, as they stood still under the system's modal dialogs. Cancel gives an
// empty path. The save dialog adds no extension: the file gets exactly the typed name.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

enum class FileDialogMode { OPEN, SAVE };

struct FileDialogEntry {
    std::string name;
    bool isFolder = false;
};

struct FileDialog {
    bool active = false;               // drawn and holding the keyboard
    bool finished = false;             // the user chose or cancelled; result is final
    FileDialogMode mode = FileDialogMode::OPEN;
    std::string title;
    std::string filter = "*.bin";      // the files shown; folders always show
    std::string folder;                // absolute folder being listed; kept for the next opening
    std::vector<FileDialogEntry> entries;
    std::string typedName;             // save: the name typed; open: the selected entry
    std::string error;                 // one line shown under the list (unreadable folder...)
    std::string result;                // chosen path, empty on cancel
    bool focusName = true;             // put the keyboard into the name field in the next frame
    bool nameCursorToEnd = false;      // the field just took the keyboard: its cursor goes after the name
    int scrollToEntry = -1;            // the entry the arrow keys reached, brought into view next
    bool clickEnteredFolder = false;   // the last single click entered a folder
    int nameRevision = 0;              // the name field's ID: changed when the name is set for it
    int heldKey = -1;                  // the last key pressed while the dialog was open ...
    int heldKeyUpMs = -1;              // ... and when it was last released (-1: not since)
    float placedWidth = 0.0f;          // the window size the dialog was last placed in: after a
    float placedHeight = 0.0f;         // resize it is centred again, not left off-screen
};

// Starts a dialog in `folder`. Without one it starts in the folder of the file this dialog
// last chose, or where it was left when cancelled; at first, and once that folder is gone, in
// the working directory. `filter` is a glob, an extension alone (".bin": "*.bin") or empty
// (folders only: glebora's export names its three files itself, so a file picked from the
// list would only give names like "x_colormap.tga_colormap.tga").
void openFileDialog(FileDialog& dialog, FileDialogMode mode, const std::string& title,
                    const std::string& filter, const std::string& folder = "");

// Lists `folder`'s sub-folders (with ".." first, except at the root) and its files matching
// `filter`, folders first, each group sorted by name. Returns false with `error` set when it
// cannot be opened; an error partway through keeps the entries read so far.
bool listFolder(const std::string& folder, const std::string& filter, std::vector<FileDialogEntry>& entries,
                std::string& error);

// Glob match with '*' and '?' as the only wildcards.
bool matchesFilter(const std::string& name, const std::string& filter);

// Where a typed name points: relative to `folder`, unless it is absolute or starts with "~"
// (the home folder), as a shell would read it.
std::filesystem::path typedPath(const std::string& folder, const std::string& name);

// Moves into a sub-folder or ".." and relists it.
void enterFolder(FileDialog& dialog, const std::string& name);

// A click on entry `index`: a folder is entered, a file selected. The second click of a double
// click only chooses the file the first one selected (true: the dialog may end with it); after
// the first click entered a folder, it does nothing to the entry now under the mouse.
bool clickFileDialogEntry(FileDialog& dialog, size_t index, bool secondOfDoubleClick);

// The arrow keys: moves `step` entries down (negative: up) from the entry the name field names,
// staying within the list, and puts the new entry's name into the field ("name/" for a folder, so
// Enter enters it). From a name no entry has, the move goes to the first entry down, or to the
// last one up.
void moveFileDialogCursor(FileDialog& dialog, int step);

// Decides on Open or Save (the button or Enter) with the typed name. True when the dialog may
// end with it. Otherwise it stays open with `error` set (an empty name, a missing file to open,
// a missing folder to enter or to save into), or it entered the folder the name gives (Open:
// any folder's name; Save: a name ending in '/', ".", ".." or the home folder's "~").
bool acceptFileDialogName(FileDialog& dialog);

// The text an entry is listed with: "[name]" for a folder; control characters (a newline in a
// name) show as '?'.
std::string fileDialogEntryText(const FileDialogEntry& entry);

// Ends the dialog: with `accept` the result is typedPath(folder, typedName) (empty name: empty
// result).
void finishFileDialog(FileDialog& dialog, bool accept);

// Keys held across the dialog's end. Holding Escape (or Enter) to close the dialog goes on
// repeating after it closed, and Escape quits the program: those repeats must not reach it.
// freeglut delivers each repeat as a release and a press in the same millisecond, so a press of
// the key last pressed in the dialog is a repeat when no release came before it or one came at
// most 2 ms before. Call on every key press (true: the program ignores it; nothing is recorded
// or answered while the dialog is open, where keys go to it anyway) and every key release.
bool isHeldDialogKeyRepeat(FileDialog& dialog, unsigned char key, int nowMs);
void fileDialogKeyReleased(FileDialog& dialog, unsigned char key, int nowMs);

// Draws the dialog with Dear ImGui inside the current ImGui frame. Returns true in the frame
// it finishes.
bool drawFileDialog(FileDialog& dialog);
