#pragma once
// Image loading for every image of both programs: PNG files decoded by SOIL into GL textures.
// Paths are written as "../images/<name>.png" (relative to the working directory); imagePath
// finds the folder that actually holds them. Needs a current GL context.
#include <string>

// SOIL's flag values, named for the two uses the programs have.
constexpr unsigned int TEXTURE_POWER_OF_TWO = 1;  // the font atlases
constexpr unsigned int TEXTURE_MIPMAPS = 2;       // every other image

// Decodes the image keeping the file's own channel count and makes a new GL texture with the
// given SOIL flags (linear magnification, GL_CLAMP wrapping; linear-mipmap-linear minification
// with TEXTURE_MIPMAPS, linear without). Returns the texture name, or 0 when the file cannot be
// opened or decoded or the texture cannot be made; lastImageError() then says why. Silent.
unsigned int loadTexture(const std::string& path, unsigned int soilFlags);

// As above, but the pixels are converted to forceChannels (1 to 4) before the texture is made
// (the terrain's colour map wants RGB, its brush mask RGBA). 0 keeps the file's channel count.
unsigned int loadTexture(const std::string& path, unsigned int soilFlags, int forceChannels);

// Text of the last load failure ("" after a success): the loader's own message with the path.
const char* lastImageError();

// Maps a path that begins with "../images/" to the first place that holds that image file,
// trying in order: "../images/" relative to the working directory; the installed copy
// (<exe dir>/../share/pintara/images); the "images" folder beside the executable's parent
// directory (<exe dir>/../images); two levels up (a program in its build folder,
// build/paint/pintara); the source tree the program was built from. Other paths, and images
// found nowhere, come back unchanged.
std::string imagePath(const std::string& relative);

// The same search with the executable's path given, for tests ("" skips the executable-relative
// folders).
std::string imagePathFor(const std::string& relative, const std::string& executablePath);
