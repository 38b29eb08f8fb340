#include "common/files/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

void keepStandardStreamsOpen() {
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        // open gives the lowest free number, which is this one: the lower ones are open by now.
        const int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened != -1 && opened != descriptor) close(opened);
    }
}
