#pragma once
// A path as one shell word, for tests that run commands through std::system: a folder whose path
// holds a space must not be split into two words (an 'rm -rf' of the parts would remove others).
#include <string>

inline std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
