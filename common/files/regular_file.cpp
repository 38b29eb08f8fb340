#include "common/files/regular_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const char* const NOT_REGULAR = "is not a regular file (a pipe, socket or device)";

std::FILE* openFile(const std::string& path, bool pipes, int waitMs, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode) &&
        !(pipes && S_ISFIFO(info.st_mode))) {
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
    const bool statted = ::fstat(fd, &info) == 0;
    if (pipes && statted && S_ISFIFO(info.st_mode)) {
        // Opened without waiting, the FIFO is read once a writer has put something in it (or
        // has come and gone, which reads as the end); until then poll reports nothing.
        pollfd ready{fd, POLLIN, 0};
        int polled;
        do {
            polled = ::poll(&ready, 1, waitMs);
        } while (polled < 0 && errno == EINTR);
        if (polled == 0) {
            error = "is a pipe that no program writes to";
            ::close(fd);
            return nullptr;
        }
        const int flags = polled > 0 ? ::fcntl(fd, F_GETFL) : -1;
        if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
            error = std::string("cannot open: ") + std::strerror(errno);
            ::close(fd);
            return nullptr;
        }
    } else if (!statted || !S_ISREG(info.st_mode)) {
        // A folder opens for reading on Linux and then fails or reports a meaningless size.
        error = statted && S_ISDIR(info.st_mode) ? "is a folder, not a file" : NOT_REGULAR;
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

}  // namespace

std::FILE* openRegularFile(const std::string& path, std::string& error) { return openFile(path, false, 0, error); }

std::FILE* openReadOnceFile(const std::string& path, int waitMs, std::string& error) {
    return openFile(path, true, waitMs, error);
}
