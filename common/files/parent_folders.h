#pragma once
// Creating the folders a file is about to be written into, for unattended runs (scripts,
// --screenshot) whose output paths name folders that a fresh checkout does not have yet.
#include <string>

// Creates every missing folder above `path` (nothing for a bare file name). False with `error`
// (one line naming the folder and the reason) when one cannot be made.
bool makeParentFolders(const std::string& path, std::string& error);
