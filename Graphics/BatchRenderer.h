// The batching renderer: records every shape as triangle-strip vertices,
// sorted as they arrive by render target, depth, shader and texture, and at
// Render uploads them all into one vertex buffer and draws each texture
// batch with one draw call.
//
// Recording needs no GL context. A renderer made while no GL context is
// available records and "renders" into memory only (its uploaded vertices
// and render steps stay readable), which is what the tests without a window
// look at.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Graphics/Renderer.h"
#include "System/Source/Components/Meta.h"

// One vertex of the vertex buffer (stride 56 bytes).
struct BatchVertex {
    float x, y, z;         // position; z is the negated translation z
    float r, g, b, a;      // colour 0-255, not normalised
    float u, v, w;         // texture coordinate; w is always 0
    int32_t texture;       // -1 marks a break vertex, otherwise the texture id
    float rotation;        // angle the shader turns the vertex by
    float pivotX, pivotY;  // centre of that turn
};
static_assert(sizeof(BatchVertex) == 56, "the vertex buffer's stride is 56 bytes");

using BatchVertexList = System::Vector<BatchVertex>;

// The layer tree: target -> depth -> shader group -> texture batch. Entries
// are never removed; only their vertex lists are emptied by Render.
struct RenderBatch {
    unsigned int texture = 0;  // 0: untextured
    BatchVertexList vertices;
};
struct BatchGroup {
    Effect* effect = nullptr;  // null: the renderer's own shaders
    unsigned int program = 0;  // the effect's GL program when last selected
    DrawCallback callback;     // replaces drawing for one Render
    System::Vector<RenderBatch> batches;
};
struct DepthLayer {
    int depth = 0;
    System::Vector<BatchGroup> groups;
};
struct TargetLayer {
    RenderTarget* target = nullptr;  // null: the screen
    System::Vector<DepthLayer> depths;
};

// What one Render did, step by step, in order.
struct RenderStep {
    enum class Kind : uint8_t { BindTarget, Callback, Draw };
    Kind kind = Kind::Draw;
    RenderTarget* target = nullptr;  // the layer's target
    int depth = 0;
    Effect* effect = nullptr;  // the group's effect (null: the renderer's own)
    unsigned int texture = 0;  // Draw: the batch's texture
    int first = 0;             // Draw: first vertex in the buffer
    int count = 0;             // Draw: vertices uploaded (the last two are not drawn)
};

class BatchRenderer : public Renderer, public System::MetaData<BatchRenderer> {
public:
    // The vertex buffer's first size; a frame that needs more grows it.
    static constexpr std::size_t kInitialBufferBytes = 4194304;

    BatchRenderer();
    ~BatchRenderer() override;

    void SetSize(int width, int height) override;
    void SetTarget(RenderTarget* target) override;
    void SetEffect(Effect* effect) override;
    void PushTranslation(int x, int y, int z) override;
    void PushTranslationF(float x, float y, float z) override;
    void PopTranslation() override;
    void SetProjection(const glm::mat4& projection) override { projection_ = projection; }
    void SetView(const glm::mat4& view) override { view_ = view; }
    glm::mat4 GetProjection() const override { return projection_; }
    glm::mat4 GetView() const override { return view_; }
    void SetScale(float sx, float sy) override {
        scaleX_ = sx;
        scaleY_ = sy;
    }
    void SetRotation(float angle) override { rotation_ = angle; }
    void SetPivot(float x, float y) override {
        pivotX_ = x;
        pivotY_ = y;
    }
    void SetColorFill(bool fill) override { colorFill_ = fill; }
    void SetColor(unsigned char r, unsigned char g, unsigned char b, unsigned char a) override;
    void SetTexture(unsigned int texture) override;
    void SetFont(int font) override { font_ = font; }
    void SetTextFlag(bool flag) override { textFlag_ = flag; }
    void SetTextFlipped(bool flipped) override { textFlipped_ = flipped; }
    void DrawText(int x, int y, const char* text) override;
    void FillRect(int x1, int y1, int x2, int y2) override;
    void BeginColorFill() override;
    void DrawQuad(int x1, int y1, int x2, int y2) override;
    void EndColorFill() override { colorFill_ = false; }
    void FillCircle(int x, int y, int r) override;
    void FillSector(int x, int y, int r, float from, float to) override;
    void DrawRectOutline(int x1, int y1, int x2, int y2, int thickness) override;
    void DrawTexture(int x1, int y1, int x2, int y2) override;
    void DrawTextureRegion(int x1, int y1, int x2, int y2, float s1, float t1, float s2,
                           float t2) override;
    void DrawLine(int x1, int y1, int x2, int y2) override;
    void FillTriangle(int x1, int y1, int x2, int y2, int x3, int y3) override;
    void AddPoint(int x, int y) override;
    void EndStrip() override;
    void Render() override;
    void Clear() override;
    void SetReverseOrder(bool reverse) override { reverseOrder_ = reverse; }
    void SetDepth(int depth) override;
    void SetDrawCallback(DrawCallback callback) override;

