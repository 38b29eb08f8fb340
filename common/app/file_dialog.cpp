#include "common/app/file_dialog.h"

#include <imgui.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Letters match in either case: "SETS.BIN" copied from another system is still a gesture-set file.
bool sameLetter(char a, char b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(a) == lower(b);
}

}  // namespace

bool matchesFilter(const std::string& name, const std::string& filter) {
    // Iterative glob with single backtracking point for '*'.
    size_t n = 0, f = 0, starF = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (f < filter.size() && (filter[f] == '?' || sameLetter(filter[f], name[n]))) {
            ++n;
            ++f;
        } else if (f < filter.size() && filter[f] == '*') {
            starF = f++;
            starN = n;
        } else if (starF != std::string::npos) {
            f = starF + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (f < filter.size() && filter[f] == '*') ++f;
    return f == filter.size();
}

bool listFolder(const std::string& folder, const std::string& filter, std::vector<FileDialogEntry>& entries,
                std::string& error) {
    entries.clear();
    error.clear();
    std::error_code ec;
    // Without skip_permission_denied: with it, a folder that may not be read lists as empty.
    fs::directory_iterator it(folder, ec);
    if (ec) {
        error = "cannot read folder '" + folder + "': " + ec.message();
        return false;
    }
    std::vector<FileDialogEntry> folders, files;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            folders.push_back({name, true});
        } else if (matchesFilter(name, filter)) {
            files.push_back({name, false});
        }
    }
    auto byName = [](const FileDialogEntry& a, const FileDialogEntry& b) { return a.name < b.name; };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    if (fs::path(folder).has_relative_path()) entries.push_back({"..", true});
    entries.insert(entries.end(), folders.begin(), folders.end());
    entries.insert(entries.end(), files.begin(), files.end());
    return true;
}

void openFileDialog(FileDialog& dialog, FileDialogMode mode, const std::string& title, const std::string& filter,
                    const std::string& folder) {
    std::error_code ec;
    // Without a folder, the dialog opens where the last one ended, while that folder exists: a
    // user who saved in a folder of their own should not have to find it again to load.
    fs::path start = folder.empty() ? fs::current_path(ec) : fs::absolute(folder, ec);
    if (folder.empty() && !dialog.folder.empty() && fs::is_directory(dialog.folder, ec)) start = dialog.folder;
    dialog = FileDialog();
    dialog.active = true;
    dialog.mode = mode;
    dialog.title = title;
    // A filter that is only an extension (".bin") lists the files with that extension: as a
    // glob it would list only a file of that exact name, so a save dialog would hide the files
    // one may want to replace. An empty filter lists folders only.
    const bool extensionOnly = !filter.empty() && filter[0] == '.' && filter.find_first_of("*?") == std::string::npos;
    dialog.filter = extensionOnly ? "*" + filter : filter;
    dialog.folder = fs::weakly_canonical(start, ec).string();
    if (dialog.folder.empty()) dialog.folder = "/";
    if (!listFolder(dialog.folder, dialog.filter, dialog.entries, dialog.error) &&
        fs::path(dialog.folder).has_relative_path()) {
        dialog.entries.push_back({"..", true});  // a way out of a start folder that cannot be read
    }
}

fs::path typedPath(const std::string& folder, const std::string& name) {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0' && (name == "~" || name.rfind("~/", 0) == 0)) {
        return fs::path(home) / name.substr(name.size() > 1 ? 2 : 1);
    }
    return fs::path(folder) / name;
}

void enterFolder(FileDialog& dialog, const std::string& name) {
    fs::path next = name == ".." ? fs::path(dialog.folder).parent_path() : typedPath(dialog.folder, name);
    // Lexically normal and without a trailing separator, so that ".." after a typed "sub/" or
    // "../.." goes up a level instead of staying or going down.
    next = next.lexically_normal();
    if (next.has_relative_path() && !next.has_filename()) next = next.parent_path();
    std::vector<FileDialogEntry> entries;
    std::string error;
    if (listFolder(next.string(), dialog.filter, entries, error)) {
        dialog.folder = next.string();
        dialog.entries = std::move(entries);
        dialog.error.clear();
        dialog.typedName.clear();
    } else {
        dialog.error = error;  // stay where we are
    }
    dialog.focusName = true;
}

