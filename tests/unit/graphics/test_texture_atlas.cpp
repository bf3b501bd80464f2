// Packing images into atlas pages and the regions handed out, without GL.
#include <gtest/gtest.h>

#include "Graphics/TextureAtlas.h"

namespace {

void ExpectNode(const AtlasNode& node, int x, int y, int w, int h) {
    EXPECT_EQ(node.x, x);
    EXPECT_EQ(node.y, y);
    EXPECT_EQ(node.w, w);
    EXPECT_EQ(node.h, h);
}

}  // namespace

TEST(AtlasPacker, SplitsLeavesIntoStripsAndFillsThemInOrder) {
    AtlasPacker packer(1024);
    int first = packer.Insert(100, 50);
    const AtlasNode& root = packer.Node(0);
    // More height than width to spare: a full-width strip on top.
    ExpectNode(packer.Node(root.childA), 0, 0, 1024, 50);
    ExpectNode(packer.Node(root.childB), 0, 50, 1024, 974);
    const AtlasNode& strip = packer.Node(root.childA);
    ExpectNode(packer.Node(strip.childA), 0, 0, 100, 50);
    ExpectNode(packer.Node(strip.childB), 100, 0, 924, 50);
    EXPECT_EQ(first, strip.childA);
    ExpectNode(packer.Node(packer.Insert(100, 50)), 100, 0, 100, 50);

    // A tie also makes a top strip; more width to spare, a left strip.
    AtlasPacker tie(100);
    tie.Insert(50, 50);
    ExpectNode(tie.Node(tie.Node(0).childB), 0, 50, 100, 50);
    AtlasPacker tall(100);
    tall.Insert(20, 90);
    ExpectNode(tall.Node(tall.Node(0).childA), 0, 0, 20, 100);
    ExpectNode(tall.Node(tall.Node(0).childB), 20, 0, 80, 100);

    // Nothing too large and nothing without area; an exact fit fills.
    AtlasPacker small(64);
    EXPECT_EQ(small.Insert(65, 1), -1);
    EXPECT_EQ(small.Insert(0, 10), -1);
    EXPECT_EQ(small.NodeCount(), 1);
    EXPECT_EQ(small.Insert(64, 64), 0);
    EXPECT_EQ(small.Insert(1, 1), -1);
}

TEST(AtlasLayout, LargeImagesStayOutAndFullPagesGetASuccessor) {
    int made = 0;
    int side = 64;
    auto makePage = [&] {
        ++made;
        return side;
    };
    AtlasLayout layout;
    EXPECT_FALSE(layout.Place(65, 10, makePage).inPage);
    EXPECT_FALSE(layout.Place(0, 0, makePage).inPage);
    EXPECT_EQ(made, 1);  // made to compare against; nothing entered it
    EXPECT_FALSE(layout.Page(0).Node(0).used);

    AtlasSpot first = layout.Place(64, 40, makePage);
    EXPECT_TRUE(first.inPage);
    EXPECT_EQ(first.page, 0);
    AtlasSpot second = layout.Place(32, 32, makePage);
    EXPECT_TRUE(second.inPage);
    EXPECT_EQ(second.page, 1);
    EXPECT_EQ(second.x + second.y, 0);
    // Only the last page receives images, even when an earlier one has room.
    EXPECT_EQ(layout.Place(8, 8, makePage).page, 1);
    EXPECT_EQ(made, 2);

    // A page that holds nothing (no size limit known) ends the search.
    AtlasLayout none;
    side = 0;
    EXPECT_FALSE(none.Place(4, 4, makePage).inPage);
    EXPECT_EQ(made, 3);
}

TEST(AtlasRegion, StartsAQuarterTexelInAndEndsAtTheFarEdges) {
    TextureInfo corner = AtlasRegion(0, 0, 64, 32, 4096, 7);
    EXPECT_EQ(corner.texture, 7u);
    EXPECT_EQ(corner.width, 64);
    EXPECT_FLOAT_EQ(corner.u, 0.25f / 4096);
    EXPECT_FLOAT_EQ(corner.v, (4096 - 32 + 0.25f) / 4096);
    EXPECT_FLOAT_EQ(corner.du, 63.75f / 4096);
    EXPECT_FLOAT_EQ(corner.dv, 31.75f / 4096);
    TextureInfo inner = AtlasRegion(100, 50, 100, 50, 1024, 3);
    EXPECT_FLOAT_EQ(inner.u + inner.du, 200.0f / 1024);
    EXPECT_FLOAT_EQ(inner.v + inner.dv, (1024.0f - 50) / 1024);
}
