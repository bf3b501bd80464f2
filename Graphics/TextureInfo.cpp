#include "Graphics/TextureInfo.h"

#include <GL/glew.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "Graphics/ImageFile.h"
#include "Graphics/Window.h"
#include "System/Source/ResourcePath.h"

namespace {

void DeleteTexture(unsigned texture) {
    if (texture != 0 && TextureGlReady()) {
        GLuint name = texture;
        glDeleteTextures(1, &name);
    }
}

GLenum PixelFormat(int channels) {
    switch (channels) {
        case 1:
            return GL_LUMINANCE;
        case 2:
            return GL_LUMINANCE_ALPHA;
        case 3:
            return GL_RGB;
        default:
            return GL_RGBA;
    }
}

// A new texture, left bound, holding the image the file at `path` holds
// with its own channels, bottom row first; 0 with the cause in `why` when
// the file cannot be read or decoded or is too large.
GLuint MakeTexture(const std::string& path, std::string& why) {
    std::FILE* file = System::OpenResource(path, "rb");
    if (!file) {
        why = std::strerror(errno);
        return 0;
    }
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    ImageFile::Pixels image;
    const bool decoded = ImageFile::Decode(file, maxSide, image, why);
    std::fclose(file);
    if (!decoded) return 0;

    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    // Rows of one- and three-channel images are tightly packed.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLenum format = PixelFormat(image.channels);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), image.width, image.height, 0, format,
                 GL_UNSIGNED_BYTE, image.data.get());
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    return name;
}

}  // namespace

bool TextureGlReady() {
    return HasGlContext();
}

TextureInfo::TextureInfo(const TextureInfo& other)
    : width(other.width),
      height(other.height),
      texture(other.texture),
      u(other.u),
      v(other.v),
      du(other.du),
      dv(other.dv),
      owns(false) {}

TextureInfo& TextureInfo::operator=(const TextureInfo& other) {
    if (this == &other) return *this;
    // The texture this record owns goes, unless the record copied from names
    // the same texture (it would be left naming a deleted one).
    if (owns && texture != other.texture) DeleteTexture(texture);
    width = other.width;
    height = other.height;
    texture = other.texture;
    u = other.u;
    v = other.v;
    du = other.du;
    dv = other.dv;
    owns = false;
    return *this;
}

TextureInfo::TextureInfo(TextureInfo&& other) noexcept : TextureInfo(other) {
    owns = other.owns;
    other.owns = false;
}

TextureInfo& TextureInfo::operator=(TextureInfo&& other) noexcept {
    if (this == &other) return *this;
    bool taken = other.owns;
    *this = static_cast<const TextureInfo&>(other);
    owns = taken;
    other.owns = false;
    return *this;
}

TextureInfo::~TextureInfo() {
    Release();
}

void TextureInfo::Reset() {
    Release();
    *this = TextureInfo();
}

void TextureInfo::MakeFresh() {
    Release();
    texture = 0;
    if (TextureGlReady()) {
        GLuint name = 0;
        glGenTextures(1, &name);
        texture = name;
    }
    owns = true;
}

void TextureInfo::Release() {
    if (!owns) return;
    DeleteTexture(texture);
    texture = 0;
    owns = false;
}

bool LoadTexture(const char* fileName, TextureInfo& out, std::string* failure) {
    if (out.owns) DeleteTexture(out.texture);
    out.texture = 0;
    out.width = 0;
    out.height = 0;
    // Without a context GL calls would crash; an empty name asks for nothing.
    if (!fileName || !*fileName || !TextureGlReady()) return false;

    std::string path = System::ResolvePath(fileName);
    if (System::IsNonFile(path)) {
        if (failure) {
            *failure = "it is not a file";
        } else {
            std::printf("Image %s is not a file\n", fileName);
        }
        return false;
    }
    GLint previousBinding = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousBinding);
    std::string why;
    GLuint name = MakeTexture(path, why);
    if (name != 0) {
        GLint w = 0;
        GLint h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        if (w > 0 && h > 0) {
            out.width = w;
            out.height = h;
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        } else {
            // The driver refused the pixels (out of memory, most likely).
            glDeleteTextures(1, &name);
            name = 0;
            why = "the GL could not make a texture of it";
        }
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousBinding));
    out.texture = name;
    if (name != 0) return true;
    if (failure) {
        *failure = why;
    } else {
        std::printf("Image %s cannot be loaded: %s\n", fileName, why.c_str());
    }
    return false;
}
