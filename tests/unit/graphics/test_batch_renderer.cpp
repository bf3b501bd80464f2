// The batch renderer's recording, without a window: a renderer made with no
// GL context records and renders into memory.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Graphics/BatchRenderer.h"
#include "Graphics/DrawFunctions.h"
#include "Graphics/Font.h"
#include "test_lua_support.h"

namespace {

// Render targets are only keys while recording: any distinct addresses do.
alignas(16) unsigned char targetKeys[2][64];
RenderTarget* Key(int i) {
    return reinterpret_cast<RenderTarget*>(targetKeys[i]);
}

const BatchVertexList& Batch(const BatchRenderer& r, std::size_t t, std::size_t d, std::size_t g,
                             std::size_t b) {
    return r.Layers()[t].depths[d].groups[g].batches[b].vertices;
}

void ExpectAt(const BatchVertex& v, float x, float y) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
}

bool IsBreak(const BatchVertex& v) {
    return v.texture == -1;
}

// Vertices held anywhere in the tree.
std::size_t Recorded(const BatchRenderer& r) {
    std::size_t n = 0;
    for (const TargetLayer& t : r.Layers())
        for (const DepthLayer& d : t.depths)
            for (const BatchGroup& g : d.groups)
                for (const RenderBatch& b : g.batches) n += b.vertices.size();
    return n;
}

// The last Render's steps: "A"/"B"/"screen" binds a target, "cb<depth>"
// calls a callback, "d<depth>t<texture>@<first>+<count>" draws a batch.
std::string Steps(const BatchRenderer& r) {
    std::string out;
    for (const RenderStep& s : r.LastSteps()) {
        if (!out.empty()) out += ' ';
        if (s.kind == RenderStep::Kind::BindTarget) {
            out += s.target == Key(0) ? "A" : s.target == Key(1) ? "B" : "screen";
        } else if (s.kind == RenderStep::Kind::Callback) {
            out += "cb" + std::to_string(s.depth);
        } else {
            out += "d" + std::to_string(s.depth) + "t" + std::to_string(s.texture) + "@" +
                   std::to_string(s.first) + "+" + std::to_string(s.count);
        }
    }
    return out;
}

}  // namespace

TEST(BatchRendererTree, DepthLayersSortAndSelectingFindsExistingEntries) {
    BatchRenderer r;
    ASSERT_FALSE(r.UsesGl());
    EXPECT_STREQ(r.GetTypeName(), "class BatchRenderer");
    ASSERT_EQ(r.Layers().size(), 1u);
    EXPECT_EQ(r.Layers()[0].target, nullptr);

    r.SetDepth(5);
    r.SetDepth(1);
    r.SetDepth(5);
    const auto& depths = r.Layers()[0].depths;
    ASSERT_EQ(depths.size(), 3u);
    EXPECT_EQ(depths[0].depth, 0);
    EXPECT_EQ(depths[1].depth, 1);
    EXPECT_EQ(depths[2].depth, 5);
    EXPECT_EQ(r.DepthIndex(), 2u);
    for (const DepthLayer& d : depths) {
        ASSERT_EQ(d.groups.size(), 1u);
        EXPECT_EQ(d.groups[0].effect, nullptr);
        ASSERT_EQ(d.groups[0].batches.size(), 1u);
        EXPECT_EQ(d.groups[0].batches[0].texture, 0u);
    }

    // Textures find their batch again; a new one is appended.
    r.SetTexture(7);
    r.SetTexture(9);
    r.SetTexture(7);
    EXPECT_EQ(depths[2].groups[0].batches.size(), 3u);
    EXPECT_EQ(r.BatchIndex(), 1u);
    EXPECT_EQ(r.CurrentTexture(), 7);

    // Targets: layers in creation order, the screen first; selecting one
    // goes to its lowest depth and keeps the current texture.
    r.SetTarget(Key(0));
    r.SetTarget(Key(1));
    r.SetTarget(Key(0));
    ASSERT_EQ(r.Layers().size(), 3u);
    EXPECT_EQ(r.TargetIndex(), 1u);
    EXPECT_EQ(r.Layers()[1].depths.size(), 1u);
    EXPECT_EQ(r.CurrentTexture(), 7);
    r.SetTarget(nullptr);
    EXPECT_EQ(r.TargetIndex(), 0u);
    EXPECT_EQ(r.DepthIndex(), 0u);

    // After SetTexture(7) and SetDepth(3) a shape lands in depth 3's first
    // group, in its last batch, carrying texture 7.
    r.SetDepth(3);
    r.DrawTexture(0, 0, 2, 2);
    ASSERT_EQ(Batch(r, 0, 2, 0, 0).size(), 6u);
    EXPECT_EQ(Batch(r, 0, 2, 0, 0)[0].texture, 7);
}

