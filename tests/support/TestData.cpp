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

std::string MakePng(int width, int height, const std::vector<std::vector<uint8_t>>& pixels,
                    bool interlaced) {
    // Passes as (first column, first row, column step, row step): the whole
    // picture, or Adam7's seven.
    static const int kPasses[8][4] = {{0, 0, 1, 1}, {0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8},
                                      {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::string raw;
    for (int p = interlaced ? 1 : 0; p < (interlaced ? 8 : 1); ++p) {
        const int* pass = kPasses[p];
        for (int row = pass[1]; row < height && pass[0] < width; row += pass[3]) {
            raw.push_back('\0');  // no filter
            for (int col = pass[0]; col < width; col += pass[2]) {
                for (uint8_t byte : pixels[size_t(row * width + col)]) raw.push_back(char(byte));
            }
        }
    }
    std::string header;
    Put32(header, uint32_t(width));
    Put32(header, uint32_t(height));
    header += {8, char(pixels[0].size() == 4 ? 6 : 2), 0, 0, char(interlaced)};
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, "IHDR", header);
    // In IDAT chunks of 256 bytes, as encoders split the data (libpng's at
    // 8 KiB): a decoder then reads from the file within every row of a large
    // picture, the last one too, whatever its own buffer holds.
    const std::string data = Deflate(raw);
    for (size_t at = 0; at < data.size(); at += 256) PutChunk(png, "IDAT", data.substr(at, 256));
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
