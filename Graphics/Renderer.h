// The drawing interface every part of the engine draws through, and the one
// current renderer.
//
// Callers select where and how to draw (target, depth, effect, texture,
// colour, font, translation, rotation, pivot) and then issue shapes. Shapes
// are only recorded; they reach the screen when the frame calls Render.
// Coordinates are integer pixels of the current projection, moved by the
// sum of the pushed translations.
#pragma once

#include <functional>
#include <glm/glm.hpp>

class Effect;
class RenderTarget;

// Called once by the renderer, in place of drawing a shader group, with the
// group's effect (null for the renderer's own shader).
using DrawCallback = std::function<void(Effect*)>;

class Renderer {
public:
    virtual ~Renderer();

    // The window's drawable size changed: every off-screen layer target is
    // re-created at the new size.
    virtual void SetSize(int width, int height) = 0;
    // Shapes from now on go to this target's layer (null: the screen).
    virtual void SetTarget(RenderTarget* target) { (void)target; }
    // Shapes from now on use this shader (null: the renderer's own).
    virtual void SetEffect(Effect* effect) { (void)effect; }
    virtual void PushTranslation(int x, int y, int z) = 0;
    virtual void PushTranslationF(float x, float y, float z) = 0;
    virtual void PopTranslation() = 0;
    virtual void SetProjection(const glm::mat4& projection) { (void)projection; }
    virtual void SetView(const glm::mat4& view) { (void)view; }
    // The matrices last set; identity for a renderer that keeps none.
    virtual glm::mat4 GetProjection() const { return glm::mat4(1.0f); }
    virtual glm::mat4 GetView() const { return glm::mat4(1.0f); }
    // Remembered only; no shape is scaled.
    virtual void SetScale(float sx, float sy) {
        (void)sx;
        (void)sy;
    }
    virtual void SetRotation(float angle) { (void)angle; }
    virtual void SetPivot(float x, float y) {
        (void)x;
        (void)y;
    }
    // Whether textured shapes keep the current colour's alpha.
    virtual void SetColorFill(bool fill) = 0;
    virtual void SetColor(unsigned char r, unsigned char g, unsigned char b, unsigned char a) = 0;
    // GL texture name; 0 draws untextured.
    virtual void SetTexture(unsigned int texture) = 0;
    // Font index of the font registry; -1: none (text is then not drawn).
    virtual void SetFont(int font) = 0;
    // Remembered only.
    virtual void SetTextFlag(bool flag) = 0;
    // Set: text swaps each glyph's top and bottom texture row (y-up passes).
    virtual void SetTextFlipped(bool flipped) = 0;
    virtual void DrawText(int x, int y, const char* text) {
        (void)x;
        (void)y;
        (void)text;
    }
    virtual void FillRect(int x1, int y1, int x2, int y2) = 0;
    // Untextured, colour-filled runs of DrawQuad.
    virtual void BeginColorFill() = 0;
    virtual void DrawQuad(int x1, int y1, int x2, int y2) = 0;
    virtual void EndColorFill() = 0;
    virtual void FillCircle(int x, int y, int r) = 0;
    // Angles in degrees; the centre is drawn darker than the rim.
    virtual void FillSector(int x, int y, int r, float from, float to) = 0;
    virtual void DrawRectOutline(int x1, int y1, int x2, int y2, int thickness) = 0;
    virtual void DrawTexture(int x1, int y1, int x2, int y2) = 0;
    virtual void DrawTextureRegion(int x1, int y1, int x2, int y2, float s1, float t1, float s2,
                                   float t2) = 0;
    virtual void DrawLine(int x1, int y1, int x2, int y2) = 0;
    virtual void FillTriangle(int x1, int y1, int x2, int y2, int x3, int y3) = 0;
    // A free-form triangle strip: points in order, closed by EndStrip.
    virtual void AddPoint(int x, int y) = 0;
    virtual void EndStrip() = 0;
    // Draws everything recorded since the last call, then forgets it.
    virtual void Render() {}
    // Clears colour and depth of every layer target and of the screen.
    virtual void Clear() {}
    // Set: each shader group's texture batches draw in the order of first
    // use; clear: from the last used back to the first.
    virtual void SetReverseOrder(bool reverse) = 0;
    // Lower depths are drawn first.
    virtual void SetDepth(int depth) = 0;
    // At the next Render, called once in place of drawing the current group.
    virtual void SetDrawCallback(DrawCallback callback) = 0;
};

// The current renderer: made by the graphics start-up, deleted at shutdown;
// null before and after.
extern Renderer* CurrentRenderer;

// What text drawing needs of a loaded font: its glyph texture (one 8-bit
// channel of coverage) and 256 glyph records indexed by character code.
struct GlyphMetrics {
    float advanceX;  // whole pixels
    float advanceY;
    float width;  // bitmap size in pixels
    float height;
    float left;  // bearing from the pen to the bitmap's left column
    float top;   // from the baseline up to the bitmap's top row
    float u;     // left edge in the texture, as a fraction of its width
    float v;     // top edge in the texture, as a fraction of its height
};
struct FontFace {
    unsigned int texture = 0;
    int textureWidth = 0;
    int textureHeight = 0;
    float size = 0.0f;
    float scale = 1.0f;
    const GlyphMetrics* glyphs = nullptr;  // 256 records
};
// How the renderer reaches the font registry: `find` fills `out` for a
// font index and says whether there is such a font; `load` returns the
// index of a font by name and size (-1 when none). Either may be null.
struct FontProvider {
    bool (*find)(int index, FontFace& out) = nullptr;
    int (*load)(const char* name, int size) = nullptr;
};
void SetFontProvider(const FontProvider& provider);
const FontProvider& GetFontProvider();
// Goes up whenever a font index may come to name another font, or none: a
// new provider, or the registry letting its fonts go. An index kept across
// calls is good while this stays the same.
unsigned FontGeneration();
void FontIndicesChanged();