TEST(BatchRendererVertices, AlphaIsZeroForTexturedShapesWithoutColourFill) {
    BatchRenderer r;
    r.SetColor(10, 20, 30, 200);
    r.FillTriangle(0, 0, 1, 0, 0, 1);  // no texture selected yet
    r.SetTexture(0);
    r.FillTriangle(0, 0, 1, 0, 0, 1);  // selected, no fill
    r.SetColorFill(true);
    r.FillTriangle(0, 0, 1, 0, 0, 1);
    r.SetColorFill(false);
    r.FillRect(0, 0, 1, 1);  // fills by itself
    EXPECT_FALSE(r.ColorFill());
    const BatchVertexList& v = Batch(r, 0, 0, 0, 0);
    ASSERT_EQ(v.size(), 5u * 3 + 6);
    EXPECT_EQ(v[0].a, 200.0f);
    EXPECT_EQ(v[0].r, 10.0f);
    EXPECT_EQ(v[5].a, 0.0f);
    EXPECT_EQ(v[10].a, 200.0f);
    EXPECT_EQ(v[15].a, 200.0f);

    r.SetTexture(5);
    r.DrawTextureRegion(0, 0, 8, 8, 0.25f, 0.5f, 0.75f, 1.0f);
    const BatchVertexList& t = Batch(r, 0, 0, 0, 1);
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[0].texture, 5);
    EXPECT_EQ(t[0].a, 0.0f);
    // Corners (x2, y1), (x1, y1), (x2, y2), (x1, y2) with their regions.
    ExpectAt(t[0], 8, 0);
    EXPECT_EQ(t[0].u, 0.75f);
    EXPECT_EQ(t[0].v, 0.5f);
    ExpectAt(t[3], 0, 8);
    EXPECT_EQ(t[3].u, 0.25f);
    EXPECT_EQ(t[3].v, 1.0f);
    EXPECT_TRUE(IsBreak(t[4]) && IsBreak(t[5]));
}

TEST(BatchRendererVertices, TranslationStackRotationAndPivot) {
    BatchRenderer r;
    r.PushTranslation(10, 20, 30);
    r.PushTranslationF(1.5f, 0.0f, 0.0f);
    EXPECT_EQ(r.TranslationDepth(), 2u);
    r.SetRotation(0.5f);
    r.SetPivot(3.0f, 4.0f);
    r.AddPoint(1, 2);
    const BatchVertex& v = Batch(r, 0, 0, 0, 0)[0];
    ExpectAt(v, 12.5f, 22.0f);
    EXPECT_NEAR(v.z, -30.2f, 1e-5f);  // every push adds 0.1; z is negated
    EXPECT_EQ(v.rotation, 0.5f);
    EXPECT_EQ(v.pivotX, 3.0f);  // the pivot is not translated
    EXPECT_EQ(v.pivotY, 4.0f);

    r.PopTranslation();
    EXPECT_FLOAT_EQ(r.Translation().x, 10.0f);
    EXPECT_FLOAT_EQ(r.Translation().z, 30.1f);
    r.PopTranslation();
    r.PopTranslation();  // empty: nothing changes
    EXPECT_EQ(r.Translation(), glm::vec3(0.0f));
    EXPECT_EQ(r.TranslationDepth(), 0u);
}

