#include "World/AnimationComponent.h"

#include <cstdint>

#include "Graphics/Renderer.h"
#include "System/Source/Components/LuaBinding.h"
#include "World/Transform.h"

namespace {
constexpr char kName[] = "AnimationComponent";
}

bool AnimationComponent::HandleMessage(const MessagePayload& payload) {
    TextureComponent::HandleMessage(payload);
    const System::MetaArgs& args = payload.Args();
    const MetaValue& value = System::GetArgument(args, 1);
    switch (System::GetArgument(args, 0).ToInt()) {
        case 4:
            frameWidth = value.ToInt();
            break;
        case 5:
            frameHeight = value.ToInt();
            break;
        case 6:
            loopStart = value.ToInt();
            break;
        case 7:
        case 8:
            frameCount = value.ToInt();
            break;
        case 9:
            frameTime = 1.0f / value.ToFloat();
            break;
        default:
            break;
    }
    return true;
}

void AnimationComponent::Update(float dt) {
    elapsed += dt;
    if (elapsed > frameTime) {
        // At most one step per update; the rest of the time is dropped.
        if (frame < INT32_MAX) ++frame;
        elapsed = 0.0f;
    }
    if (frame >= frameCount) frame = loopStart;

    // Without a frame size (or an image) there is no grid to step through.
    if (frameWidth <= 0 || frameHeight <= 0 || image.width <= 0 || image.height <= 0) return;
    const int perRow = image.width / frameWidth;
    if (perRow == 0) return;
    const float uStep = static_cast<float>(frameWidth) / static_cast<float>(image.width);
    const float vStep = static_cast<float>(frameHeight) / static_cast<float>(image.height);
    int column = frame % perRow;
    if (column < 0) column = 0;
    const int row = frame / perRow;
    // Sheets are laid out from the top-left, but images are loaded with
    // their top row at v = 1: rows are counted down from the top, and v0
    // stays the frame's bottom edge so that it is drawn upright. The steps
    // are fractions of the image; the image may be only a region of its
    // texture (an atlas page), so they are taken within that region.
    frameU0 = image.u + static_cast<float>(column) * uStep * image.du;
    frameV1 = image.v + (1.0f - static_cast<float>(row) * vStep) * image.dv;
    frameU1 = frameU0 + uStep * image.du;
    frameV0 = frameV1 - vStep * image.dv;
}

void AnimationComponent::Draw() {
    Renderer* renderer = CurrentRenderer;
    Transform* transform = FindTransform(*this);
    if (!renderer || !transform) return;
    const float hw = transform->scaleX * 0.5f;
    const float hh = transform->scaleY * 0.5f;
    renderer->SetTexture(image.texture);
    renderer->DrawTextureRegion(
        ToPixel(transform->x - hw), ToPixel(transform->y - hh + transform->z),
        ToPixel(transform->x + hw), ToPixel(transform->y + hh + transform->z), frameU0, frameV0,
        frameU1, frameV1);
}

System::GenericComponent* AnimationComponent::Create() {
    AnimationComponent* component = new AnimationComponent();
    if (component) component->SetComponentName(kName);
    return component;
}

int AnimationComponent::LuaNew(lua_State* L) {
    return System::LuaNewDefault<AnimationComponent>(L);
}
