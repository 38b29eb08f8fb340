#include "common/files/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>

namespace {

// Folder entries hold at most 255 bytes on Linux's file systems; the suffix takes 7.
constexpr size_t MAX_TEMPORARY_BASE = 255 - 7;
// As many links in a row as the kernel follows before it gives up with ELOOP.
constexpr int MAX_LINK_HOPS = 40;

std::string failure(const char* what, const std::string& path, int code) {
    return std::string(what) + " '" + path + "': " + std::strerror(code);
}

}  // namespace

bool beginFileReplacement(const std::string& path, FileReplacement& replacement, std::string& error) {
    replacement = FileReplacement{};
    if (path.empty()) {
        error = "no file name given";
        return false;
    }
    // A link is followed to the file it names, even one that does not exist yet (as writing
    // through the link would create it): renaming onto the link itself would replace the link.
    std::string target = path;
    struct stat info {};
    int hops = 0;
    for (; ::lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode); ++hops) {
        if (hops == MAX_LINK_HOPS) {
            error = failure("cannot follow the links of", path, ELOOP);
            return false;
        }
        std::vector<char> named(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
        const ssize_t length = ::readlink(target.c_str(), named.data(), named.size());
        if (length < 0 || static_cast<size_t>(length) >= named.size()) {
            error = failure("cannot read the link", target, length < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        std::string next(named.data(), static_cast<size_t>(length));
        if (next.empty() || next[0] != '/') {  // relative to the link's own folder
            const size_t slash = target.rfind('/');
            next = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + next;
        }
        target = next;
    }
    // rename would put a file in the place of a pipe, socket or device (a FIFO named x.bin
    // offered by the file dialog) and only fail on a folder after writing everything.
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? failure("cannot replace", target, EISDIR)
                                      : "cannot replace '" + target + "': not a regular file (a pipe, socket or device)";
        return false;
    }
    // rename would replace a file the user made read-only; opening it for writing would not.
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) {
        error = failure("cannot overwrite", target, errno);
        return false;
    }

    // The temporary is the name plus a suffix; a name near the longest a folder entry may be
    // is shortened for it, so that every name that can be written can be replaced.
    std::string temporaryBase = target;
    const size_t slash = target.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (target.size() - nameStart > MAX_TEMPORARY_BASE) temporaryBase.resize(nameStart + MAX_TEMPORARY_BASE);
    std::vector<char> temporary(temporaryBase.begin(), temporaryBase.end());
    const char suffix[] = ".XXXXXX";
    temporary.insert(temporary.end(), suffix, suffix + sizeof suffix);
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = failure("cannot create a file beside", target, errno);
        return false;
    }
    mode_t mode = 0666;
    if (::stat(target.c_str(), &info) == 0) {
        // New content never inherits set-user or set-group ID, as writing the file would clear them.
        mode = info.st_mode & 07777 & ~static_cast<mode_t>(S_ISUID | S_ISGID);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    // The permissions come at finish: a mode without the owner's write or read bits (a umask of
    // 0277, a file kept at 0200) would stop the caller writing the temporary by name. mkstemp's
    // own 0600 is cut by the umask too, so it is set again.
    if (::fchmod(fd, 0600) != 0) {
        const int code = errno;
        ::close(fd);
        std::remove(temporary.data());
        error = failure("cannot write", target, code);
        return false;
    }
    replacement.target = target;
    replacement.temporary = temporary.data();
    replacement.fd = fd;
    replacement.mode = mode;
    return true;
}

bool finishFileReplacement(FileReplacement& replacement, std::string& error) {
    int fd = replacement.fd;
    replacement.fd = -1;
    if (fd < 0) fd = ::open(replacement.temporary.c_str(), O_RDONLY);  // written by name: flush it too
    int code = fd < 0 ? errno : 0;
    if (code == 0 && ::fchmod(fd, static_cast<mode_t>(replacement.mode)) != 0) code = errno;
    if (code == 0 && ::fsync(fd) != 0) code = errno;
    if (fd >= 0 && ::close(fd) != 0 && code == 0) code = errno;
    if (code != 0) {
        error = failure("cannot write", replacement.target, code);
    } else if (std::rename(replacement.temporary.c_str(), replacement.target.c_str()) != 0) {
        code = errno;
        error = failure("cannot replace", replacement.target, code);
    }
    if (code != 0) abandonFileReplacement(replacement);
    return code == 0;
}

void abandonFileReplacement(FileReplacement& replacement) {
    if (replacement.fd >= 0) ::close(replacement.fd);
    replacement.fd = -1;
    if (!replacement.temporary.empty()) std::remove(replacement.temporary.c_str());
    replacement.temporary.clear();
}

bool replaceFileContents(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    FileReplacement replacement;
    if (!beginFileReplacement(path, replacement, error)) return false;
    int code = 0;
    size_t done = 0;
    while (code == 0 && done < bytes.size()) {
        const ssize_t n = ::write(replacement.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            code = n < 0 ? errno : ENOSPC;
        } else {
            done += static_cast<size_t>(n);
        }
    }
    if (code != 0) {
        error = failure("cannot write", replacement.target, code);
        abandonFileReplacement(replacement);
        return false;
    }
    return finishFileReplacement(replacement, error);
}