TEST(BatchRendererShapes, LinesOutlinesAndStrips) {
    BatchRenderer r;
    r.DrawLine(0, 0, 10, 0);
    const BatchVertexList& v = Batch(r, 0, 0, 0, 0);
    ASSERT_EQ(v.size(), 6u);
    ExpectAt(v[0], 10, 0);
    ExpectAt(v[1], 10, -1);
    ExpectAt(v[2], 0, 0);
    ExpectAt(v[3], 0, -1);

    // Equal ends: nothing at all, not even break vertices.
    r.DrawLine(5, 5, 5, 5);
    EXPECT_EQ(v.size(), 6u);

    r.AddPoint(0, 0);
    r.AddPoint(1, 0);
    r.AddPoint(0, 1);
    r.EndStrip();
    EXPECT_EQ(v.size(), 11u);

    // Bars 4 thick centred on the edges; thickness 5 rounds halves outward.
    BatchRenderer o;
    o.DrawRectOutline(0, 0, 100, 50, 4);
    const BatchVertexList& bars = Batch(o, 0, 0, 0, 0);
    ASSERT_EQ(bars.size(), 24u);
    ExpectAt(bars[1], -2, -2);   // top: (-2, -2)-(102, 2)
    ExpectAt(bars[9], 98, 52);   // right: (98, -2)-(102, 52)
    ExpectAt(bars[18], -2, -2);  // left: (2, -2)-(-2, 52)
    ExpectAt(bars[21], 2, 52);
    o.DrawRectOutline(0, 0, 10, 10, 5);
    ExpectAt(bars[25], -3, -3);
}

TEST(BatchRendererShapes, CircleAndSectorVertices) {
    BatchRenderer r;
    r.SetColor(90, 60, 31, 128);
    r.FillCircle(100, 50, 10);
    const BatchVertexList& v = Batch(r, 0, 0, 0, 0);
    // Centre, 32 rim/centre pairs, the closing rim point, two breaks.
    ASSERT_EQ(v.size(), 68u);
    ExpectAt(v[0], 100, 50);
    EXPECT_EQ(v[0].r, 30.0f);  // the centre is a third as bright
    EXPECT_EQ(v[0].a, 128.0f);
    ExpectAt(v[1], 110, 50);
    EXPECT_EQ(v[1].r, 90.0f);
    EXPECT_NEAR(v[3].y, 50 - 10 * std::sin(0.2f), 1e-4f);  // angles turn clockwise
    EXPECT_NEAR(v[65].x, 110.0f, 1e-4f);                   // closing rim point at 2 pi
    EXPECT_NEAR(v[65].y, 50.0f, 1e-4f);
    EXPECT_TRUE(IsBreak(v[66]) && IsBreak(v[67]));
    EXPECT_EQ(v[65].a, 128.0f);  // colour-filled while drawing
    EXPECT_FALSE(r.ColorFill());
    EXPECT_EQ(r.CurrentTexture(), 0);

    BatchRenderer s;
    s.FillSector(0, 0, 10, 0.0f, 90.0f);
    EXPECT_EQ(Batch(s, 0, 0, 0, 0).size(), 1u + 2 * 8 + 1 + 2);
    EXPECT_NEAR(Batch(s, 0, 0, 0, 0)[17].x, 0.0f, 1e-4f);
    EXPECT_NEAR(Batch(s, 0, 0, 0, 0)[17].y, -10.0f, 1e-4f);

    // Sweeps beyond one turn are one turn; angles that are not numbers draw
    // nothing.
    BatchRenderer w;
    w.FillSector(0, 0, 10, 0.0f, 7200.0f);
    EXPECT_EQ(Batch(w, 0, 0, 0, 0).size(), 68u);
    w.FillSector(0, 0, 10, 0.0f, NAN);
    w.FillSector(0, 0, 10, -INFINITY, 0.0f);
    EXPECT_EQ(Batch(w, 0, 0, 0, 0).size(), 68u);
}

