#pragma once
// Tool icons: every tool loads its icon in its constructor with the image convention of the
// widgets ("../images/<name>.png", mipmapped).
#include <cstdint>
#include <string>

// Returns the GL texture name of the image, or 0 when it cannot be loaded. Without a current
// GL context (tools built by tests of logic) nothing is loaded and 0 is returned, as for a
// missing image: the tool works normally without its icon.
int32_t loadToolIcon(const std::string& path);
