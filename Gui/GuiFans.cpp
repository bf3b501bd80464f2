#include "Gui/GuiFans.h"

#include <algorithm>
#include <cmath>
#include <lua.hpp>
#include <string>

#include "Graphics/Renderer.h"
#include "Graphics/TextureAtlas.h"
#include "Graphics/Window.h"
#include "System/Source/Color.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/EngineRandom.h"
#include "System/Source/FrameState.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kMaxFans = 500;

int Rand() {
    return System::EngineRand();
}

}  // namespace

// ---- Draggable element.

GuiDraggableElement::GuiDraggableElement(int32_t w, int32_t h, float px, float py)
    : GuiPanel(w, h, px, py) {
    // It must be able to take the focus, or a press on it inside a menu
    // would never reach it.
    interactive = true;
}

void GuiDraggableElement::OnMouseDown(int px, int py) {
    dragging = true;
    pressX = px;
    pressY = py;
    startX = x;
    startY = y;
}

void GuiDraggableElement::OnMouseUp() {
    dragging = false;
}

void GuiDraggableElement::OnMouseMove(int px, int py) {
    GuiPanel::OnMouseMove(px, py);
    if (!dragging) return;
    const int w = GetViewportWidth();
    const int h = GetViewportHeight();
    if (w <= 0 || h <= 0) return;
    const double movedX = std::round((double(px) - pressX) * 1000.0 / w);
    const double movedY = std::round((double(py) - pressY) * 1000.0 / h);
    x = ClampGuiPosition(double(startX) + movedX);
    y = ClampGuiPosition(double(startY) + movedY);
}

// ---- Fans.

GuiFans::GuiFans(int32_t w, int32_t h, float px, float py) : GuiPanel(w, h, px, py) {}

const char* GuiFans::GetTypeName() const {
    return System::TypeName<GuiFans>::name;
}

void GuiFans::Update() {
    if (!Active()) return;
    updated = true;
    if (shakeTime > 0.0f) {
        shakeX = float(Rand() % 21 - 10);
        shakeY = float(Rand() % 21 - 10);
        shakeTime -= float(GetFrameTime());
    } else {
        shakeX = shakeY = 0.0f;
    }
}

void GuiFans::SetCount(int n) {
    if (n > kMaxFans) return;
    n = std::max(n, 0);
    if (n > count) {
        while (count < n) AddOneFan();
        return;
    }
    // Only fans still staying are sent away: one already fading is not
    // counted, so marking it again would keep a fan too many.
    int leaving = count - n;
    for (size_t i = fans.size(); i-- > 0 && leaving > 0;) {
        if (!fans[i].staying) continue;
        fans[i].staying = false;
        --leaving;
    }
    count = n;
    fillLevel = 0.0f;
}

void GuiFans::RemoveFans() {
    SetCount(std::max(count * 7 / 8 - 3, 0));
}

void GuiFans::AddOneFan() {
    FanRecord fan;
    const int k = Rand() % 4 + 1;
    const std::string file =
        std::string("Resources/Images/Fans/") +
        (evil ? std::string("EvilFan.png") : "Fans0" + std::to_string(k) + ".png");
    if (GlobalTextureAtlas) fan.image = GlobalTextureAtlas->GetImage(file.c_str());
    fan.image.owns = false;
    float fx = 0.0f, fy = 0.0f;
    if (evil) {
        PlaceEvil(fx, fy);
    } else {
        PlaceNormal(fx, fy);
    }
    fan.x = fan.homeX = fx;
    fan.y = fan.homeY = fy;
    fan.index = count;
    fan.sidewaysSpeed = float((Rand() / 32767.0 * 10.0 - 5.0) * 60.0);
    fans.push_back(fan);
    ++count;
}

void GuiFans::PlaceNormal(float& fanX, float& fanY) {
    const int u = height - 20;
    const int s = u / 20;
    const int f = SafeDoubleToInt(fillLevel);
    // A panel under 40 thousandths high has no row step (and under 20 no
    // usable height): every fan stands on the bottom row.
    const int r = f + 1 > 0 ? Rand() % (f + 1) : 0;
    const int rowY = (s <= 0 || r <= s || r == 0) ? 0 : (r / s) * s;
    const float spread = u > 0 ? std::min(1.0f, 3.0f * float(rowY) / float(u) + 0.2f) : 0.2f;
    const int half = width / 2;
    const int span = 2 * half + 1;
    const int offset = span > 0 ? Rand() % span - half : 0;
    fanX = float(offset) * spread;
    fanY = float(rowY);
    if (u > 0) {
        if ((fillLevel + 1.0f) / float(u) * float(width) * float(fanSize) / 3.0f < float(count)) {
            fillLevel += float(s);
        }
        fillLevel = std::min(fillLevel, float(SafeDoubleToInt(0.9 * u)));
    }
}

void GuiFans::PlaceEvil(float& fanX, float& fanY) {
    const int step = SafeDoubleToInt(GetViewportWidth() * 0.01 + 0.5);
    const int p = GuiPixelsX(width);
    if (p > 0 && (fillLevel + 1.0f) / float(p) * float(fanSize) < float(count)) {
        fillLevel += float(step);
    }
    const int jitter = 2 * step + 1 > 0 ? Rand() % (2 * step + 1) - step : 0;
    fanX = float(count * step) - 0.5f * float(p) + float(jitter);
    fanY = float(Rand() % 4);
}