TEST(BatchRendererRender, OrderOfTargetsDepthsAndBatches) {
    BatchRenderer r;
    r.SetTarget(Key(0));
    r.FillRect(0, 0, 1, 1);
    r.SetTarget(Key(1));
    r.FillRect(0, 0, 1, 1);
    r.SetTarget(nullptr);
    r.SetDepth(5);
    r.FillRect(0, 0, 1, 1);
    // Two textures at depth -5, texture 1 first.
    auto twoTextures = [&] {
        r.SetDepth(-5);
        r.SetTexture(1);
        r.DrawTexture(0, 0, 1, 1);
        r.SetTexture(2);
        r.DrawTexture(0, 0, 1, 1);
    };
    twoTextures();
    r.Render();

    // Layers 1, 2, then the screen; depths ascending; the batch used last
    // first while the batch-order flag is clear.
    EXPECT_EQ(Steps(r), "A d0t0@0+6 B d0t0@6+6 screen d-5t2@12+6 d-5t1@18+6 d5t0@24+6");
    EXPECT_EQ(r.LastDrawCalls(), 5);
    EXPECT_EQ(r.Uploaded().size(), 30u);
    // Everything is forgotten but the tree; the screen is selected again.
    EXPECT_EQ(Recorded(r), 0u);
    EXPECT_EQ(r.TargetIndex(), 0u);
    EXPECT_EQ(r.Layers()[0].depths.size(), 3u);

    // With the flag set, batches draw in the order of first use.
    r.SetReverseOrder(true);
    twoTextures();
    r.Render();
    EXPECT_EQ(Steps(r), "A B screen d-5t1@0+6 d-5t2@6+6");
}

TEST(BatchRendererRender, BreakVerticesJoinShapesWithDegenerateTriangles) {
    BatchRenderer r;
    r.EndStrip();  // a batch that starts with a break pair
    r.FillTriangle(1, 1, 2, 1, 1, 2);
    r.FillTriangle(5, 5, 6, 5, 5, 6);
    r.SetTexture(3);  // drawn before the untextured batch
    r.SetColorFill(true);
    r.FillTriangle(7, 7, 8, 7, 7, 8);
    r.Render();

    const BatchVertexList& u = r.Uploaded();
    ASSERT_EQ(u.size(), 5u + 2 + 5 + 5);
    // Textured batch first: its closing pair repeats its last vertex.
    ExpectAt(u[2], 7, 8);
    ExpectAt(u[3], 7, 8);
    ExpectAt(u[4], 7, 8);
    // The untextured batch opens with a break pair: the last real vertex
    // so far (from the batch before), then its first shape's first vertex.
    ExpectAt(u[5], 7, 8);
    ExpectAt(u[6], 1, 1);
    ExpectAt(u[9], 1, 2);   // last of the first triangle ...
    ExpectAt(u[10], 1, 2);  // ... repeated ...
    ExpectAt(u[11], 5, 5);  // ... then the next triangle's first
    ExpectAt(u[12], 5, 5);
    for (const BatchVertex& v : u) EXPECT_FALSE(IsBreak(v));

    // At the start of each frame the remembered vertex is all zero.
    r.EndStrip();
    r.AddPoint(4, 4);
    r.Render();
    ExpectAt(r.Uploaded()[0], 0, 0);
    EXPECT_EQ(r.Uploaded()[0].a, 0.0f);
    ExpectAt(r.Uploaded()[1], 4, 4);
}

TEST(BatchRendererRender, DrawCallbacksRunOnceAndTheirGroupsNeitherShiftNorGrow) {
    BatchRenderer r;
    int calls = 0;
    Effect* seen = reinterpret_cast<Effect*>(&calls);
    for (int frame = 0; frame < 3; ++frame) {
        r.SetDepth(2);
        if (frame == 0) {
            r.SetDrawCallback([&](Effect* e) {
                ++calls;
                seen = e;
                r.Render();  // a nested render does nothing
                // A callback may set the next frame's callback.
                r.SetDepth(2);
                r.SetDrawCallback([&](Effect*) { calls += 10; });
            });
        }
        r.FillRect(0, 0, 10, 10);  // recorded into the callback's group
        r.SetDepth(3);
        r.FillRect(20, 20, 30, 30);
        r.Render();
        SCOPED_TRACE(frame);
        // The callback's group is not uploaded: the later batch starts the
        // buffer; and nothing stays behind.
        if (frame < 2) {
            EXPECT_EQ(Steps(r), "screen cb2 d3t0@0+6");
            ExpectAt(r.Uploaded()[1], 20, 20);
        }
        EXPECT_EQ(Recorded(r), 0u);
    }
    EXPECT_EQ(calls, 11);
    EXPECT_EQ(seen, nullptr);  // the renderer's own group has no effect
    EXPECT_EQ(Steps(r), "screen d2t0@0+6 d3t0@6+6");
}

