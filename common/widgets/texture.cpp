#include "common/widgets/texture.h"

#include <GL/gl.h>
#include <SOIL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

namespace {

const std::string IMAGE_PREFIX = "../images/";
std::string lastError;

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string executablePath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (n <= 0) return "";
    buffer[n] = '\0';
    return buffer;
}

}  // namespace

std::string imagePathFor(const std::string& relative, const std::string& executable) {
    if (relative.compare(0, IMAGE_PREFIX.size(), IMAGE_PREFIX) != 0) return relative;
    // Each image is looked for as a file, not by its folder: an unrelated "images" folder beside
    // the working directory must not hide the program's own.
    if (isRegularFile(relative)) return relative;
    const std::string rest = relative.substr(IMAGE_PREFIX.size());
    const std::string::size_type slash = executable.rfind('/');
    if (slash != std::string::npos) {
        const std::string exeDir = executable.substr(0, slash);
        // Installed copy first (bin/../share/pintara/images), so that an "images" folder that
        // happens to sit beside the prefix is not taken for it. A build tree keeps each program
        // one folder down (build/terrain/glebora), so the source tree's images are two levels up.
        for (const std::string folder : {"/" INSTALLED_IMAGES_FROM_BIN "/", "/../images/", "/../../images/"}) {
            const std::string candidate = exeDir + folder + rest;
            if (isRegularFile(candidate)) return candidate;
        }
    }
    // A build folder outside the source tree still finds the tree it was built from.
    const std::string source = SOURCE_IMAGES_DIR "/" + rest;
    if (isRegularFile(source)) return source;
    return relative;
}

std::string imagePath(const std::string& relative) {
    return imagePathFor(relative, executablePath());
}

unsigned int loadTexture(const std::string& path, unsigned int soilFlags) {
    return loadTexture(path, soilFlags, SOIL_LOAD_AUTO);
}

unsigned int loadTexture(const std::string& path, unsigned int soilFlags, int forceChannels) {
    const std::string resolved = imagePath(path);
    // Opened here first so that a missing file is told apart from an undecodable one.
    FILE* file = std::fopen(resolved.c_str(), "rb");
    if (!file) {
        lastError = "image '" + resolved + "': cannot open";
        return 0;
    }
    std::fclose(file);
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels =
        SOIL_load_image(resolved.c_str(), &width, &height, &channels, forceChannels);
    if (!pixels) {
        lastError = "image '" + resolved + "': " + SOIL_last_result();
        return 0;
    }
    if (forceChannels > 0) channels = forceChannels;
    // The image library hands GL tightly packed rows, its mipmaps too. Under GL's default
    // 4-byte row alignment, a level of RGB rows whose length is not a multiple of 4 (an image's
    // 2 x 2 level) would be read skewed and past its buffer.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    unsigned int texture =
        SOIL_create_OGL_texture(pixels, width, height, channels, SOIL_CREATE_NEW_ID, soilFlags);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    SOIL_free_image_data(pixels);
    if (texture == 0) {
        lastError = "image '" + resolved + "': " + SOIL_last_result();
        return 0;
    }
    lastError.clear();
    return texture;
}

const char* lastImageError() { return lastError.c_str(); }
