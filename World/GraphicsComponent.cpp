#include "World/GraphicsComponent.h"

#include <cstdint>

#include "Graphics/Effect.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/Renderer.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/LuaBinding.h"
#include "World/Transform.h"

namespace {

constexpr char kName[] = "GraphicsComponent";

uint8_t ByteArg(const System::MetaArgs& args, unsigned index) {
    return static_cast<uint8_t>(System::GetArgument(args, index).ToInt());
}

MetaValue SetEffectNameMethod(GraphicsComponent& self, System::MetaArgs& args) {
    self.SetEffectName(System::GetArgument(args, 0).ToString());
    return MetaValue::None();
}
MetaValue SetOverrideNameMethod(GraphicsComponent& self, System::MetaArgs& args) {
    self.SetOverrideName(System::GetArgument(args, 0).ToString());
    return MetaValue::None();
}
MetaValue SetRenderTargetMethod(GraphicsComponent& self, System::MetaArgs& args) {
    self.SetRenderTarget(System::GetArgument(args, 0).ToInt());
    return MetaValue::None();
}
MetaValue SetGraphicsLayerMethod(GraphicsComponent& self, System::MetaArgs& args) {
    self.SetGraphicsLayer(System::GetArgument(args, 0).ToInt());
    return MetaValue::None();
}

}  // namespace

GraphicsComponent::GraphicsComponent() {
    AddProperty("r", MetaValue(&r));
    AddProperty("g", MetaValue(&g));
    AddProperty("b", MetaValue(&b));
    AddProperty("a", MetaValue(&a));
    AddProperty("layer", MetaValue(&layer));
    renderTarget_ = GetPostProcess(1);
}

const char* GraphicsComponent::GetTypeName() const {
    return System::TypeName<GraphicsComponent>::name;
}

bool GraphicsComponent::HandleMessage(const MessagePayload& payload) {
    // A message without a number says nothing.
    if (payload.Empty()) return false;
    const System::MetaArgs& args = payload.Args();
    if (System::GetArgument(args, 0).ToInt() != 0) return false;
    r = ByteArg(args, 1);
    g = ByteArg(args, 2);
    b = ByteArg(args, 3);
    a = ByteArg(args, 4);
    return true;
}

void GraphicsComponent::SetColor(Color c) {
    color = c;
    r = c.r;
    g = c.g;
    b = c.b;
    a = c.a;
}

void GraphicsComponent::SetGraphicsLayer(int n) {
    renderTarget_ = n != 0 ? GetGraphicsLayer(n) : nullptr;
}

void GraphicsComponent::SetRenderTarget(int n) {
    renderTarget_ = n != 0 ? GetPostProcess(n) : nullptr;
}

void GraphicsComponent::SetEffectName(const char* name) {
    effectName_ = name ? name : "";
}

void GraphicsComponent::SetOverrideName(const char* name) {
    overrideName_ = name ? name : "";
}

void GraphicsComponent::Draw() {
    color = Color(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b),
                  static_cast<uint8_t>(a));
    Renderer* renderer = CurrentRenderer;
    System::GenericGameObject* owner = GetOwner();
    Transform* transform = FindTransform(*this);
    if (!renderer || !owner || !transform) return;
    System::GenericComponent* particles = owner->GetComponent("ParticleComponent");

    if (renderTarget_) renderer->SetTarget(renderTarget_);
    renderer->SetDepth(layer);
    if (effectName_.empty() && overrideName_.empty()) {
        renderer->SetEffect(nullptr);
    } else {
        const char* name = !overrideName_.empty() ? overrideName_.c_str() : effectName_.c_str();
        renderer->SetEffect(GlobalShaderCache ? GlobalShaderCache->Find(name) : nullptr);
    }

    System::GenericComponent* texture = owner->GetComponent("TextureComponent");
    System::GenericComponent* animation = owner->GetComponent("AnimationComponent");
    if (texture) texture->Draw();
    if (animation) animation->Draw();
    if (particles) particles->Draw();
    renderer->SetDepth(0);

    // The plain shape goes into the same target as the images would, so an
    // object on a graphics layer shows on that layer.
    if (!texture && !animation && !particles && color.a != 0) {
        System::GenericComponent* body = owner->GetComponent("PhysicsBody");
        DrawPlainShape(*transform, body ? BodyShapeKind(body) : BodyShape::None);
    }
    if (renderTarget_) renderer->SetTarget(nullptr);
}

void GraphicsComponent::DrawPlainShape(const Transform& transform, BodyShape kind) {
    if (!CurrentRenderer) return;
    Renderer& renderer = *CurrentRenderer;
    const float hw = transform.scaleX * 0.5f;
    const float hh = transform.scaleY * 0.5f;
    const int left = ToPixel(transform.x - hw);
    const int bottom = ToPixel(transform.y - hh);
    const int right = ToPixel(transform.x + hw);
    const int top = ToPixel(transform.y + hh);

    renderer.PushTranslation(0, 0, layer);
    renderer.SetColor(color.r, color.g, color.b, color.a);
    if (effect) renderer.SetEffect(effect);

    switch (kind) {
        case BodyShape::None:
            renderer.FillRect(left, bottom, right, top);
            break;
        case BodyShape::Box:
            renderer.FillRect(left, bottom, right, top);
            if (outline > 0) {
                renderer.SetColor(0, 0, 0, color.a);
                renderer.DrawRectOutline(left, bottom, right, top, outline);
            }
            break;
        case BodyShape::Circle:
            renderer.FillCircle(ToPixel(transform.x), ToPixel(transform.y + transform.z),
                                ToPixel(transform.scaleX));
            break;
        case BodyShape::Rigid: {
            const int w = ToPixel(hw);
            const int h = ToPixel(hh);
            // Drawn about the pivot, which places it at the object's centre and
            // turns it there; the renderer takes radians, as the Transform
            // keeps them.
            renderer.SetPivot(transform.x, transform.y);
            renderer.SetRotation(transform.rotation);
            renderer.SetColor(color.r, color.g, color.b, color.a);
            renderer.FillRect(-w, -h, w, h);
            renderer.SetColor(0, 0, 0, 255);
            renderer.DrawRectOutline(-w, -h, w, h, 2);
            renderer.SetRotation(0.0f);
            renderer.SetPivot(0.0f, 0.0f);
            break;
        }
        case BodyShape::Plain:
        case BodyShape::Boundary:
            break;
    }

    if (effect) renderer.SetEffect(nullptr);
    renderer.PopTranslation();
}

System::GenericComponent* GraphicsComponent::Create() {
    GraphicsComponent* component = new GraphicsComponent();
    if (component) component->SetComponentName(kName);
    return component;
}

void GraphicsComponent::RegisterMethods() {
    using Meta = System::MetaData<GraphicsComponent>;
    Meta::AddMethod("SetEffectName", System::Method<GraphicsComponent, SetEffectNameMethod>);
    Meta::AddMethod("SetOverrideName", System::Method<GraphicsComponent, SetOverrideNameMethod>);
    Meta::AddMethod("SetRenderTarget", System::Method<GraphicsComponent, SetRenderTargetMethod>);
    Meta::AddMethod("SetGraphicsLayer", System::Method<GraphicsComponent, SetGraphicsLayerMethod>);
}

int GraphicsComponent::LuaNew(lua_State* L) {
    return System::LuaNewDefault<GraphicsComponent>(L);
}