namespace {

GlyphMetrics fakeGlyphs[256];
int fakeLoads = 0;

bool FindFakeFont(int index, FontFace& out) {
    if (index != 3) return false;
    out.texture = 42;
    out.textureWidth = 16;
    out.textureHeight = 32;
    out.size = 8.0f;
    out.scale = 1.0f;
    out.glyphs = fakeGlyphs;
    return true;
}

int LoadFakeFont(const char* name, int size) {
    ++fakeLoads;
    return std::string(name) == "Consola" && size == 8 ? 3 : -1;
}

class FakeFont : public ::testing::Test {
protected:
    void SetUp() override {
        fakeGlyphs[int('A')] = {10.0f, 0.0f, 8.0f, 12.0f, 1.0f, 11.0f, 0.0f, 0.0f};
        fakeGlyphs[int(' ')] = {5.9f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f};
        fakeGlyphs[0xE9] = {7.0f, 0.0f, 4.0f, 4.0f, 0.0f, 4.0f, 0.5f, 0.0f};
        SetFontProvider({FindFakeFont, LoadFakeFont});
    }
    void TearDown() override { SetFontProvider({}); }
};

}  // namespace

TEST_F(FakeFont, TextLaysOutGlyphsBelowTheGivenPoint) {
    BatchRenderer r;
    r.SetColor(1, 2, 3, 4);
    r.DrawText(0, 0, "A");  // no font selected
    r.SetFont(7);           // no such font
    r.DrawText(0, 0, "A");
    r.SetFont(3);
    r.DrawText(0, 0, "");
    r.DrawText(0, 0, nullptr);
    EXPECT_EQ(r.Layers()[0].depths[0].groups[0].batches.size(), 1u);

    r.DrawText(100, 200, "A \xE9");
    const BatchVertexList& v = Batch(r, 0, 0, 0, 1);
    ASSERT_EQ(v.size(), 12u);  // the space has no bitmap: it only advances
    EXPECT_EQ(v[0].texture, 42);
    EXPECT_EQ(v[0].a, 4.0f);  // colour-filled
    // Top = y - bitmap top + size; v runs 0 .. height / texture height.
    ExpectAt(v[0], 109, 197);
    EXPECT_EQ(v[0].u, 0.5f);
    EXPECT_EQ(v[0].v, 0.0f);
    ExpectAt(v[3], 101, 209);
    EXPECT_EQ(v[3].v, 0.375f);
    // Advances are truncated: 100 + 10 + 5.
    ExpectAt(v[7], 115, 204);
    EXPECT_EQ(r.CurrentTexture(), 0);
    EXPECT_FALSE(r.ColorFill());

    // With y up the glyph rises from the baseline (8): its bitmap top (11)
    // lies above it and the glyph spans 12 rows down to 7; the bottom row of
    // the bitmap lands at the lower edge.
    r.SetTextFlipped(true);
    r.DrawText(0, 0, "A");
    ExpectAt(v[12], 9, 7);
    EXPECT_EQ(v[12].v, 0.375f);
    ExpectAt(v[15], 1, 19);
    EXPECT_EQ(v[15].v, 0.0f);
}

class LuaDrawing : public LuaFixture {
protected:
    void SetUp() override {
        LuaFixture::SetUp();
        lua_register(L, "DrawBox", LuaDrawBox);
        lua_register(L, "DrawLine", LuaDrawLine);
        lua_register(L, "DrawText", LuaDrawText);
        CurrentRenderer = &renderer;
    }
    void TearDown() override {
        CurrentRenderer = nullptr;
        SetFontProvider({});
        LuaFixture::TearDown();
    }
    const BatchVertexList& DepthBatch(int depth, std::size_t batch) {
        for (const DepthLayer& d : renderer.Layers()[0].depths) {
            if (d.depth == depth) return d.groups[0].batches[batch].vertices;
        }
        ADD_FAILURE() << "no depth " << depth;
        return renderer.Receiving();
    }
    BatchRenderer renderer;
};

