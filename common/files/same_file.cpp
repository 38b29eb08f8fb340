#include "common/files/same_file.h"

#include <filesystem>
#include <system_error>

bool namesSameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec) && !ec) return true;
    // Made absolute first: a relative name with no existing folder in it would stay relative.
    // A link to a file not made yet is written through, so it names its target.
    auto resolved = [&ec](const std::string& name) {
        std::filesystem::path path = std::filesystem::absolute(name, ec);
        auto isLink = [](const std::filesystem::path& p) {
            std::error_code missing;  // a name not made yet is no link
            return std::filesystem::is_symlink(std::filesystem::symlink_status(p, missing));
        };
        for (int hops = 0; !ec && hops < 40 && isLink(path); ++hops) {
            const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
            path = target.is_absolute() ? target : path.parent_path() / target;
        }
        return ec ? path : std::filesystem::weakly_canonical(path, ec);
    };
    const std::filesystem::path first = resolved(a);
    if (ec) return false;
    const std::filesystem::path second = resolved(b);
    return !ec && first == second;
}
