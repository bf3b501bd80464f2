// A TMX level played by the real executable: its tiles, and the objects of
// its object group, land on the screen where the map puts them.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/GameProcess.h"
#include "support/TestData.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

struct Rgba {
    uint8_t r, g, b, a;
};

// An RGBA PNG whose pixel (x, y), y from the top, is colorAt(x, y).
template <class ColorAt>
std::string Png(int side, ColorAt colorAt) {
    std::vector<std::vector<uint8_t>> pixels;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            Rgba c = colorAt(x, y);
            pixels.push_back({c.r, c.g, c.b, c.a});
        }
    }
    return TestSupport::MakePng(side, side, pixels);
}

using TestSupport::TileLayerData;

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
                  TileLayerData(ids) +
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
    TestSupport::MakeGameFolder(dir, "");
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

// Tiled saves a tileset in its own .tsx file by default, which the reader
// does not follow: the level loads without tiles, its objects and scripts
// run, and the game goes on.
TEST(TileLevelWindow, ExternalTilesetLoadsWithoutTilesAndTheGameGoesOn) {
    TestSupport::TempDir dir;
    TestSupport::MakeGameFolder(dir, R"lua(
        frames = 0
        function OnLevelUpdate(dt)
            frames = frames + 1
            if frames == 10 then
                print("frames 10, object " .. GetPixelValue_R(16, -16) .. " " ..
                      GetPixelValue_G(16, -16))
                ExecuteConsoleCommand("level QUIT_GAME")
            end
        end
    )lua");
    dir.Write("Resources/Levels/tiles.tsx",
              "<tileset name=\"t\" tilewidth=\"32\" tileheight=\"32\">"
              "<image source=\"tiles.png\" width=\"64\" height=\"64\"/></tileset>\n");
    dir.Write("Resources/Levels/00_Menu_Splash.tmx",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<map version=\"1.0\" orientation=\"orthogonal\" width=\"2\" height=\"1\" "
              "tilewidth=\"32\" tileheight=\"32\">\n"
              " <properties><property name=\"Update\" value=\"Test/Update.lua\"/></properties>\n"
              " <tileset firstgid=\"1\" source=\"tiles.tsx\"/>\n"
              " <layer name=\"ground\" width=\"2\" height=\"1\">\n"
              "  <data encoding=\"base64\" compression=\"zlib\">" +
                  TileLayerData({1, 2}) +
                  "</data>\n </layer>\n"
                  " <objectgroup name=\"things\">\n"
                  "  <object x=\"0\" y=\"0\" width=\"32\" height=\"32\"><properties>\n"
                  "   <property name=\"COLOR\" value=\"0,255,0,255\"/>\n"
                  "   <property name=\"Mass\" value=\"0\"/>\n"
                  "  </properties></object>\n"
                  " </objectgroup>\n"
                  "</map>\n");
    dir.Write("Resources/Lua/Test/Update.lua",
              "if OnLevelUpdate then OnLevelUpdate(getdt()) end\n");

    TestSupport::GameProcess game(TAZZLE_BINARY, dir.Path());
    ASSERT_EQ(game.Wait(60.0), 0) << game.Output();
    const std::string out = game.Output();
    EXPECT_NE(out.find("tileset tiles.tsx is in an external file"), std::string::npos) << out;
    EXPECT_NE(out.find("frames 10, object 0 255"), std::string::npos) << out;
}