TEST_F(LuaDrawing, DrawBoxIsCentredAtDepth100) {
    EXPECT_EQ(Run("DrawBox(100, 50, 5, 4, 300, 2, 3)"), "");
    const BatchVertexList& v = DepthBatch(100, 0);
    ASSERT_EQ(v.size(), 6u);
    ExpectAt(v[0], 102, 48);
    ExpectAt(v[3], 98, 52);
    EXPECT_EQ(v[0].r, 44.0f);  // low byte of 300
    EXPECT_EQ(v[0].a, 255.0f);
    EXPECT_NEAR(v[0].z, -90.1f, 1e-4f);
    EXPECT_EQ(renderer.TranslationDepth(), 0u);
    EXPECT_EQ(renderer.Layers()[0].depths[renderer.DepthIndex()].depth, 100);  // not restored

    // Wrong types read as 0; extreme numbers stay in range.
    EXPECT_EQ(Run("DrawBox('x', 'y', 10, 10, 'red') DrawBox(2^40, -2^40, 2^40, 1, 1, 1, 1)"), "");
    ASSERT_EQ(v.size(), 18u);
    ExpectAt(v[6], 5, -5);
    EXPECT_EQ(v[6].r, 0.0f);
    EXPECT_TRUE(std::isfinite(v[12].x));

    // Without a renderer nothing happens.
    CurrentRenderer = nullptr;
    EXPECT_EQ(Run("DrawBox(1, 2, 3, 4, 5, 6, 7) DrawLine(1, 2, 3, 4) DrawText(1, 2, 'x')"), "");
    EXPECT_EQ(Recorded(renderer), 18u);
}

TEST_F(LuaDrawing, DrawLineFillsItsOwnColourWhateverTheLastDrawerLeft) {
    renderer.SetTexture(9);  // a textured drawer left its state behind
    renderer.SetColorFill(false);
    EXPECT_EQ(Run("DrawLine(0, 0, 10, 0, 255, 0, 0) DrawLine(3, 3, 3, 3, 1, 1, 1)"), "");
    const BatchVertexList& v = DepthBatch(100, 0);
    ASSERT_EQ(v.size(), 6u);  // the zero-length line draws nothing
    EXPECT_EQ(v[0].texture, 0);
    EXPECT_EQ(v[0].a, 255.0f);
    EXPECT_EQ(v[0].r, 255.0f);
    EXPECT_NEAR(v[0].z, -10.1f, 1e-4f);
    EXPECT_FALSE(renderer.ColorFill());
    EXPECT_EQ(renderer.TranslationDepth(), 0u);
}

TEST_F(LuaDrawing, DrawTextLoadsItsFontOnceAndDrawsBlue) {
    fakeGlyphs[int('A')] = {10.0f, 0.0f, 8.0f, 12.0f, 1.0f, 11.0f, 0.0f, 0.0f};
    fakeLoads = 0;
    SetFontProvider({FindFakeFont, LoadFakeFont});
    EXPECT_EQ(Run("DrawText(1, 2, 'A') DrawText(1, 2, 'A') DrawText(1, 2, {})"), "");
    EXPECT_EQ(fakeLoads, 1);
    const BatchVertexList& v = Batch(renderer, 0, 0, 0, 1);
    ASSERT_EQ(v.size(), 12u);
    EXPECT_EQ(v[0].b, 255.0f);
    EXPECT_EQ(v[0].r, 0.0f);
    EXPECT_EQ(renderer.Font(), 3);
    FontRegistry::Clear();  // the index may name another font now: loaded anew, once
    EXPECT_EQ(Run("DrawText(1, 2, 'A') DrawText(1, 2, 'A')"), "");
    EXPECT_EQ(fakeLoads, 2);
}
