#pragma once
// Whether two names the user gave reach one file, so that a run never writes over a file it
// reads (or writes two outputs to one file).
#include <string>

// True for an existing file reached by both names (links included), and for names of a file
// not made yet that resolve to the same path (`x`, `./x`, `missing/../x` and a link to `x`).
bool namesSameFile(const std::string& a, const std::string& b);
