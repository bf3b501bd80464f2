// The batch renderer's recording and render ordering. Nothing here calls GL;
// the GL side lives in BatchRendererGl.cpp.
#include "Graphics/BatchRenderer.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

const char* const kColorFragmentSource =
    "    varying vec4 f_color;     void main(void)    {      gl_FragColor = f_color;    }    ";
const char* const kTextFragmentSource =
    "    varying vec2 f_texture;     varying vec4 f_color;    uniform sampler2D texture;    void "
    "main(void)    {      vec4 color = f_color;      vec4 mainColor = vec4(1, 1, 1, "
    "texture2D(texture, f_texture).r) * color;      gl_FragColor = mainColor;    }    ";

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kSectorStep = 0.2f;  // radians between rim points

BatchVertex BreakVertex() {
    BatchVertex v{};
    v.texture = -1;
    return v;
}

// Nearest integer, halves away from zero, saturating at the int range.
int RoundToInt(double v) {
    double r = std::round(v);
    if (!(r > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    if (r >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(r);
}

DepthLayer NewDepthLayer(int depth) {
    DepthLayer layer;
    layer.depth = depth;
    layer.groups.emplace_back();
    layer.groups.back().batches.emplace_back();
    return layer;
}

// Gives every pair of break vertices a copy of the last real vertex before
// it and of the first real vertex after it, so that consecutive shapes are
// joined by degenerate triangles. `lastReal` carries over between lists.
void Stitch(BatchVertexList& list, BatchVertex& lastReal) {
    const std::size_t n = list.size();
    std::size_t i = 0;
    while (i < n) {
        if (list[i].texture != -1) {
            lastReal = list[i++];
            continue;
        }
        std::size_t end = i;
        while (end < n && list[end].texture == -1) ++end;
        // A closing pair has nothing after it in this list; it is never
        // drawn, so it simply repeats the last vertex.
        const BatchVertex next = end < n ? list[end] : lastReal;
        for (std::size_t k = i; k < end; ++k) list[k] = (k - i) % 2 == 0 ? lastReal : next;
        i = end;
    }
}

}  // namespace

BatchRenderer::BatchRenderer() {
    SetTarget(nullptr);  // the screen layer, always the first
    gl_ = GlReady();
    if (gl_) GlCreate();
}

BatchRenderer::~BatchRenderer() {
    GlDestroy();
}

void BatchRenderer::SetSize(int width, int height) {
    width_ = width;
    height_ = height;
    if (gl_ && GlReady()) GlResizeTargets();
}

BatchGroup& BatchRenderer::CurrentGroup() {
    return targets_[target_].depths[depth_].groups[group_];
}

void BatchRenderer::ReceiveIntoLastBatch() {
    receiving_ = &CurrentGroup().batches.back().vertices;
}

void BatchRenderer::SetTarget(RenderTarget* target) {
    std::size_t index = targets_.size();
    if (!target && !targets_.empty()) {
        index = 0;
    } else {
        for (std::size_t i = 0; i < targets_.size(); ++i) {
            if (targets_[i].target == target) {
                index = i;
                break;
            }
        }
    }
    if (index == targets_.size()) {
        TargetLayer layer;
        layer.target = target;
        layer.depths.push_back(NewDepthLayer(0));
        targets_.push_back(std::move(layer));
    }
    target_ = index;
    depth_ = 0;
    group_ = 0;
    batch_ = 0;
    ReceiveIntoLastBatch();
}

void BatchRenderer::SetEffect(Effect* effect) {
    System::Vector<BatchGroup>& groups = targets_[target_].depths[depth_].groups;
    group_ = 0;
    if (effect) {
        // Groups match by GL program, not by object.
        const unsigned int program = ProgramOf(effect);
        std::size_t i = 0;
        while (i < groups.size() && !(groups[i].effect && groups[i].program == program)) ++i;
        if (i == groups.size()) {
            groups.emplace_back();
            groups.back().batches.emplace_back();
        }
        // The group keeps the effect it was last selected with, which is
        // alive in this frame.
        groups[i].effect = effect;
        groups[i].program = program;
        group_ = i;
    }
    batch_ = 0;
    ReceiveIntoLastBatch();
}

void BatchRenderer::SetDepth(int depth) {
    System::Vector<DepthLayer>& depths = targets_[target_].depths;
    std::size_t i = 0;
    while (i < depths.size() && depths[i].depth < depth) ++i;
    if (i == depths.size() || depths[i].depth != depth) {
        depths.insert(depths.begin() + static_cast<std::ptrdiff_t>(i), NewDepthLayer(depth));
    }
    depth_ = i;
    group_ = 0;
    batch_ = 0;
    ReceiveIntoLastBatch();
}

void BatchRenderer::SetTexture(unsigned int texture) {
    System::Vector<RenderBatch>& batches = CurrentGroup().batches;
    std::size_t i = 0;
    while (i < batches.size() && batches[i].texture != texture) ++i;
    if (i == batches.size()) {
        batches.emplace_back();
        batches.back().texture = texture;
    }
    batch_ = i;
    receiving_ = &batches[i].vertices;
    texture_ = static_cast<int>(texture);
}

void BatchRenderer::SetDrawCallback(DrawCallback callback) {
    CurrentGroup().callback = std::move(callback);
}

void BatchRenderer::PushTranslation(int x, int y, int z) {
    PushTranslationF(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void BatchRenderer::PushTranslationF(float x, float y, float z) {
    // Every push moves later vertices an extra 0.1 in z.
    Offset t{x, y, z + 0.1f};
    translations_.push_back(t);
    translateX_ += t.x;
    translateY_ += t.y;
    translateZ_ += t.z;
}

void BatchRenderer::PopTranslation() {
    if (translations_.empty()) return;
    translations_.pop_back();
    // The sum is rebuilt from the stack, so that pushes and pops never let
    // rounding errors pile up over a long run.
    translateX_ = translateY_ = translateZ_ = 0.0f;
    for (const Offset& t : translations_) {
        translateX_ += t.x;
        translateY_ += t.y;
        translateZ_ += t.z;
    }
}

void BatchRenderer::SetColor(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    red_ = r;
    green_ = g;
    blue_ = b;
    alpha_ = a;
}

void BatchRenderer::Emit(float px, float py, float u, float v) {
    BatchVertex vertex;
    vertex.x = px + translateX_;
    vertex.y = py + translateY_;
    vertex.z = -translateZ_;
    vertex.r = red_;
    vertex.g = green_;
    vertex.b = blue_;
    vertex.a = alpha_;
    vertex.w = 0.0f;
    if (texture_ != -1) {
        // Once a texture has been selected, vertices carry it; without
        // colour fill their alpha 0 tells the shader to show the texture's
        // own colours.
        vertex.u = u;
        vertex.v = v;
        vertex.texture = texture_;
        if (!colorFill_) vertex.a = 0.0f;
    } else {
        vertex.u = 0.0f;
        vertex.v = 0.0f;
        vertex.texture = 0;
    }
    vertex.rotation = rotation_;
    vertex.pivotX = pivotX_;
    vertex.pivotY = pivotY_;
    receiving_->push_back(vertex);
}

void BatchRenderer::EmitBreak() {
    receiving_->push_back(BreakVertex());
    receiving_->push_back(BreakVertex());
}

void BatchRenderer::Quad(int x1, int y1, int x2, int y2, float s1, float t1, float s2, float t2) {
    const float fx1 = static_cast<float>(x1), fy1 = static_cast<float>(y1);
    const float fx2 = static_cast<float>(x2), fy2 = static_cast<float>(y2);
    Emit(fx2, fy1, s2, t1);
    Emit(fx1, fy1, s1, t1);
    Emit(fx2, fy2, s2, t2);
    Emit(fx1, fy2, s1, t2);
    EmitBreak();
}

void BatchRenderer::FillRect(int x1, int y1, int x2, int y2) {
    SetTexture(0);
    colorFill_ = true;
    Quad(x1, y1, x2, y2, 0.0f, 0.0f, 0.0f, 0.0f);
    colorFill_ = false;
}

void BatchRenderer::BeginColorFill() {
    SetTexture(0);
    colorFill_ = true;
}

void BatchRenderer::DrawQuad(int x1, int y1, int x2, int y2) {
    Quad(x1, y1, x2, y2, 0.0f, 0.0f, 0.0f, 0.0f);
}

void BatchRenderer::DrawTexture(int x1, int y1, int x2, int y2) {
    Quad(x1, y1, x2, y2, 0.0f, 0.0f, 1.0f, 1.0f);
}

void BatchRenderer::DrawTextureRegion(int x1, int y1, int x2, int y2, float s1, float t1, float s2,
                                      float t2) {
    Quad(x1, y1, x2, y2, s1, t1, s2, t2);
}

void BatchRenderer::DrawRectOutline(int x1, int y1, int x2, int y2, int thickness) {
    const double h = static_cast<double>(static_cast<float>(thickness) / 2.0f);
    // Four bars centred on the edges; their corners overlap.
    FillRect(RoundToInt(x1 - h), RoundToInt(y1 - h), RoundToInt(x2 + h), RoundToInt(y1 + h));
    FillRect(RoundToInt(x2 - h), RoundToInt(y1 - h), RoundToInt(x2 + h), RoundToInt(y2 + h));
    FillRect(RoundToInt(x1 - h), RoundToInt(y2 - h), RoundToInt(x2 + h), RoundToInt(y2 + h));
    FillRect(RoundToInt(x1 + h), RoundToInt(y1 - h), RoundToInt(x1 - h), RoundToInt(y2 + h));
}

void BatchRenderer::DrawLine(int x1, int y1, int x2, int y2) {
    const int64_t dx = int64_t{x1} - x2;
    const int64_t dy = int64_t{y2} - y1;
    // A line without length has no direction to give it width: nothing.
    if (dx == 0 && dy == 0) return;
    const double length = std::sqrt(double(dx) * double(dx) + double(dy) * double(dy));
    const float ox = static_cast<float>(double(dy) / length);
    const float oy = static_cast<float>(double(dx) / length);
    const float fx1 = static_cast<float>(x1), fy1 = static_cast<float>(y1);
    const float fx2 = static_cast<float>(x2), fy2 = static_cast<float>(y2);
    Emit(fx2, fy2);
    Emit(fx2 + ox, fy2 + oy);
    Emit(fx1, fy1);
    Emit(fx1 + ox, fy1 + oy);
    EmitBreak();
}

void BatchRenderer::FillTriangle(int x1, int y1, int x2, int y2, int x3, int y3) {
    Emit(static_cast<float>(x1), static_cast<float>(y1));
    Emit(static_cast<float>(x2), static_cast<float>(y2));
    Emit(static_cast<float>(x3), static_cast<float>(y3));
    EmitBreak();
}

void BatchRenderer::AddPoint(int x, int y) {
    Emit(static_cast<float>(x), static_cast<float>(y));
}

void BatchRenderer::EndStrip() {
    EmitBreak();
}

void BatchRenderer::FillCircle(int x, int y, int r) {
    FillSector(x, y, r, 0.0f, 360.0f);
}

void BatchRenderer::FillSector(int x, int y, int r, float from, float to) {
    SetTexture(0);
    colorFill_ = true;
    // More than a full turn would only cover itself again; angles that are
    // not numbers give no sector.
    if (to - from > 360.0f) to = from + 360.0f;
    const float a0 = from * kPi / 180.0f;
    const float a1 = to * kPi / 180.0f;
    if (std::isfinite(a0) && std::isfinite(a1)) {
        const float cx = static_cast<float>(x), cy = static_cast<float>(y);
        const float radius = static_cast<float>(r);
        const unsigned char rim[3] = {red_, green_, blue_};
        auto centre = [&] {
            red_ = static_cast<unsigned char>(rim[0] / 3);
            green_ = static_cast<unsigned char>(rim[1] / 3);
            blue_ = static_cast<unsigned char>(rim[2] / 3);
            Emit(cx, cy);
            red_ = rim[0];
            green_ = rim[1];
            blue_ = rim[2];
        };
        centre();
        for (float a = a0; a < a1;) {
            Emit(cx + radius * std::cos(-a), cy + radius * std::sin(-a));
            centre();
            const float next = a + kSectorStep;
            if (!(next > a)) break;  // the step no longer moves a huge angle
            a = next;
        }
        Emit(cx + radius * std::cos(-a1), cy + radius * std::sin(-a1));
        EmitBreak();
    }
    colorFill_ = false;
}

void BatchRenderer::DrawText(int x, int y, const char* text) {
    if (!text || !*text || font_ == -1) return;
    const FontProvider& provider = GetFontProvider();
    FontFace face;
    if (!provider.find || !provider.find(font_, face) || !face.glyphs) return;
    if (face.textureWidth <= 0 || face.textureHeight <= 0) return;

    Effect* effect = gl_ && GlReady() ? GlTextEffect() : nullptr;
    const float baseline = face.scale * face.size;
    SetEffect(effect);
    SetTexture(face.texture);
    colorFill_ = true;
    float penX = static_cast<float>(x);
    float penY = static_cast<float>(y);
    for (const char* c = text; *c; ++c) {
        // Each byte is its own character code, 0-255.
        const GlyphMetrics& glyph = face.glyphs[static_cast<unsigned char>(*c)];
        const float left = penX + glyph.left;
        // With y down the bitmap hangs from `top` above the baseline; with y
        // up (text flipped) it must rise from the baseline instead, or every
        // glyph's height above the baseline turns into a drop below it.
        const float top =
            textFlipped_ ? penY + baseline + glyph.top - glyph.height : penY - glyph.top + baseline;
        penX += std::trunc(glyph.advanceX);
        penY += std::trunc(glyph.advanceY);
        if (glyph.width == 0.0f || glyph.height == 0.0f) continue;
        const float gw = glyph.width / static_cast<float>(face.textureWidth);
        const float gh = glyph.height / static_cast<float>(face.textureHeight);
        float vTop = glyph.v, vBottom = glyph.v + gh;
        if (textFlipped_) std::swap(vTop, vBottom);
        Emit(left + glyph.width, top, glyph.u + gw, vTop);
        Emit(left, top, glyph.u, vTop);
        Emit(left + glyph.width, top + glyph.height, glyph.u + gw, vBottom);
        Emit(left, top + glyph.height, glyph.u, vBottom);
        EmitBreak();
    }
    SetTexture(0);
    SetEffect(nullptr);
    colorFill_ = false;
}

System::Vector<std::size_t> BatchRenderer::RenderOrder() const {
    System::Vector<std::size_t> order;
    for (std::size_t i = 1; i < targets_.size(); ++i) order.push_back(i);
    order.push_back(0);
    return order;
}

std::size_t BatchRenderer::PrepareSteps() {
    steps_.clear();
    sources_.clear();
    callbacks_.clear();
    BatchVertex lastReal{};
    std::size_t first = 0;
    for (std::size_t t : RenderOrder()) {
        TargetLayer& layer = targets_[t];
        RenderStep bind;
        bind.kind = RenderStep::Kind::BindTarget;
        bind.target = layer.target;
        steps_.push_back(bind);
        sources_.push_back(nullptr);
        for (DepthLayer& depth : layer.depths) {
            for (BatchGroup& group : depth.groups) {
                RenderStep step;
                step.target = layer.target;
                step.depth = depth.depth;
                step.effect = group.effect;
                if (group.callback) {
                    // The callback draws this group. Its batches are left
                    // out of the buffer (and emptied with the others), so
                    // they neither shift later batches nor pile up.
                    step.kind = RenderStep::Kind::Callback;
                    steps_.push_back(step);
                    sources_.push_back(nullptr);
                    callbacks_.push_back(std::move(group.callback));
                    group.callback = nullptr;
                    continue;
                }
                const std::size_t n = group.batches.size();
                for (std::size_t k = 0; k < n; ++k) {
                    RenderBatch& batch = group.batches[reverseOrder_ ? k : n - 1 - k];
                    if (batch.vertices.empty()) continue;
                    Stitch(batch.vertices, lastReal);
                    step.kind = RenderStep::Kind::Draw;
                    step.texture = batch.texture;
                    step.first = static_cast<int>(first);
                    step.count = static_cast<int>(batch.vertices.size());
                    steps_.push_back(step);
                    sources_.push_back(&batch.vertices);
                    first += batch.vertices.size();
                }
            }
        }
    }
    return first;
}

void BatchRenderer::Render() {
    // A draw callback that renders again would pull the lists from under
    // this pass: such a nested call does nothing.
    if (rendering_) return;
    rendering_ = true;
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{rendering_};
    const bool gl = gl_ && GlReady();
    const std::size_t vertexCount = PrepareSteps();
    uploaded_.clear();
    if (gl) {
        GlUpload(vertexCount);
    } else {
        uploaded_.reserve(vertexCount);
        for (const BatchVertexList* source : sources_) {
            if (source) uploaded_.insert(uploaded_.end(), source->begin(), source->end());
        }
    }
    sources_.clear();

    drawCalls_ = 0;
    std::size_t callback = 0;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        const RenderStep step = steps_[i];
        switch (step.kind) {
            case RenderStep::Kind::BindTarget:
                if (gl) GlBindTarget(step.target);
                break;
            case RenderStep::Kind::Callback: {
                // Taken out first: the callback may set a new one for the
                // next frame.
                DrawCallback call = std::move(callbacks_[callback++]);
                call(step.effect);
                if (gl) GlAfterCallback();
                break;
            }
            case RenderStep::Kind::Draw:
                // The closing break pair of each batch is not drawn.
                if (step.count > 2 && (!gl || GlDraw(step, i))) ++drawCalls_;
                break;
        }
    }
    callbacks_.clear();

    // Shapes recorded by a callback during this pass are dropped with the
    // rest: they were not uploaded.
    for (TargetLayer& layer : targets_) {
        for (DepthLayer& depth : layer.depths) {
            for (BatchGroup& group : depth.groups) {
                for (RenderBatch& batch : group.batches) batch.vertices.clear();
            }
        }
    }
    SetTarget(nullptr);
    if (gl) GlFinishRender();
}

void BatchRenderer::Clear() {
    if (gl_ && GlReady()) GlClear();
}
