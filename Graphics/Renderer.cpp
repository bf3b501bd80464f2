#include "Graphics/Renderer.h"

Renderer* CurrentRenderer = nullptr;

Renderer::~Renderer() = default;

namespace {
FontProvider& Provider() {
    static FontProvider provider;
    return provider;
}
}  // namespace

void SetFontProvider(const FontProvider& provider) {
    Provider() = provider;
}

const FontProvider& GetFontProvider() {
    return Provider();
}
