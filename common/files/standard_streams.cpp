#include "common/files/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

void keepStandardStreamsOpen() {
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        // open gives the lowest free number, which is this one: the lower ones are open by now.
        const int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened != -1 && opened != descriptor) close(opened);
    }
}

bool standardOutputWritten(const std::string& who) {
    // A failed write has set errno by now, whether it came with a line (line-buffered output)
    // or with the flush below.
    std::cout.flush();
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0 && std::cout) return true;
    std::fprintf(stderr, "%s: writing the output failed: %s\n", who.c_str(),
                 errno != 0 ? std::strerror(errno) : "a write failed");
    return false;
}
