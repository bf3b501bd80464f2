// The texture atlas: images requested by file name are loaded once, copied
// into large square page textures next to each other and handed out as a
// region of their page, so that many images share one texture.
#pragma once

#include <functional>

#include "Graphics/TextureInfo.h"
#include "System/Source/PoolAllocator.h"

// ---- Packing (no GL) ----

// One node of a page's packing tree. Coordinates count from the page's
// top-left corner, y downward.
struct AtlasNode {
    int childA = -1;  // index of child A in the tree; -1 in a leaf
    int childB = -1;
    bool used = false;
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
};

// The binary packing tree of one page; node 0 is the root.
class AtlasPacker {
public:
    explicit AtlasPacker(int side);

    int Side() const { return side_; }
    // Finds a place for a w x h rectangle, splitting leaves as it goes; the
    // index of the node that receives it, or -1 when there is no room.
    int Insert(int w, int h);
    const AtlasNode& Node(int index) const { return nodes_[static_cast<size_t>(index)]; }
    int NodeCount() const { return static_cast<int>(nodes_.size()); }

private:
    int side_;
    System::Vector<AtlasNode> nodes_;
};

// Where an image of a given size goes.
struct AtlasSpot {
    bool inPage = false;  // false: the image keeps a texture of its own
    int page = -1;
    int x = 0;
    int y = 0;
};

// The packing trees of all pages; the last page receives new images.
class AtlasLayout {
public:
    // Places a w x h image: in the last page when it fits there; in a new
    // page (made by `makePage`, which returns the new page's side) when the
    // last page is full or there is none; nowhere when it is larger than
    // the page side or has no area.
    AtlasSpot Place(int w, int h, const std::function<int()>& makePage);

    int PageCount() const { return static_cast<int>(pages_.size()); }
    const AtlasPacker& Page(int index) const { return pages_[static_cast<size_t>(index)]; }
    void AddPage(int side) { pages_.emplace_back(side); }

private:
    System::Vector<AtlasPacker> pages_;
};

// The record of a w x h image placed at (x, y) of a page of side `side`
// whose texture is `texture`. The region starts a quarter texel inside the
// image's first corner and ends at its far edges; v counts from the page's
// bottom edge.
TextureInfo AtlasRegion(int x, int y, int w, int h, int side, unsigned texture);

// ---- The atlas ----

class TextureAtlas : public System::PoolObject {
public:
    // Pages take half the largest texture side GL allows, but no more than
    // `pageSideCap` (a page of 8192 x 8192 would take 256 MiB).
    static constexpr int kDefaultPageSideCap = 4096;

    explicit TextureAtlas(int pageSideCap = kDefaultPageSideCap);
    ~TextureAtlas();
    TextureAtlas(const TextureAtlas&) = delete;
    TextureAtlas& operator=(const TextureAtlas&) = delete;

    // The record of an image file (never owning). The file is loaded on the
    // first request; an image larger than a page keeps its own texture; a
    // file that cannot be loaded gives the default record.
    TextureInfo GetImage(const char* fileName);

    int PageCount() const { return static_cast<int>(pages_.size()); }
    unsigned PageTexture(int index) const { return pages_[static_cast<size_t>(index)].texture; }
    int PageSide(int index) const { return pages_[static_cast<size_t>(index)].side; }

private:
    struct Page {
        int side = 0;
        unsigned texture = 0;
        unsigned framebuffer = 0;  // 0 when the page cannot be drawn into
    };

    int MakePage();
    TextureInfo Pack(const char* fileName);
    void CopyIntoPage(const Page& page, unsigned image, int x, int y);

    int pageSideCap_;
    System::Map<System::String, TextureInfo, std::less<>> images_;
    System::Vector<Page> pages_;
    AtlasLayout layout_;
    // Textures of images that kept their own; deleted with the atlas.
    System::Vector<unsigned> ownTextures_;
};

// The one atlas of the game: made by the graphics start-up, deleted at
// shutdown.
extern TextureAtlas* GlobalTextureAtlas;
