// Packing images into atlas pages and the regions handed out, without GL.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "Graphics/TextureAtlas.h"

namespace {

void ExpectNode(const AtlasNode& node, int x, int y, int w, int h) {
    EXPECT_EQ(node.x, x);
    EXPECT_EQ(node.y, y);
    EXPECT_EQ(node.w, w);
    EXPECT_EQ(node.h, h);
}

// A layout whose pages are made on request, counting the requests.
struct CountingPages {
    int side;
    int made = 0;
    std::function<int()> Maker() {
        return [this] {
            ++made;
            return side;
        };
    }
};

}  // namespace

TEST(AtlasPacker, SplitsLeavesIntoStripsAndFillsThemLeftToRight) {
    AtlasPacker packer(1024);
    int first = packer.Insert(100, 50);
    ASSERT_GE(first, 0);
    const AtlasNode& root = packer.Node(0);
    ASSERT_GE(root.childA, 0);
    // The height has more to spare than the width: a full-width strip on top.
    ExpectNode(packer.Node(root.childA), 0, 0, 1024, 50);
    ExpectNode(packer.Node(root.childB), 0, 50, 1024, 974);
    const AtlasNode& strip = packer.Node(root.childA);
    ExpectNode(packer.Node(strip.childA), 0, 0, 100, 50);
    ExpectNode(packer.Node(strip.childB), 100, 0, 924, 50);
    EXPECT_EQ(first, strip.childA);
    EXPECT_TRUE(packer.Node(first).used);

    int second = packer.Insert(100, 50);
    ASSERT_GE(second, 0);
    ExpectNode(packer.Node(second), 100, 0, 100, 50);
}

TEST(AtlasPacker, TiesMakeATopStripAndWideSpareMakesALeftStrip) {
    AtlasPacker tie(100);
    ASSERT_GE(tie.Insert(50, 50), 0);
    ExpectNode(tie.Node(tie.Node(0).childA), 0, 0, 100, 50);
    ExpectNode(tie.Node(tie.Node(0).childB), 0, 50, 100, 50);

    AtlasPacker tall(100);
    ASSERT_GE(tall.Insert(20, 90), 0);
    ExpectNode(tall.Node(tall.Node(0).childA), 0, 0, 20, 100);
    ExpectNode(tall.Node(tall.Node(0).childB), 20, 0, 80, 100);
}

TEST(AtlasPacker, RefusesWhatDoesNotFitAndEmptySizes) {
    AtlasPacker packer(64);
    EXPECT_EQ(packer.Insert(65, 1), -1);
    EXPECT_EQ(packer.Insert(0, 10), -1);
    EXPECT_EQ(packer.Insert(10, -3), -1);
    EXPECT_EQ(packer.NodeCount(), 1);
    EXPECT_EQ(packer.Insert(64, 64), 0);  // an exact fit takes the root itself
    EXPECT_EQ(packer.Insert(1, 1), -1);
}

TEST(AtlasPacker, FillsAPageWithTilesWithoutOverlap) {
    // 1024 tiles of 8 x 8 fill a 256 page exactly; each lands on its own
    // cell, and the page then has no room left.
    AtlasPacker packer(256);
    std::set<std::pair<int, int>> cells;
    for (int i = 0; i < 1024; ++i) {
        int index = packer.Insert(8, 8);
        ASSERT_GE(index, 0) << "tile " << i;
        const AtlasNode& node = packer.Node(index);
        ASSERT_EQ(node.x % 8, 0);
        ASSERT_EQ(node.y % 8, 0);
        ASSERT_LE(node.x + 8, 256);
        ASSERT_LE(node.y + 8, 256);
        ASSERT_TRUE(cells.insert({node.x, node.y}).second) << node.x << "," << node.y;
    }
    EXPECT_EQ(packer.Insert(1, 1), -1);
}

TEST(AtlasLayout, LargeImagesStayOutOfThePages) {
    CountingPages pages{1024};
    AtlasLayout layout;
    AtlasSpot wide = layout.Place(1025, 10, pages.Maker());
    EXPECT_FALSE(wide.inPage);
    AtlasSpot tall = layout.Place(10, 2000, pages.Maker());
    EXPECT_FALSE(tall.inPage);
    // The first page was made to compare against, and nothing entered it.
    EXPECT_EQ(pages.made, 1);
    ASSERT_EQ(layout.PageCount(), 1);
    EXPECT_EQ(layout.Page(0).NodeCount(), 1);
    EXPECT_FALSE(layout.Page(0).Node(0).used);

    AtlasSpot none = layout.Place(0, 0, pages.Maker());
    EXPECT_FALSE(none.inPage);
    EXPECT_EQ(layout.Page(0).NodeCount(), 1);
}

TEST(AtlasLayout, AFullPageGetsASuccessor) {
    CountingPages pages{64};
    AtlasLayout layout;
    AtlasSpot first = layout.Place(64, 40, pages.Maker());
    ASSERT_TRUE(first.inPage);
    EXPECT_EQ(first.page, 0);
    AtlasSpot second = layout.Place(32, 32, pages.Maker());
    ASSERT_TRUE(second.inPage);
    EXPECT_EQ(second.page, 1);
    EXPECT_EQ(second.x, 0);
    EXPECT_EQ(second.y, 0);
    EXPECT_EQ(pages.made, 2);
    // Only the last page receives images, even when an earlier one has room.
    AtlasSpot third = layout.Place(8, 8, pages.Maker());
    ASSERT_TRUE(third.inPage);
    EXPECT_EQ(third.page, 1);
    EXPECT_EQ(pages.made, 2);
}

TEST(AtlasLayout, PagesThatCannotHoldAnythingEndTheSearch) {
    // A page of side 0 (no GL limit known) holds nothing: the image keeps
    // its own texture and no further pages are made.
    CountingPages pages{0};
    AtlasLayout layout;
    EXPECT_FALSE(layout.Place(4, 4, pages.Maker()).inPage);
    EXPECT_EQ(pages.made, 1);
    // Without a page maker a full layout answers "nowhere".
    AtlasLayout empty;
    EXPECT_FALSE(empty.Place(4, 4, nullptr).inPage);
    EXPECT_EQ(empty.PageCount(), 0);
}

TEST(AtlasRegion, StartsAQuarterTexelInAndEndsAtTheFarEdges) {
    TextureInfo corner = AtlasRegion(0, 0, 64, 32, 4096, 7);
    EXPECT_EQ(corner.width, 64);
    EXPECT_EQ(corner.height, 32);
    EXPECT_EQ(corner.texture, 7u);
    EXPECT_FALSE(corner.owns);
    EXPECT_FLOAT_EQ(corner.u, 0.25f / 4096);
    EXPECT_FLOAT_EQ(corner.v, (4096 - 32 + 0.25f) / 4096);
    EXPECT_FLOAT_EQ(corner.du, 63.75f / 4096);
    EXPECT_FLOAT_EQ(corner.dv, 31.75f / 4096);

    TextureInfo inner = AtlasRegion(100, 50, 100, 50, 1024, 3);
    EXPECT_FLOAT_EQ(inner.u + inner.du, 200.0f / 1024);
    EXPECT_FLOAT_EQ(inner.v + inner.dv, (1024.0f - 50) / 1024);
    EXPECT_FLOAT_EQ(inner.v, (1024.0f - 100 + 0.25f) / 1024);
}
