#include "common/app/screenshot.h"

#include <GL/gl.h>

#include <cstdio>
#include <vector>

#include "common/files/parent_folders.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

bool saveScreenshot(const std::string& path, int width, int height) {
    if (width <= 0 || height <= 0) {
        std::printf("screenshot '%s': the window has no area\n", path.c_str());
        return false;
    }
    std::string error;
    if (!makeParentFolders(path, error)) {
        std::printf("screenshot '%s': %s\n", path.c_str(), error.c_str());
        return false;
    }
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    // GL's rows run bottom to top; PNG's top to bottom.
    stbi_flip_vertically_on_write(1);
    if (!stbi_write_png(path.c_str(), width, height, 3, pixels.data(), width * 3)) {
        std::printf("screenshot '%s': cannot write the file\n", path.c_str());
        return false;
    }
    return true;
}