void GuiFans::DrawBackground() {
    if (!IsVisible() || !CurrentRenderer) return;
    Renderer& r = *CurrentRenderer;
    const int cx = GuiPixelsX(x) + int(shakeX);
    const int cy = GuiPixelsY(y) + int(shakeY);
    const int hw = GuiPixelsX(width / 2);
    const int hh = GuiPixelsY(height / 2);
    DrawImage(cx - hw, cy - hh, cx + hw, cy + hh);

    const int bx = GuiPixelsX(x + 15.0f);
    const int by = GuiPixelsY(y + float(height / 4));
    const int d = SafeDoubleToInt(fanSize / 1000.0 * GetViewportWidth() + 0.5);
    const float frameTime = float(GetFrameTime());
    const float t = frameTime * 60.0f;
    for (size_t i = 0; i < fans.size();) {
        FanRecord& fan = fans[i];
        // Later fans and lower rows in front; a panel of no height has no
        // rows to order by.
        const float rowDepth =
            height != 0 ? std::trunc(1000.0f * (float(height) - fan.homeY) / float(height)) : 0.0f;
        const float z = float(count - fan.index) / 1000.0f + rowDepth / 1000.0f;
        // Alpha 0 would tell the shader to show the picture's own colours:
        // a fan that has faded out is not drawn in its last frame.
        if (fan.alpha != 0) {
            r.PushTranslationF(0.0f, 0.0f, z);
            r.SetColorFill(true);
            r.SetColor(0, 0, 0, fan.alpha);
            r.SetTexture(fan.image.texture);
            const int fx = bx + int(fan.x);
            const int fy = by - int(fan.y);
            r.DrawTextureRegion(fx - d, fy - d, fx + d, fy + d, fan.image.u,
                                fan.image.v + fan.image.dv, fan.image.u + fan.image.du,
                                fan.image.v);
            r.SetColorFill(false);
            r.PopTranslation();
        }
        if (Move(fan, t, frameTime)) {
            ++i;
        } else {
            fans.erase(fans.begin() + std::ptrdiff_t(i));
        }
    }
}

bool GuiFans::Move(FanRecord& fan, float t, float frameTime) {
    bobTimer += t;
    if (bobTimer > 1.0f) {
        if (Rand() % 101 == 100) fan.bobbing = true;
        if (Rand() % 1001 == 1000) fan.x += float(Rand() % 5 - 2);
        bobTimer = 0.0f;
    }
    if (fan.bobbing) {
        fan.bobPhase += t * 0.15707964f;
        if (fan.bobPhase <= kPi) {
            fan.y = fan.homeY + 5.0f * std::sin(fan.bobPhase);
        } else {
            fan.bobbing = false;
            fan.bobPhase = 0.0f;
            fan.y = fan.homeY;
        }
    }
    if (!fan.staying) {
        const float q = 1.0f - float(fan.alpha) / 255.0f;
        fan.y = std::sin(1.5f * kPi * q) * (100.0f * q + 10.0f);
        fan.x += fan.sidewaysSpeed * frameTime;
        const int m = 3 + int(5.0f * q);
        if (fan.alpha <= m) return false;
        const int drop = int(std::max(1.0f, float(m) * t));
        fan.alpha = fan.alpha - drop <= 0 ? 0 : uint8_t(fan.alpha - drop);
    }
    return true;
}

// ---- Lua.

namespace {

using System::GetArgument;
using System::MetaArgs;

MetaValue LuaSetCount(GuiFans& f, MetaArgs& a) {
    f.SetCount(GetArgument(a, 0).ToInt());
    return MetaValue::None();
}
MetaValue LuaAddFans(GuiFans& f, MetaArgs&) {
    f.AddFans();
    return MetaValue::None();
}
MetaValue LuaRemoveFans(GuiFans& f, MetaArgs&) {
    f.RemoveFans();
    return MetaValue::None();
}
MetaValue LuaSetEvil(GuiFans& f, MetaArgs& a) {
    f.evil = GetArgument(a, 0).ToInt() != 0;
    return MetaValue::None();
}
MetaValue LuaShakeHud(GuiFans& f, MetaArgs& a) {
    f.shakeTime = GetArgument(a, 0).ToFloat();
    return MetaValue::None();
}
MetaValue LuaGetFans(GuiFans& f, MetaArgs&) {
    return MetaValue(int(f.count));
}

}  // namespace

void GuiFans::RegisterMethods() {
    using Meta = System::MetaData<GuiFans>;
    Meta::SetParent<GuiPanel>();
    Meta::AddMethod("SetCount", System::Method<GuiFans, LuaSetCount>);
    Meta::AddMethod("AddFans", System::Method<GuiFans, LuaAddFans>);
    Meta::AddMethod("RemoveFans", System::Method<GuiFans, LuaRemoveFans>);
    Meta::AddMethod("SetEvil", System::Method<GuiFans, LuaSetEvil>);
    Meta::AddMethod("ShakeHud", System::Method<GuiFans, LuaShakeHud>);
    Meta::AddMethod("GetFans", System::Method<GuiFans, LuaGetFans>);
}

int GuiFans::LuaNew(lua_State* L) {
    System::CheckNewArguments(L);
    GuiFans* panel = new GuiFans(0, 0, 0.0f, 0.0f);
    if (panel) panel->madeByScript = true;
    PushUserdata(L, panel);
    return 1;
}
