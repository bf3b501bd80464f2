#include "Graphics/TextureInfo.h"

#include <GL/glew.h>
#include <SOIL/SOIL.h>

#include <cstdio>
#include <string>

#include "Graphics/Window.h"
#include "System/Source/ResourcePath.h"

namespace {

void DeleteTexture(unsigned texture) {
    if (texture != 0 && TextureGlReady()) {
        GLuint name = texture;
        glDeleteTextures(1, &name);
    }
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

void LoadTexture(const char* fileName, TextureInfo& out) {
    if (out.owns) DeleteTexture(out.texture);
    out.texture = 0;
    out.width = 0;
    out.height = 0;
    // Without a context the image library's GL calls would crash.
    if (!fileName || !TextureGlReady()) return;

    std::string path = System::ResolvePath(fileName);
    if (System::IsNonFile(path)) {
        std::printf("Image %s is not a file\n", fileName);
        return;
    }
    GLint previousBinding = 0;
    GLint previousAlignment = 4;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousBinding);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    // Rows of three-channel images are tightly packed.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLuint name =
        SOIL_load_OGL_texture(path.c_str(), SOIL_LOAD_AUTO, SOIL_CREATE_NEW_ID, SOIL_FLAG_INVERT_Y);
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    out.texture = name;
    if (name != 0) {
        glBindTexture(GL_TEXTURE_2D, name);
        GLint w = 0;
        GLint h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        out.width = w;
        out.height = h;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousBinding));
}