namespace {

// Fills `text` in place, so a buffer kept between frames is reused rather than reallocated.
void writeEntryText(const FileDialogEntry& entry, std::string& text) {
    text.clear();
    if (entry.isFolder) text += '[';
    text += entry.name;
    if (entry.isFolder) text += ']';
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
}

}  // namespace

std::string fileDialogEntryText(const FileDialogEntry& entry) {
    std::string text;
    writeEntryText(entry, text);
    return text;
}

bool clickFileDialogEntry(FileDialog& dialog, size_t index, bool secondOfDoubleClick) {
    if (index >= dialog.entries.size()) return false;
    const FileDialogEntry entry = dialog.entries[index];  // a copy: entering a folder relists
    if (secondOfDoubleClick) {
        // The first click has acted already: it selected this file, or it entered a folder and
        // this entry of the new list merely lies under the mouse (neither entered nor opened,
        // even when it is a file of the name kept for saving: that would replace it unasked).
        return !dialog.clickEnteredFolder && !entry.isFolder && entry.name == dialog.typedName;
    }
    dialog.clickEnteredFolder = entry.isFolder;
    if (entry.isFolder) {
        // A file name typed for saving stays while the user walks to the folder it goes in.
        const std::string typed = dialog.typedName;
        enterFolder(dialog, entry.name);
        const bool plainName = !typed.empty() && typed.find('/') == std::string::npos && typed != "." &&
                               typed != ".." && typed != "~";
        if (dialog.mode == FileDialogMode::SAVE && plainName) dialog.typedName = typed;
    } else {
        dialog.typedName = entry.name;
    }
    return false;
}

namespace {

// Whether `typed` names the entry as a click or the arrow keys put it there.
bool namesEntry(const std::string& typed, const FileDialogEntry& entry) {
    if (!entry.isFolder) return typed == entry.name;
    return typed.size() == entry.name.size() + 1 && typed.back() == '/' &&
           typed.compare(0, entry.name.size(), entry.name) == 0;
}

}  // namespace

void moveFileDialogCursor(FileDialog& dialog, int step) {
    if (dialog.entries.empty() || step == 0) return;
    // From the entry the name field names (a click or the last move put it there), if any.
    const auto named = std::find_if(dialog.entries.begin(), dialog.entries.end(),
                                    [&](const FileDialogEntry& e) { return namesEntry(dialog.typedName, e); });
    const int last = static_cast<int>(dialog.entries.size()) - 1;
    const int from = named == dialog.entries.end() ? -1 : static_cast<int>(named - dialog.entries.begin());
    const int to = from < 0 ? (step > 0 ? 0 : last) : std::clamp(from + step, 0, last);
    const FileDialogEntry& entry = dialog.entries[static_cast<size_t>(to)];
    // A folder's name ends in '/', so that Enter enters it in Save as well.
    dialog.typedName = entry.isFolder ? entry.name + "/" : entry.name;
    dialog.scrollToEntry = to;
    // The name field being typed into keeps its own copy of the text: a field under a new ID
    // takes the new name.
    ++dialog.nameRevision;
    dialog.focusName = true;
}

