// The tile-layer decoder: base64 text of zlib data into a layer of tile ids.
// The first two bytes give the layer's size in tiles, the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "World/TmxReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    int columns = data[0] % 65;
    int rows = data[1] % 65;
    std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::vector<uint32_t> ids;
    Tmx::LayerData result = Tmx::DecodeLayerData(text.c_str(), columns, rows, ids);
    // Whatever the text, the layer never holds more ids than it has cells.
    if (result != Tmx::LayerData::Bad && ids.size() > std::size_t(columns) * std::size_t(rows)) {
        std::abort();
    }
    return 0;
}
