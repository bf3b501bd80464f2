#include "support/TestData.h"

#include <zlib.h>

extern "C" {
#include <b64/cencode.h>
}

namespace TestSupport {

namespace {

void Put32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char(value >> shift));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    std::string body = std::string(type, 4) + data;
    Put32(out, uint32_t(data.size()));
    out += body;
    Put32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

}  // namespace

std::string Deflate(const std::string& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()));
    packed.resize(size);
    return packed;
}

std::string MakePng(int width, int height, const std::vector<std::vector<uint8_t>>& pixels) {
    std::string raw;
    for (int row = 0; row < height; ++row) {
        raw.push_back('\0');  // no filter
        for (int col = 0; col < width; ++col) {
            for (uint8_t byte : pixels[size_t(row * width + col)]) raw.push_back(char(byte));
        }
    }
    std::string header;
    Put32(header, uint32_t(width));
    Put32(header, uint32_t(height));
    header += {8, char(pixels[0].size() == 4 ? 6 : 2), 0, 0, 0};
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", Deflate(raw));
    PutChunk(png, "IEND", "");
    return png;
}

std::string Base64(const std::string& bytes) {
    std::string out(bytes.size() * 2 + 8, '\0');
    base64_encodestate state;
    base64_init_encodestate(&state);
    int n = base64_encode_block(bytes.data(), int(bytes.size()), out.data(), &state);
    n += base64_encode_blockend(out.data() + n, &state);
    out.resize(size_t(n));
    return out;
}

std::string TileLayerData(const std::vector<uint32_t>& ids) {
    std::string raw;
    for (uint32_t id : ids) {
        for (int shift = 0; shift < 32; shift += 8) raw.push_back(char(id >> shift));
    }
    return Base64(Deflate(raw));
}

}  // namespace TestSupport
