#include "Graphics/ImageFile.h"

#include <cstdlib>

namespace {

// Whatever a header claims, no block the decoder asks for is larger than
// the largest image's pixels as floats (the HDR decoder's intermediate); a
// refused block is a decoding error, not an abort.
constexpr std::size_t kMaxBlock = std::size_t(ImageFile::kMaxPixels) * 4 * sizeof(float);

void* FencedMalloc(std::size_t bytes) {
    return bytes <= kMaxBlock ? std::malloc(bytes) : nullptr;
}

void* FencedRealloc(void* block, std::size_t bytes) {
    return bytes <= kMaxBlock ? std::realloc(block, bytes) : nullptr;
}

}  // namespace

// stb_image, compiled here with every function static: the screenshot
// library (SOIL, still linked for its writer) exports a 2008 copy of this
// decoder under the same function names, so Debian's compiled libstb would
// clash with it. Built here, the decoder is also instrumented by the
// sanitizer and fuzzing builds. GIF, PIC and PNM never loaded in the game;
// they stay out.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_FAILURE_USERMSG
#define STBI_NO_GIF
#define STBI_NO_PIC
#define STBI_NO_PNM
#define STBI_MALLOC(bytes) FencedMalloc(bytes)
#define STBI_REALLOC(block, bytes) FencedRealloc(block, bytes)
#define STBI_FREE(block) std::free(block)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace ImageFile {

void FreePixels::operator()(unsigned char* pixels) const {
    stbi_image_free(pixels);
}

namespace {

std::string SizeText(long long width, long long height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// The header's size against the limits. A negative height is a BMP stored
// top row first; the decoder judges signs, this only sizes.
bool SizeFits(int width, int height, int maxSide, std::string& why) {
    const long long w = std::llabs(width);
    const long long h = std::llabs(height);
    if (w == 0 || h == 0) {
        why = "its header gives a size of " + SizeText(width, height);
        return false;
    }
    if (w > maxSide || h > maxSide) {
        why = "it is " + SizeText(w, h) + ", more than the largest texture side here, " +
              std::to_string(maxSide);
        return false;
    }
    if (w * h > kMaxPixels) {
        why = "it is " + SizeText(w, h) + ", more than the " + std::to_string(kMaxPixels) +
              " pixels an image may have";
        return false;
    }
    return true;
}

}  // namespace

bool Decode(std::FILE* file, int maxSide, Pixels& out, std::string& why) {
    out = Pixels();
    int width = 0;
    int height = 0;
    int channels = 0;
    if (!stbi_info_from_file(file, &width, &height, &channels)) {
        why = stbi_failure_reason();
        return false;
    }
    if (!SizeFits(width, height, maxSide, why)) return false;

    stbi_set_flip_vertically_on_load(1);
    unsigned char* pixels = stbi_load_from_file(file, &out.width, &out.height, &out.channels, 0);
    if (!pixels) {
        why = stbi_failure_reason();
        return false;
    }
    out.data.reset(pixels);
    if (out.width != std::abs(width) || out.height != std::abs(height) || out.channels < 1 ||
        out.channels > 4) {
        why = "its pixels do not match its header";
        out = Pixels();
        return false;
    }
    return true;
}

}  // namespace ImageFile
