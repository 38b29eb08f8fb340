#pragma once
// The readers under test take a path; an in-memory file (memfd) gives them one without
// touching the disk. One file per process, rewritten for every input.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

class MemFile {
public:
    MemFile() {
        fd = memfd_create("fuzz_input", 0);
        if (fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path = "/proc/self/fd/" + std::to_string(fd);
    }

    // Replaces the file's contents with `data`.
    const std::string& write(const uint8_t* data, size_t size) {
        if (ftruncate(fd, 0) != 0) std::abort();
        size_t done = 0;
        while (done < size) {
            ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<size_t>(n);
        }
        return path;
    }

private:
    int fd = -1;
    std::string path;
};
