// Image files decoded into 8-bit pixels for textures: PNG (libpng), JPEG
// (libjpeg-turbo), BMP and TGA (stb_image). The size in the file's header
// is checked before any pixel memory is taken.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace ImageFile {

// The most pixels one image may have, whatever the GL allows per side:
// 8192 x 8192 (256 MiB at four channels, as much again in the driver).
constexpr long long kMaxPixels = 8192LL * 8192LL;

struct FreePixels {
    void operator()(unsigned char* pixels) const;
};

// Decoded rows run from the bottom of the picture up, as GL takes them.
// channels: 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA.
struct Pixels {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::unique_ptr<unsigned char, FreePixels> data;
};

// Decodes the image `file` holds (from its start). An image wider
// or taller than `maxSide`, or with more than kMaxPixels pixels, is refused
// from its header. On failure returns false with the cause in `why`.
bool Decode(std::FILE* file, int maxSide, Pixels& out, std::string& why);

}  // namespace ImageFile
