#include "common/tools/tool_icon.h"

#include <GL/glx.h>

#include "common/widgets/texture.h"

int32_t loadToolIcon(const std::string& path) {
    // Making a texture needs a context; asking for one without it is undefined behaviour.
    if (glXGetCurrentContext() == nullptr) {
        return 0;
    }
    return static_cast<int32_t>(loadTexture(path, TEXTURE_MIPMAPS));
}
