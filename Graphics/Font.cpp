#include "Graphics/Font.h"

#include <GL/glew.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <vector>

#include "Graphics/TextureInfo.h"
#include "System/Source/Components/Meta.h"
#include "System/Source/ResourcePath.h"

namespace {

// Transparent texels left around every glyph in its texture: text drawn at
// positions between whole pixels is filtered linearly, and a glyph packed
// edge to edge with the next would pull in that glyph's first column.
constexpr int kGlyphGap = 1;

// Font sizes a 1920 x 1080 screen can show: at 400 a glyph is some 530
// pixels to the em. Larger sizes show nothing more and cost seconds and
// gigabytes to render; they are drawn at this size instead.
constexpr int kMaxFontSize = 400;
// The texture side assumed when no GL context says what it allows.
constexpr int kFallbackTextureSide = 8192;

// Font name stand-ins of the game's own (for instance "Consola" → a
// monospace face), read once into fontconfig.
const char kFontAliases[] = "Resources/Config/fonts.conf";

struct Registry {
    std::vector<Font*> fonts;
    std::map<std::string, int> indexByKey;  // -1 remembers a failure
};

Registry& GetRegistry() {
    static Registry registry;
    return registry;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return text;
}

bool OpensAsFont(const std::string& path) {
    // A folder named like a font is no font (and FreeType would take its
    // length from it).
    if (path.empty() || System::IsNonFile(path)) return false;
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) return false;
    FT_Face face;
    bool ok = FT_New_Face(library, path.c_str(), 0, &face) == 0;
    if (ok) FT_Done_Face(face);
    FT_Done_FreeType(library);
    return ok;
}

bool FontconfigReady() {
    static bool ready = [] {
        if (!FcInit()) return false;
        // fontconfig reads relative names from its own folder: give it the
        // full path.
        std::error_code ec;
        std::string aliases =
            std::filesystem::absolute(System::ResolvePath(kFontAliases), ec).string();
        FcConfigParseAndLoad(FcConfigGetCurrent(),
                             reinterpret_cast<const FcChar8*>(aliases.c_str()), FcFalse);
        return true;
    }();
    return ready;
}

// The system's file for a family, accepted only when the match is that
// family or one the configuration binds to it (not a generic fallback).
std::string SystemFontFile(const std::string& family) {
    if (!FontconfigReady()) return std::string();
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    std::vector<std::string> wanted;
    FcValue value;
    FcValueBinding binding;
    for (int i = 0;
         FcPatternGetWithBinding(pattern, FC_FAMILY, i, &value, &binding) == FcResultMatch; ++i) {
        if (value.type == FcTypeString && binding != FcValueBindingWeak) {
            wanted.push_back(Lower(reinterpret_cast<const char*>(value.u.s)));
        }
    }
    std::string path;
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match) {
        bool accepted = false;
        FcChar8* name = nullptr;
        for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
            std::string matched = Lower(reinterpret_cast<const char*>(name));
            if (std::find(wanted.begin(), wanted.end(), matched) != wanted.end()) accepted = true;
        }
        FcChar8* file = nullptr;
        if (accepted && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            path = reinterpret_cast<const char*>(file);
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return path;
}

// Where a glyph's bitmap sits in the font's texture, in texels.
struct GlyphSpot {
    int x = 0;
    int y = 0;
};

int MaxTextureSide() {
    GLint side = 0;
    if (TextureGlReady()) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &side);
    return side > 0 ? int(side) : kFallbackTextureSide;
}

// Lays the glyphs out in code order in rows of at most `rowWidth` texels,
// with a gap left of every glyph and below every row. The texture height
// that takes.
int64_t PackRows(const Font& font, int rowWidth, GlyphSpot* spots) {
    int64_t y = 0;
    int x = kGlyphGap, rowHeight = 0;
    for (int code = 0; code < 256; ++code) {
        const int w = int(font.glyphs[code].width), h = int(font.glyphs[code].height);
        if (x + w + kGlyphGap > rowWidth && x > kGlyphGap) {
            y += rowHeight + kGlyphGap;
            x = kGlyphGap;
            rowHeight = 0;
        }
        spots[code] = GlyphSpot{x, int(y)};
        x += w + kGlyphGap;
        rowHeight = std::max(rowHeight, h);
    }
    return y + rowHeight + kGlyphGap;
}