    // Read access to the recording state.
    bool UsesGl() const { return gl_; }
    const System::Vector<TargetLayer>& Layers() const { return targets_; }
    std::size_t TargetIndex() const { return target_; }
    std::size_t DepthIndex() const { return depth_; }
    std::size_t GroupIndex() const { return group_; }
    std::size_t BatchIndex() const { return batch_; }
    // The list that receives the next vertices.
    const BatchVertexList& Receiving() const { return *receiving_; }
    int CurrentTexture() const { return texture_; }
    bool ColorFill() const { return colorFill_; }
    int Font() const { return font_; }
    glm::vec3 Translation() const { return {translateX_, translateY_, translateZ_}; }
    std::size_t TranslationDepth() const { return translations_.size(); }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // What the last Render did, and how many draw calls it issued.
    const System::Vector<RenderStep>& LastSteps() const { return steps_; }
    int LastDrawCalls() const { return drawCalls_; }
    // Without GL: the vertices the last Render would have uploaded.
    const BatchVertexList& Uploaded() const { return uploaded_; }
    // With GL: the vertex buffer's size in bytes.
    std::size_t BufferBytes() const { return bufferBytes_; }
    // Draws each batch as the one triangle strip it was uploaded as, instead
    // of only its triangles that have area: the reference that tests hold
    // the faster draws against.
    void SetDrawWholeStrips(bool whole) { wholeStrips_ = whole; }

private:
    struct Offset {
        float x, y, z;
    };

    // Appends one vertex at (px, py) plus the running translation.
    void Emit(float px, float py, float u = 0.0f, float v = 0.0f);
    // Two break vertices: the end of a shape.
    void EmitBreak();
    void Quad(int x1, int y1, int x2, int y2, float s1, float t1, float s2, float t2);
    // Points the receiving list at the current group's last batch.
    void ReceiveIntoLastBatch();
    BatchGroup& CurrentGroup();
    // Target layer indices in render order: layers 1, 2, ... then the
    // screen layer; just the screen layer when it is alone.
    System::Vector<std::size_t> RenderOrder() const;
    // Joins every batch's shapes with degenerate triangles and lists the
    // render steps; returns the number of vertices to upload.
    std::size_t PrepareSteps();

    // The GL side (BatchRendererGl.cpp). GlReady: a GL context exists.
    static bool GlReady();
    static unsigned int ProgramOf(const Effect* effect);
    void GlCreate();
    void GlDestroy();
    void GlUpload(std::size_t vertexCount);
    void GlBindTarget(RenderTarget* target);
    // The triangles with area of the Draw step `index`, as index ranges.
    void GlUploadIndices();
    // Draws one batch (step `index`); false when its effect has no program.
    bool GlDraw(const RenderStep& step, std::size_t index);
    void GlAfterCallback();
    void GlFinishRender();
    void GlClear();
    void GlResizeTargets();
    Effect* GlTextEffect();

    int width_ = 0;
    int height_ = 0;
    float translateX_ = 0.0f;
    float translateY_ = 0.0f;
    float translateZ_ = 0.0f;
    System::Vector<Offset> translations_;
    bool textFlag_ = false;
    bool textFlipped_ = false;
    bool reverseOrder_ = false;
    bool colorFill_ = false;
    int font_ = -1;
    int texture_ = -1;  // -1 until a texture (0 included) is first selected
    unsigned char red_ = 0, green_ = 0, blue_ = 0, alpha_ = 255;
    glm::mat4 projection_{1.0f};
    glm::mat4 view_{1.0f};
    float scaleX_ = 1.0f;
    float scaleY_ = 1.0f;
    float rotation_ = 0.0f;
    float pivotX_ = 0.0f;
    float pivotY_ = 0.0f;

    System::Vector<TargetLayer> targets_;
    std::size_t target_ = 0;
    std::size_t depth_ = 0;
    std::size_t group_ = 0;
    std::size_t batch_ = 0;
    BatchVertexList* receiving_ = nullptr;

    // Render's working lists, kept between frames for their storage.
    System::Vector<RenderStep> steps_;
    System::Vector<const BatchVertexList*> sources_;  // per Draw step, during upload
    System::Vector<DrawCallback> callbacks_;          // per Callback step
    BatchVertexList uploaded_;
    int drawCalls_ = 0;
    bool rendering_ = false;

    bool gl_ = false;
    bool wholeStrips_ = false;
    unsigned int vertexBuffer_ = 0;
    unsigned int indexBuffer_ = 0;
    struct IndexRange {
        std::size_t offset = 0;  // in indices
        std::size_t count = 0;
    };
    System::Vector<uint32_t> indices_;
    System::Vector<IndexRange> indexRanges_;  // per render step
    std::size_t bufferBytes_ = 0;
    Effect* textEffect_ = nullptr;
    Effect* colorEffect_ = nullptr;
    Effect* texturedEffect_ = nullptr;
};

// The fragment sources of the renderer's own shaders, as compiled.
extern const char* const kColorFragmentSource;
extern const char* const kTextFragmentSource;
