#include "common/files/parent_folders.h"

#include <filesystem>
#include <system_error>

bool makeParentFolders(const std::string& path, std::string& error) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) return true;
    std::error_code ec;
    if (std::filesystem::is_directory(parent, ec)) return true;
    std::filesystem::create_directories(parent, ec);
    if (ec) {
        error = "cannot create the folder '" + parent.string() + "': " + ec.message();
        return false;
    }
    return true;
}
