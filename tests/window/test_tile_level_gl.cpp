// A TMX level played by the real executable: its tiles, and the objects of
// its object group, land on the screen where the map puts them.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/GameProcess.h"
#include "support/TestSupport.h"

extern "C" {
#include <b64/cencode.h>
}

namespace {

namespace fs = std::filesystem;

struct Rgba {
    uint8_t r, g, b, a;
};

std::string Deflate(const std::string& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()));
    out.resize(size);
    return out;
}

void Put32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char(value >> shift));
}

// An RGBA PNG whose pixel (x, y), y from the top, is colorAt(x, y).
template <class ColorAt>
std::string Png(int side, ColorAt colorAt) {
    std::string raw;
    for (int y = 0; y < side; ++y) {
        raw.push_back('\0');
        for (int x = 0; x < side; ++x) {
            Rgba c = colorAt(x, y);
            raw += {char(c.r), char(c.g), char(c.b), char(c.a)};
        }
    }
    std::string header;
    Put32(header, uint32_t(side));
    Put32(header, uint32_t(side));
    header += {8, 6, 0, 0, 0};  // 8 bits, RGBA, no interlace
    std::string png = "\x89PNG\r\n\x1a\n";
    for (const auto& [type, data] : {std::pair<std::string, std::string>{"IHDR", header},
                                     {"IDAT", Deflate(raw)},
                                     {"IEND", ""}}) {
        std::string chunk = type + data;
        Put32(png, uint32_t(data.size()));
        png += chunk;
        Put32(png,
              uint32_t(crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), uInt(chunk.size()))));
    }
    return png;
}

// The data text of a tile layer: base64 of the zlib-packed little-endian ids.
std::string LayerData(const std::vector<uint32_t>& ids) {
    std::string raw;
    for (uint32_t id : ids) raw += {char(id), char(id >> 8), char(id >> 16), char(id >> 24)};
    std::string packed = Deflate(raw);
    std::string text(packed.size() * 2 + 8, '\0');
    base64_encodestate state;
    base64_init_encodestate(&state);
    int n = base64_encode_block(packed.data(), int(packed.size()), text.data(), &state);
    n += base64_encode_blockend(text.data() + n, &state);
    text.resize(size_t(n));
    return text;
}

// The first level: a 4 x 3 layer of 32-pixel tiles from a 2 x 2 tileset
// (red, green / blue, white from the top), a magenta box over one tile and a
// textured object; its per-frame script runs OnLevelUpdate.
void WriteLevel(const TestSupport::TempDir& dir) {
    dir.Write("Resources/Levels/tiles.png", Png(64, [](int x, int y) {
                  if (y < 32) return x < 32 ? Rgba{255, 0, 0, 255} : Rgba{0, 255, 0, 255};
                  return x < 32 ? Rgba{0, 0, 255, 255} : Rgba{255, 255, 255, 255};
              }));
    dir.Write("Resources/Levels/yellow.png", Png(8, [](int, int) {
                  return Rgba{255, 255, 0, 255};
              }));
    const std::vector<uint32_t> ids = {1,           0, 0, 2,  // row 0
                                       0,           3, 0, 0,  // row 1
                                       0x80000004u, 0, 0, 0};
    dir.Write("Resources/Levels/00_Menu_Splash.tmx",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<map version=\"1.0\" orientation=\"orthogonal\" width=\"4\" height=\"3\" "
              "tilewidth=\"32\" tileheight=\"32\">\n"
              " <properties><property name=\"Update\" value=\"Test/Update.lua\"/></properties>\n"
              " <tileset firstgid=\"1\" name=\"t\" tilewidth=\"32\" tileheight=\"32\">\n"
              "  <image source=\"tiles.png\" width=\"64\" height=\"64\"/>\n"
              " </tileset>\n"
              " <layer name=\"ground\" width=\"4\" height=\"3\">\n"
              "  <data encoding=\"base64\" compression=\"zlib\">" +
                  LayerData(ids) +
                  "</data>\n"
                  " </layer>\n"
                  " <objectgroup name=\"things\">\n"
                  "  <object x=\"96\" y=\"0\" width=\"32\" height=\"16\"><properties>\n"
                  "   <property name=\"COLOR\" value=\"255,0,255,255\"/>\n"
                  "   <property name=\"Mass\" value=\"0\"/>\n"
                  "  </properties></object>\n"
                  "  <object x=\"300\" y=\"100\" width=\"40\" height=\"40\"><properties>\n"
                  "   <property name=\"texture\" value=\"Resources/Levels/yellow.png\"/>\n"
                  "   <property name=\"MASS\" value=\"0\"/>\n"
                  "  </properties></object>\n"
                  " </objectgroup>\n"
                  "</map>\n");
    dir.Write("Resources/Lua/Test/Update.lua",
              "if OnLevelUpdate then OnLevelUpdate(getdt()) end\n");
}

}  // namespace

TEST(TileLevelWindow, TilesAndObjectsLandWhereTheMapSays) {
    TestSupport::TempDir dir;
    fs::create_directories(fs::path(dir.Path()) / "Resources");
    for (const char* sub : {"Shaders", "Config"}) {
        fs::copy(fs::path(TAZZLE_SOURCE_DIR) / "Resources" / sub,
                 fs::path(dir.Path()) / "Resources" / sub, fs::copy_options::recursive);
    }
    dir.Write("Resources/Lua/Globals/LuaGlobals.lua", "");
    dir.Write("Resources/Lua/Globals/EndOfLevel.lua", "");
    WriteLevel(dir);
    // World coordinates: the camera's centre is (0, 0); map row r, column c
    // covers x from 32c to 32c + 32 and y from -32r - 32 to -32r.
    dir.Write("Resources/Lua/Globals/StartOfLevel.lua", R"lua(
        frames = 0
        local function pixel(name, x, y)
            print(name .. " " .. GetPixelValue_R(x, y) .. " " .. GetPixelValue_G(x, y) .. " " ..
                  GetPixelValue_B(x, y))
        end
        function OnLevelUpdate(dt)
            frames = frames + 1
            if frames == 3 then GetPixelValue_R(0, 0) end
            if frames == 6 then
                pixel("r0c0", 16, -16)
                pixel("r0c3", 112, -24)
                pixel("r1c1", 48, -48)
                pixel("r2c0", 16, -80)
                pixel("empty", 80, -16)
                pixel("above", 16, 16)
                pixel("box", 112, -8)
                pixel("texture", 320, -120)
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");

    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_EQ(game.Wait(60.0), 0) << game.Output();
    const std::string out = game.Output();
    for (const char* expected :
         {"r0c0 255 0 0", "r0c3 0 255 0", "r1c1 0 0 255", "r2c0 255 255 255", "empty 0 0 0",
          "above 0 0 0", "box 255 0 255", "texture 255 255 0"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
}
