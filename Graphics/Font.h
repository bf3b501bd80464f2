// Fonts: TrueType faces rendered once, at load time, into one glyph texture
// per font and size, handed out by a registry as small integer indices.
#pragma once

#include <string>

#include "Graphics/Renderer.h"
#include "System/Source/PoolAllocator.h"

// A glyph record: advances, bitmap size and bearings in pixels, and the
// glyph's left edge in the texture as a fraction of its width.
using Glyph = GlyphMetrics;

class Font : public System::PoolObject {
public:
    Font() = default;
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    System::String path;
    float size = 0.0f;
    unsigned texture = 0;
    int textureWidth = 0;
    int textureHeight = 0;
    // The tallest glyph's rows and the gap below them: the height a line of
    // this font takes (the texture holds several such rows).
    int rowHeight = 0;
    float scale = 1.0f;
    Glyph glyphs[256] = {};
};

// The index of the font of that name (any case) and size, loaded on first
// use; -1 when no such font can be loaded (the failure is printed once and
// remembered).
int GetFont(const std::string& name, int size);
// The font at an index; null for -1 or an index never given out.
Font* GetFontByIndex(int index);
// The width of a text: the sum of its glyphs' advances; 0 without a font.
int MeasureText(const Font* font, const char* text);
// The height a line of the font takes: its tallest glyph and the gap below;
// 0 without a font.
int FontLineHeight(const Font* font);

// The file of a font name: the system's font of that family (or a font the
// system declares a stand-in for it), else "Resources/" + name + ".ttf";
// "" when neither opens as a font.
std::string FindFontFile(const std::string& name);
// Loads a font; null with `error` set when the file is not a usable font.
Font* FontLoad(const std::string& path, int size, std::string& error);

// Lets the renderer draw text with the registry's fonts.
void InstallFontRegistryProvider();

namespace FontRegistry {
// Deletes every font; their indices are given out anew afterwards.
void Clear();
}  // namespace FontRegistry