// Packs the glyphs into a texture about as wide as it is high, within the
// GL's largest texture: one row of every glyph would be far too wide for
// large sizes. False when even the widest texture is not high enough.
bool PackGlyphs(Font& font, GlyphSpot* spots) {
    const int maxSide = MaxTextureSide();
    int64_t area = 0;
    int widest = 0;
    for (const Glyph& glyph : font.glyphs) {
        area += int64_t(glyph.width + kGlyphGap) * int64_t(glyph.height + kGlyphGap);
        widest = std::max(widest, int(glyph.width));
    }
    int width = 64;
    while (width < maxSide && (width < widest + 2 * kGlyphGap || int64_t(width) * width < area)) {
        width *= 2;
    }
    width = std::min(width, maxSide);
    if (width < widest + 2 * kGlyphGap) return false;
    for (;;) {
        const int64_t height = PackRows(font, width, spots);
        if (height <= maxSide) {
            font.textureWidth = width;
            font.textureHeight = int(height);
            return true;
        }
        if (width >= maxSide) return false;
        width = std::min(width * 2, maxSide);
    }
}

void UploadGlyphTexture(Font& font, FT_Face face, const GlyphSpot* spots) {
    if (!TextureGlReady() || font.textureWidth <= 0 || font.textureHeight <= 0) return;
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    glActiveTexture(GL_TEXTURE0);
    glGenTextures(1, &font.texture);
    glBindTexture(GL_TEXTURE_2D, font.texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // Uploaded blank first: the gaps between the glyphs must read as empty.
    std::vector<unsigned char> blank(size_t(font.textureWidth) * size_t(font.textureHeight), 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, font.textureWidth, font.textureHeight, 0, GL_RED,
                 GL_UNSIGNED_BYTE, blank.data());
    for (int code = 0; code < 256; ++code) {
        if (FT_Load_Char(face, FT_ULong(code), FT_LOAD_RENDER) != 0) continue;
        FT_Bitmap& bitmap = face->glyph->bitmap;
        const GlyphSpot& spot = spots[code];
        if (bitmap.width > 0 && bitmap.rows > 0 && bitmap.pitch == int(bitmap.width)) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, spot.x, spot.y, int(bitmap.width), int(bitmap.rows),
                            GL_RED, GL_UNSIGNED_BYTE, bitmap.buffer);
        } else if (bitmap.width > 0 && bitmap.rows > 0) {
            // Rows with padding: upload them one by one.
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                glTexSubImage2D(GL_TEXTURE_2D, 0, spot.x, spot.y + int(row), int(bitmap.width), 1,
                                GL_RED, GL_UNSIGNED_BYTE, bitmap.buffer + long(row) * bitmap.pitch);
            }
        }
    }
    // No mipmaps: the minification filter is GL_LINEAR, which samples level
    // 0 only, so smaller levels would never show; making them costs a shader
    // compile per font in software GL, a large part of start-up.
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
}

}  // namespace

Font::~Font() {
    if (texture != 0 && TextureGlReady()) glDeleteTextures(1, &texture);
}

std::string FindFontFile(const std::string& name) {
    std::string system = SystemFontFile(name);
    if (OpensAsFont(system)) return system;
    std::string local = System::ResolvePath("Resources/" + name + ".ttf");
    if (OpensAsFont(local)) return local;
    return std::string();
}

