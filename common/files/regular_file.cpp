#include "common/files/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const char* const NOT_REGULAR = "is not a regular file (a pipe, socket or device)";

}  // namespace

std::FILE* openRegularFile(const std::string& path, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        error = NOT_REGULAR;
        return nullptr;
    }
    // O_NONBLOCK keeps the open itself from waiting on a FIFO put in the file's place between
    // the check and the open; the check on the opened file decides. It changes nothing for a
    // regular file's reads.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return nullptr;
    }
    // A folder opens for reading on Linux and then fails or reports a meaningless size.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? "is a folder, not a file" : NOT_REGULAR;
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        error = std::string("cannot open: ") + std::strerror(errno);
        ::close(fd);
    }
    return file;
}
