#include "common/app/screenshot.h"

#include <GL/gl.h>

#include <cstdint>
#include <vector>

#include "common/files/parent_folders.h"
#include "common/files/replace_file.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

void appendBytes(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    const auto* first = static_cast<const uint8_t*>(data);
    bytes->insert(bytes->end(), first, first + size);
}

}  // namespace

bool saveScreenshot(const std::string& path, int width, int height, std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "'" + path + "': the window has no area";
        return false;
    }
    if (!makeParentFolders(path, error)) return false;
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    // GL's rows run bottom to top; PNG's top to bottom.
    stbi_flip_vertically_on_write(1);
    // Encoded in memory first: the encoder's own file writing ignores failed writes, so a full
    // disk left a cut-short file in place of the old one and was reported as saved.
    std::vector<uint8_t> png;
    if (!stbi_write_png_to_func(appendBytes, &png, width, height, 3, pixels.data(), width * 3)) {
        error = "'" + path + "': the image could not be encoded";
        return false;
    }
    return replaceFileContents(path, png, error);
}