bool acceptFileDialogName(FileDialog& dialog) {
    const std::string& name = dialog.typedName;
    if (name.empty()) {
        dialog.error = dialog.mode == FileDialogMode::OPEN ? "choose or type a file name" : "type a file name";
        dialog.focusName = true;
        return false;
    }
    std::error_code ec;
    const fs::path chosen = typedPath(dialog.folder, name);
    // Open enters a folder's name, and so does a Save whose name is the file itself (it has a
    // filter): no file can be written in a folder's place. A Save without a filter names a base
    // that gets suffixes (glebora's export), which may sit beside a folder of that name, so it
    // enters only what can only mean a folder (a trailing '/', ".", ".." or "~").
    const std::string last = fs::path(name).filename().string();
    const bool folderOnly = name.back() == '/' || last == "." || last == ".." || name == "~";
    const bool nameIsTheFile = dialog.mode == FileDialogMode::OPEN || !dialog.filter.empty();
    if ((nameIsTheFile || folderOnly) && fs::is_directory(chosen, ec)) {
        enterFolder(dialog, std::string(name));
        return false;
    }
    if (folderOnly) {
        dialog.error = "no such folder: " + name;
        dialog.focusName = true;
        return false;
    }
    if (dialog.mode == FileDialogMode::OPEN && !fs::exists(chosen, ec)) {
        dialog.error = "no such file: " + name;
        dialog.focusName = true;
        return false;
    }
    // A name in a folder that does not exist cannot be saved: said here, while the name can
    // still be mended, rather than by a failed save afterwards.
    const fs::path into = chosen.parent_path();
    if (dialog.mode == FileDialogMode::SAVE && !fs::is_directory(into, ec)) {
        dialog.error = "no such folder: " + into.string();
        dialog.focusName = true;
        return false;
    }
    return true;
}

void finishFileDialog(FileDialog& dialog, bool accept) {
    dialog.result.clear();
    if (accept && !dialog.typedName.empty()) {
        dialog.result = typedPath(dialog.folder, dialog.typedName).string();
        dialog.folder = fs::path(dialog.result).parent_path().string();  // where the next one opens
    }
    dialog.active = false;
    dialog.finished = true;
}

bool isHeldDialogKeyRepeat(FileDialog& dialog, unsigned char key, int nowMs) {
    if (dialog.active) {
        dialog.heldKey = key;
        dialog.heldKeyUpMs = -1;
        return false;
    }
    const bool repeat = key == dialog.heldKey && (dialog.heldKeyUpMs < 0 || nowMs - dialog.heldKeyUpMs <= 2);
    if (!repeat) dialog.heldKey = -1;  // released and pressed afresh: the program's key again
    return repeat;
}

void fileDialogKeyReleased(FileDialog& dialog, unsigned char key, int nowMs) {
    if (key == dialog.heldKey) dialog.heldKeyUpMs = nowMs;
}

