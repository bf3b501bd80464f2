// Data files that tests write: images and packed tile layers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace TestSupport {

// zlib-packed bytes.
std::string Deflate(const std::string& raw);
// A PNG of pixels given row by row from the top, each of 3 (RGB) or 4
// (RGBA) bytes; interlaced (Adam7) when asked.
std::string MakePng(int width, int height, const std::vector<std::vector<uint8_t>>& pixels,
                    bool interlaced = false);
// The data text of a TMX tile layer holding these ids: base64 of the
// zlib-packed little-endian ids.
std::string TileLayerData(const std::vector<uint32_t>& ids);
// Base64 of bytes.
std::string Base64(const std::string& bytes);

}  // namespace TestSupport
