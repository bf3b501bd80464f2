#include "Graphics/TextureAtlas.h"

#include <GL/glew.h>

#include <string_view>
#include <vector>

TextureAtlas* GlobalTextureAtlas = nullptr;

// ---- Packing ----

AtlasPacker::AtlasPacker(int side) : side_(side) {
    AtlasNode root;
    root.w = side;
    root.h = side;
    nodes_.push_back(root);
}

int AtlasPacker::Insert(int w, int h) {
    if (w <= 0 || h <= 0) return -1;
    // Depth first, child A before child B. The tree can grow thousands of
    // levels deep with many small images, so the walk keeps its own stack.
    std::vector<int> pending{0};
    while (!pending.empty()) {
        int index = pending.back();
        pending.pop_back();
        const AtlasNode node = nodes_[static_cast<size_t>(index)];
        if (node.used) continue;
        if (node.childA >= 0) {
            pending.push_back(node.childB);
            pending.push_back(node.childA);
            continue;
        }
        if (w > node.w || h > node.h) continue;
        if (w == node.w && h == node.h) {
            nodes_[static_cast<size_t>(index)].used = true;
            return index;
        }
        // Split the leaf: a full-width strip on top when the height has at
        // least as much to spare as the width, else a full-height strip on
        // the left; the image goes on into child A.
        AtlasNode a;
        AtlasNode b;
        a.x = node.x;
        a.y = node.y;
        if (node.w - w <= node.h - h) {
            a.w = node.w;
            a.h = h;
            b.x = node.x;
            b.y = node.y + h;
            b.w = node.w;
            b.h = node.h - h;
        } else {
            a.w = w;
            a.h = node.h;
            b.x = node.x + w;
            b.y = node.y;
            b.w = node.w - w;
            b.h = node.h;
        }
        int first = static_cast<int>(nodes_.size());
        nodes_.push_back(a);
        nodes_.push_back(b);
        nodes_[static_cast<size_t>(index)].childA = first;
        nodes_[static_cast<size_t>(index)].childB = first + 1;
        pending.push_back(first);
    }
    return -1;
}

AtlasSpot AtlasLayout::Place(int w, int h, const std::function<int()>& makePage) {
    AtlasSpot spot;
    if (w <= 0 || h <= 0) return spot;
    bool madePage = false;
    if (pages_.empty()) {
        if (!makePage) return spot;
        AddPage(makePage());
        madePage = true;
    }
    for (;;) {
        AtlasPacker& page = pages_.back();
        if (w > page.Side() || h > page.Side()) return spot;
        int index = page.Insert(w, h);
        if (index >= 0) {
            spot.inPage = true;
            spot.page = PageCount() - 1;
            spot.x = page.Node(index).x;
            spot.y = page.Node(index).y;
            return spot;
        }
        // A fresh page always has room for an image no larger than its side;
        // one new page per image is enough.
        if (madePage || !makePage) return spot;
        AddPage(makePage());
        madePage = true;
    }
}

TextureInfo AtlasRegion(int x, int y, int w, int h, int side, unsigned texture) {
    TextureInfo info;
    float s = static_cast<float>(side);
    info.width = w;
    info.height = h;
    info.texture = texture;
    info.u = (static_cast<float>(x) + 0.25f) / s;
    info.v = (static_cast<float>(side - y - h) + 0.25f) / s;
    info.du = (static_cast<float>(w) - 0.25f) / s;
    info.dv = (static_cast<float>(h) - 0.25f) / s;
    info.owns = false;
    return info;
}

// ---- The atlas ----

// The first page is made when the first image is packed, not here: a page
// is up to 64 MiB of cleared texture, which a run that never draws an image
// (or quits during start-up) should not pay for. It is cleared when made, so
// its texels are the same either way.
TextureAtlas::TextureAtlas(int pageSideCap) : pageSideCap_(pageSideCap) {}