bool drawFileDialog(FileDialog& dialog) {
    if (!dialog.active) return false;
    ImGuiIO& io = ImGui::GetIO();
    // Centred when it appears and again whenever the program's window changed size: a window
    // made tiny and large again otherwise leaves the dialog's title bar off-screen.
    const bool resized = io.DisplaySize.x != dialog.placedWidth || io.DisplaySize.y != dialog.placedHeight;
    const ImGuiCond place = resized ? ImGuiCond_Always : ImGuiCond_Appearing;
    dialog.placedWidth = io.DisplaySize.x;
    dialog.placedHeight = io.DisplaySize.y;
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.5f), place, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(ImVec2(std::min(560.0f, std::max(io.DisplaySize.x, 200.0f)),
                                    std::min(420.0f, std::max(io.DisplaySize.y, 150.0f))),
                             place);
    ImGui::SetNextWindowFocus();
    bool accept = false, cancel = false;
    if (ImGui::Begin(dialog.title.c_str(), nullptr, ImGuiWindowFlags_NoCollapse)) {
        ImGui::TextWrapped("%s", dialog.folder.c_str());
        ImGui::BeginChild("entries", ImVec2(0, -ImGui::GetFrameHeightWithSpacing() * 2.5f), true);
        size_t clickedEntry = dialog.entries.size();
        bool secondClick = false;
        const bool down = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_DownArrow));
        const bool up = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_UpArrow));
        if (down != up) moveFileDialogCursor(dialog, down ? 1 : -1);
        // Only the rows in view are laid out: a folder of thousands of entries otherwise costs
        // milliseconds in every frame the dialog stays open.
        ImGuiListClipper clipper;
        clipper.Begin(static_cast<int>(dialog.entries.size()));
        const int shown = dialog.scrollToEntry;
        if (shown >= 0) clipper.ForceDisplayRangeByIndices(shown, shown + 1);
        while (clipper.Step()) {
            for (int row = clipper.DisplayStart; row < clipper.DisplayEnd; ++row) {
                const size_t i = static_cast<size_t>(row);
                const FileDialogEntry& e = dialog.entries[i];
                // The name is drawn as it is, not as an ImGui label: a "##" in it would hide the
                // rest, and a "###" would give two entries one ID.
                static std::string text;  // drawn every frame: its room is kept
                writeEntryText(e, text);
                const ImVec2 at = ImGui::GetCursorScreenPos();
                const float rowTop = ImGui::GetCursorPosY();
                ImGui::PushID(row);
                const bool clicked = ImGui::Selectable("##entry", namesEntry(dialog.typedName, e),
                                                       ImGuiSelectableFlags_AllowDoubleClick);
                ImGui::PopID();
                if (row == shown) {
                    // The row the arrows moved to is brought into view when it is not.
                    const float scroll = ImGui::GetScrollY();
                    const float rowBottom = rowTop + ImGui::GetTextLineHeightWithSpacing();
                    if (rowTop < scroll || rowBottom > scroll + ImGui::GetWindowHeight()) ImGui::SetScrollHereY(0.5f);
                }
                ImGui::GetWindowDrawList()->AddText(at, ImGui::GetColorU32(ImGuiCol_Text), text.data(),
                                                    text.data() + text.size());
                if (clicked) {
                    clickedEntry = i;
                    secondClick = ImGui::IsMouseDoubleClicked(0);
                }
            }
        }
        ImGui::EndChild();
        dialog.scrollToEntry = -1;
        if (clickFileDialogEntry(dialog, clickedEntry, secondClick)) accept = true;
        if (!dialog.error.empty()) ImGui::TextColored(ImVec4(0.8f, 0.1f, 0.1f, 1.0f), "%s", dialog.error.c_str());
        // Room for any path the system takes (PATH_MAX, 4096 with its end): a longer typed path
        // used to be cut at 511 bytes, and a cut path is another file.
        char buffer[4096];
        std::strncpy(buffer, dialog.typedName.c_str(), sizeof buffer - 1);
        buffer[sizeof buffer - 1] = '\0';
        ImGui::SetNextItemWidth(-200);
        // Both dialogs take a typed name at once: a path can be typed into Open as well.
        // ... and again after entering a folder or refusing a name, so typing goes on there,
        // and after a click outside the dialog, which would otherwise leave the keys nowhere.
        if (!ImGui::IsAnyItemActive() && !ImGui::IsAnyMouseDown()) dialog.focusName = true;
        if (dialog.focusName) {
            ImGui::SetKeyboardFocusHere();
            dialog.nameCursorToEnd = true;
        }
        dialog.focusName = false;
        // A field given the keyboard starts with its cursor before the first letter, so a name
        // picked from the list and then typed on would get the typing in front of it.
        auto cursorToEnd = [](ImGuiInputTextCallbackData* data) {
            bool& pending = *static_cast<bool*>(data->UserData);
            if (pending) {
                data->CursorPos = data->SelectionStart = data->SelectionEnd = data->BufTextLen;
                pending = false;
            }
            return 0;
        };
        ImGui::PushID(dialog.nameRevision);
        if (ImGui::InputText("##name", buffer, sizeof buffer,
                             ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_CallbackAlways, cursorToEnd,
                             &dialog.nameCursorToEnd)) {
            accept = true;
        }
        ImGui::PopID();
        dialog.typedName = buffer;
        ImGui::SameLine();
        if (ImGui::Button(dialog.mode == FileDialogMode::OPEN ? "Open" : "Save")) accept = true;
        ImGui::SameLine();
        if (ImGui::Button("Cancel") || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape))) cancel = true;
    }
    ImGui::End();
    if (accept && !cancel) accept = acceptFileDialogName(dialog);
    if (accept || cancel) {
        finishFileDialog(dialog, accept);
        return true;
    }
    return false;
}
