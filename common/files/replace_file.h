#pragma once
// Replacing a file's whole content without ever leaving it half written: the bytes go to a
// uniquely named temporary file beside it, are flushed to disk, and only then renamed over it.
// Whatever fails on the way, the old file stays as it was and no temporary is left behind.
#include <cstdint>
#include <string>
#include <vector>

// Writes `bytes` as the new content of `path`. A symbolic link at `path` is followed (the file
// it names is replaced, the link stays); a replaced file keeps its permissions, a new one gets
// those of any new file. An existing file that is not writable is refused, as opening it for
// writing would be, and so is anything that is not a regular file (a folder, pipe, socket or
// device), which rename would replace. False with `error` (one line naming the file and the
// reason) on failure.
bool replaceFileContents(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

// The same steps for a file written piece by piece (a recording): begin makes the empty
// temporary beside the file, readable and writable by its owner only; the caller writes it
// (through `temporary`, or `fd` while it is open); finish gives it the permissions the file
// will have, flushes it and renames it over the file; abandon removes it. The checks and
// refusals are those of replaceFileContents.
struct FileReplacement {
    std::string target;     // the file that will be replaced, links followed
    std::string temporary;  // where the new content goes meanwhile
    int fd = -1;            // the temporary, open for writing until closed
    unsigned mode = 0;      // the permissions it gets at finish (those of the file it replaces)
};
bool beginFileReplacement(const std::string& path, FileReplacement& replacement, std::string& error);
bool finishFileReplacement(FileReplacement& replacement, std::string& error);
void abandonFileReplacement(FileReplacement& replacement);