TextureAtlas::~TextureAtlas() {
    if (GlobalTextureAtlas == this) GlobalTextureAtlas = nullptr;
    // Once the context is gone, so is every GL object it held.
    if (!TextureGlReady()) return;
    for (const Page& page : pages_) {
        if (page.framebuffer != 0) {
            GLuint framebuffer = page.framebuffer;
            glDeleteFramebuffers(1, &framebuffer);
        }
        if (page.texture != 0) {
            GLuint texture = page.texture;
            glDeleteTextures(1, &texture);
        }
    }
    for (unsigned own : ownTextures_) {
        GLuint texture = own;
        glDeleteTextures(1, &texture);
    }
}

TextureInfo TextureAtlas::GetImage(const char* fileName) {
    std::string_view name = fileName ? fileName : "";
    auto found = images_.find(name);
    if (found != images_.end()) return found->second;
    TextureInfo record = Pack(name.data());
    auto placed = images_.emplace(System::MakeString(name), record);
    return placed.first->second;
}

int TextureAtlas::MakePage() {
    Page page;
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    int side = maxSide / 2;
    if (pageSideCap_ > 0 && side > pageSideCap_) side = pageSideCap_;
    page.side = side > 0 ? side : 0;
    if (page.side > 0) {
        GLint drawFramebuffer = 0;
        GLint readFramebuffer = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
        glPushAttrib(GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);

        glActiveTexture(GL_TEXTURE0);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, page.side, page.side, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        page.texture = texture;

        GLuint framebuffer = 0;
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
            glDisable(GL_SCISSOR_TEST);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            page.framebuffer = framebuffer;
        } else {
            // Images meant for this page keep their own textures.
            glDeleteFramebuffers(1, &framebuffer);
        }

        glPopAttrib();
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
    }
    pages_.push_back(page);
    return page.side;
}

TextureInfo TextureAtlas::Pack(const char* fileName) {
    // The loaded texture is temporary: it goes when the image has been
    // copied into a page, and stays only as an image's own texture.
    TextureInfo loaded;
    loaded.owns = true;
    LoadTexture(fileName, loaded);
    if (loaded.texture == 0 || loaded.width <= 0 || loaded.height <= 0) return TextureInfo();

    AtlasSpot spot = layout_.Place(loaded.width, loaded.height, [this] { return MakePage(); });
    if (spot.inPage && pages_[static_cast<size_t>(spot.page)].framebuffer != 0) {
        const Page& page = pages_[static_cast<size_t>(spot.page)];
        CopyIntoPage(page, loaded.texture, spot.x, spot.y);
        return AtlasRegion(spot.x, spot.y, loaded.width, loaded.height, page.side, page.texture);
    }

    // Too large for a page: the image keeps its own texture, whole.
    ownTextures_.push_back(loaded.texture);
    TextureInfo own = loaded;
    loaded.owns = false;
    return own;
}

void TextureAtlas::CopyIntoPage(const Page& page, unsigned image, int x, int y) {
    const int s = page.side;
    GLint drawFramebuffer = 0;
    GLint readFramebuffer = 0;
    GLint program = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glPushAttrib(GL_ENABLE_BIT | GL_VIEWPORT_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT |
                 GL_TEXTURE_BIT | GL_TRANSFORM_BIT | GL_POLYGON_BIT);

    glBindFramebuffer(GL_FRAMEBUFFER, page.framebuffer);
    // The texels are copied as they are: no blending with the empty page
    // (which would darken half-transparent edges), no depth, alpha,
    // scissor or stencil test, no shader, no tint.
    glUseProgram(0);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_COLOR_LOGIC_OP);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glViewport(0, 0, s, s);

    // The matrices are saved by value: the projection stack may be only two
    // deep.
    GLdouble projection[16];
    GLdouble modelView[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, s, 0.0, s, -10.0, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_3D);
    glDisable(GL_TEXTURE_CUBE_MAP);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, image);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    GLint w = 0;
    GLint h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2i(x, s - y);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2i(x + w, s - y);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2i(x + w, s - y - h);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2i(x, s - y - h);
    glEnd();

    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(modelView);

    glPopAttrib();
    glUseProgram(static_cast<GLuint>(program));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
}