Font* FontLoad(const std::string& path, int size, std::string& error) {
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) {
        error = "FT_Init_FreeType failed...";
        return nullptr;
    }
    FT_Face face;
    if (FT_New_Face(library, path.c_str(), 0, &face) != 0) {
        error = "Could not create font face. " + path + " is probably not a valid font";
        FT_Done_FreeType(library);
        return nullptr;
    }
    Font* font = new Font();
    if (!font) {
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        error = "Out of memory for a font";
        return nullptr;
    }
    font->path = System::MakeString(path);
    font->size = float(size);
    font->scale = 1.0f;
    FT_Set_Char_Size(face, FT_F26Dot6(size) * 64, FT_F26Dot6(size) * 64, 96, 96);

    // First pass: the glyph records; then their places in the texture.
    for (int code = 0; code < 256; ++code) {
        if (FT_Load_Char(face, FT_ULong(code), FT_LOAD_RENDER) != 0) {
            std::printf("Loading chracter %c failed!\n", code);
            continue;
        }
        FT_GlyphSlot slot = face->glyph;
        Glyph& glyph = font->glyphs[code];
        glyph.advanceX = float(slot->advance.x >> 6);
        glyph.advanceY = float(slot->advance.y >> 6);
        glyph.width = float(slot->bitmap.width);
        glyph.height = float(slot->bitmap.rows);
        glyph.left = float(slot->bitmap_left);
        glyph.top = float(slot->bitmap_top);
        font->rowHeight = std::max(font->rowHeight, int(slot->bitmap.rows));
    }
    if (font->rowHeight > 0) font->rowHeight += kGlyphGap;
    GlyphSpot spots[256];
    if (!PackGlyphs(*font, spots)) {
        error = "Font " + path + " at size " + std::to_string(size) + " does not fit in a texture";
        delete font;
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        return nullptr;
    }
    for (int code = 0; code < 256; ++code) {
        font->glyphs[code].u = float(spots[code].x) / float(font->textureWidth);
        font->glyphs[code].v = float(spots[code].y) / float(font->textureHeight);
    }
    UploadGlyphTexture(*font, face, spots);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return font;
}

int GetFont(const std::string& name, int size) {
    Registry& registry = GetRegistry();
    std::string lower = Lower(name);
    std::string key = lower + std::to_string(size);
    auto found = registry.indexByKey.find(key);
    if (found != registry.indexByKey.end()) return found->second;
    const int shown = std::clamp(size, 1, kMaxFontSize);
    if (shown != size) {
        // Said once: the answer is remembered under the size asked for.
        std::printf("Font %s at size %d cannot be shown: drawn at size %d\n", name.c_str(), size,
                    shown);
        const int index = GetFont(name, shown);
        registry.indexByKey[key] = index;
        return index;
    }
    std::string error;
    Font* font = FontLoad(FindFontFile(lower), size, error);
    int index = -1;
    if (font) {
        index = int(registry.fonts.size());
        registry.fonts.push_back(font);
    } else {
        // The game goes on without this font: callers draw no text with -1.
        std::printf("%s\n", error.c_str());
    }
    registry.indexByKey[key] = index;
    return index;
}

Font* GetFontByIndex(int index) {
    Registry& registry = GetRegistry();
    if (index < 0 || index >= int(registry.fonts.size())) return nullptr;
    return registry.fonts[size_t(index)];
}

int MeasureText(const Font* font, const char* text) {
    if (!font || !text) return 0;
    // Summed in 64 bits: a long enough text saturates instead of wrapping.
    int64_t width = 0;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        width += int64_t(font->glyphs[*c].advanceX);
    }
    return int(std::clamp<int64_t>(width, INT32_MIN, INT32_MAX));
}

int FontLineHeight(const Font* font) {
    if (!font) return 0;
    return font->rowHeight > 0 ? font->rowHeight : SafeDoubleToInt(font->size);
}

namespace FontRegistry {
void Clear() {
    Registry& registry = GetRegistry();
    for (Font* font : registry.fonts) delete font;
    registry.fonts.clear();
    registry.indexByKey.clear();
    FontIndicesChanged();
}
}  // namespace FontRegistry

namespace {

bool FindRegistryFont(int index, FontFace& out) {
    Font* font = GetFontByIndex(index);
    if (!font) return false;
    out.texture = font->texture;
    out.textureWidth = font->textureWidth;
    out.textureHeight = font->textureHeight;
    out.size = font->size;
    out.scale = font->scale;
    out.glyphs = font->glyphs;
    return true;
}

int LoadRegistryFont(const char* name, int size) {
    return GetFont(name ? name : "", size);
}

}  // namespace

void InstallFontRegistryProvider() {
    FontProvider provider;
    provider.find = FindRegistryFont;
    provider.load = LoadRegistryFont;
    SetFontProvider(provider);
}
