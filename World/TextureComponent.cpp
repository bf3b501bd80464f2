#include "World/TextureComponent.h"

#include "Graphics/RenderTarget.h"
#include "Graphics/Renderer.h"
#include "Graphics/TextureAtlas.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/ConsolePrint.h"
#include "World/GraphicsComponent.h"
#include "World/Transform.h"

namespace {

constexpr char kName[] = "TextureComponent";

MetaValue SetTextureMethod(TextureComponent& self, System::MetaArgs& args) {
    self.SetTexture(System::GetArgument(args, 0).ToString());
    return MetaValue::None();
}
MetaValue FlipMethod(TextureComponent& self, System::MetaArgs& args) {
    self.flip = System::GetArgument(args, 0).ToInt() != 0;
    return MetaValue::None();
}
MetaValue SetTextureLayerMethod(TextureComponent& self, System::MetaArgs& args) {
    self.SetTextureLayer(System::GetArgument(args, 0).ToInt());
    return MetaValue::None();
}

}  // namespace

const char* TextureComponent::GetTypeName() const {
    return System::TypeName<TextureComponent>::name;
}

bool TextureComponent::HandleMessage(const MessagePayload& payload) {
    // A message without a number says nothing.
    if (payload.Empty()) return false;
    const System::MetaArgs& args = payload.Args();
    auto arg = [&](unsigned i) -> const MetaValue& { return System::GetArgument(args, i); };
    switch (arg(0).ToInt()) {
        case 0:
            SetTextureId(static_cast<unsigned>(arg(1).ToInt()));
            return true;
        case 1:
            u0 = arg(1).ToFloat();
            v0 = arg(2).ToFloat();
            u1 = arg(3).ToFloat();
            v1 = arg(4).ToFloat();
            return true;
        case 2:
            SetTexture(arg(1).ToString());
            return true;
        default:
            return false;
    }
}

void TextureComponent::SetTextureId(unsigned texture) {
    // A texture this component owned would otherwise be lost, and the new
    // name, which belongs to someone else, deleted with the component.
    image.Release();
    image.texture = texture;
}

void TextureComponent::SetTexture(const char* fileName) {
    image =
        GlobalTextureAtlas ? GlobalTextureAtlas->GetImage(fileName ? fileName : "") : TextureInfo();
    u0 = image.u;
    v0 = image.v;
    u1 = image.u + image.du;
    v1 = image.v + image.dv;
}

void TextureComponent::SetTexture(const System::MetaArgs& values) {
    SetTexture(System::GetArgument(values, 0).ToString());
}

void TextureComponent::SetTextureLayer(int n) {
    RenderTarget* target = n != 0 ? GetGraphicsLayer(n) : GetPostProcess(1);
    if (!target) {
        ConsolePrintf("Texture layer %d does not exist\n", n);
        return;
    }
    SetTextureId(target->texture);
    u0 = v0 = 0.0f;
    u1 = v1 = 1.0f;
}

void TextureComponent::OnEnable() {
    u0 = v0 = 0.0f;
    u1 = v1 = 1.0f;
}

void TextureComponent::Draw() {
    Renderer* renderer = CurrentRenderer;
    Transform* transform = FindTransform(*this);
    if (!renderer || !transform) return;
    System::GenericGameObject* owner = GetOwner();
    auto* graphics = dynamic_cast<GraphicsComponent*>(owner->GetComponent("GraphicsComponent"));

    const float uLeft = flip ? u1 : u0;
    const float uRight = flip ? u0 : u1;
    if (graphics && graphics->color.a != 0) {
        const Color& c = graphics->color;
        renderer->SetColor(c.r, c.g, c.b, c.a);
        renderer->SetColorFill(true);
    }
    // The quad is given about the object's centre: the pivot places it there
    // and turns it.
    renderer->PushTranslation(0, 0, ToPixel(transform->z));
    renderer->SetTexture(image.texture);
    renderer->SetPivot(transform->x, transform->y);
    renderer->SetRotation(transform->rotation);
    const int hw = ToPixel(transform->scaleX * 0.5f);
    const int hh = ToPixel(transform->scaleY * 0.5f);
    renderer->DrawTextureRegion(-hw, -hh, hw, hh, uLeft, v0, uRight, v1);
    renderer->SetRotation(0.0f);
    renderer->SetPivot(0.0f, 0.0f);
    renderer->PopTranslation();
    renderer->SetColorFill(false);
}

System::GenericComponent* TextureComponent::Create() {
    TextureComponent* component = new TextureComponent();
    if (component) component->SetComponentName(kName);
    return component;
}

void TextureComponent::RegisterMethods() {
    using Meta = System::MetaData<TextureComponent>;
    Meta::AddMethod("SetTexture", System::Method<TextureComponent, SetTextureMethod>);
    Meta::AddMethod("Flip", System::Method<TextureComponent, FlipMethod>);
    Meta::AddMethod("SetTextureLayer", System::Method<TextureComponent, SetTextureLayerMethod>);
}

int TextureComponent::LuaNew(lua_State* L) {
    return System::LuaNewDefault<TextureComponent>(L);
}
