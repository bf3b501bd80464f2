#include "Graphics/Renderer.h"

Renderer* CurrentRenderer = nullptr;

Renderer::~Renderer() = default;

namespace {
FontProvider& Provider() {
    static FontProvider provider;
    return provider;
}
unsigned generation = 1;
}  // namespace

void SetFontProvider(const FontProvider& provider) {
    Provider() = provider;
    FontIndicesChanged();
}

const FontProvider& GetFontProvider() {
    return Provider();
}

unsigned FontGeneration() {
    return generation;
}

void FontIndicesChanged() {
    ++generation;
}
