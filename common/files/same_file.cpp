#include "common/files/same_file.h"

#include <filesystem>
#include <system_error>

bool namesSameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec) && !ec) return true;
    // Made absolute first: a relative name with no existing folder in it would stay relative.
    auto resolved = [&ec](const std::string& name) {
        std::filesystem::path path = std::filesystem::absolute(name, ec);
        return ec ? path : std::filesystem::weakly_canonical(path, ec);
    };
    const std::filesystem::path first = resolved(a);
    if (ec) return false;
    const std::filesystem::path second = resolved(b);
    return !ec && first == second;
}
