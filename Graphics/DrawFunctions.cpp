#include "Graphics/DrawFunctions.h"

#include <cstdint>
#include <limits>

#include "Graphics/Renderer.h"
#include "System/Source/LuaState.h"

namespace {

// Numbers are truncated to integers, colours to their low byte.
int IntArg(const System::MetaArgs& args, unsigned index) {
    return System::GetArgument(args, index).ToInt();
}
unsigned char ByteArg(const System::MetaArgs& args, unsigned index) {
    return static_cast<unsigned char>(System::GetArgument(args, index).ToChar());
}

// a + b, held to the int range (script coordinates may be anything).
int SaturatedAdd(int a, int b) {
    const int64_t sum = int64_t{a} + b;
    if (sum > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (sum < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(sum);
}

// What DrawBox and DrawLine share: depth 100, a z offset of their own, and
// the colour of arguments 4 to 6, opaque.
void BeginShape(Renderer* renderer, const System::MetaArgs& args, int z) {
    renderer->SetDepth(100);
    renderer->PushTranslation(0, 0, z);
    renderer->SetColor(ByteArg(args, 4), ByteArg(args, 5), ByteArg(args, 6), 255);
}

// The font of DrawText, loaded on first use, and the font generation it was
// loaded in: after a new provider or a cleared registry the index may name
// another font, or none.
int textFont = -1;
unsigned textFontGeneration = 0;

}  // namespace

int LuaDrawBox(lua_State* L) {
    System::MetaArgs args;
    ReadLuaArguments(L, args);
    Renderer* renderer = CurrentRenderer;
    if (!renderer) return 0;
    const int x = IntArg(args, 0), y = IntArg(args, 1);
    // Halves truncate toward zero: a width of 5 spans x - 2 to x + 2.
    const int halfW = IntArg(args, 2) / 2, halfH = IntArg(args, 3) / 2;
    BeginShape(renderer, args, 90);
    renderer->FillRect(SaturatedAdd(x, -halfW), SaturatedAdd(y, -halfH), SaturatedAdd(x, halfW),
                       SaturatedAdd(y, halfH));
    renderer->PopTranslation();
    return 0;
}

int LuaDrawLine(lua_State* L) {
    System::MetaArgs args;
    ReadLuaArguments(L, args);
    Renderer* renderer = CurrentRenderer;
    if (!renderer) return 0;
    BeginShape(renderer, args, 10);
    // A colour fill of its own: whatever texture state the last drawer
    // left must not make the line textured or transparent.
    renderer->BeginColorFill();
    renderer->DrawLine(IntArg(args, 0), IntArg(args, 1), IntArg(args, 2), IntArg(args, 3));
    renderer->EndColorFill();
    renderer->PopTranslation();
    return 0;
}

int LuaDrawText(lua_State* L) {
    System::MetaArgs args;
    ReadLuaArguments(L, args);
    Renderer* renderer = CurrentRenderer;
    if (!renderer) return 0;
    const FontProvider& fonts = GetFontProvider();
    if (textFontGeneration != FontGeneration()) {
        textFontGeneration = FontGeneration();
        textFont = fonts.load ? fonts.load("Consola", 8) : -1;
    }
    renderer->SetColor(0, 0, 255, 255);
    renderer->SetFont(textFont);
    renderer->DrawText(IntArg(args, 0), IntArg(args, 1), System::GetArgument(args, 2).ToString());
    return 0;
}

int DrawTextFont() {
    return textFontGeneration == FontGeneration() ? textFont : -1;
}
