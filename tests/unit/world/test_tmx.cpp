// The TMX reader and the tile level without a window: property values,
// layer data decoding and its failures, tile quads, map properties and the
// level's per-frame script, drawing through the renderer.
#include <gtest/gtest.h>
#include <tinyxml2.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Graphics/BatchRenderer.h"
#include "Graphics/Renderer.h"
#include "World/GenericTileLevel.h"
#include "World/TmxReader.h"
#include "engine_fixture.h"
#include "support/TestData.h"

namespace {

using TestSupport::CaptureStdout;
const char kWrong[] = "Something went wrong!";

using TestSupport::Base64;

// The data text of a layer holding these ids.
std::string LayerText(const std::vector<uint32_t>& ids) {
    return TestSupport::TileLayerData(ids);
}

std::vector<uint32_t> Decode(const std::string& text, int columns, int rows,
                             Tmx::LayerData* result = nullptr, std::string* printed = nullptr) {
    std::vector<uint32_t> ids;
    Tmx::LayerData r{};
    std::string out =
        CaptureStdout([&] { r = Tmx::DecodeLayerData(text.c_str(), columns, rows, ids); });
    if (result) *result = r;
    if (printed) *printed = out;
    return ids;
}

TEST(TmxValues, SplitAtCommas) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Tmx::SplitValues(""), V{});
    EXPECT_EQ(Tmx::SplitValues(nullptr), V{});
    EXPECT_EQ(Tmx::SplitValues("a"), V{"a"});
    EXPECT_EQ(Tmx::SplitValues("255,0,10,255"), (V{"255", "0", "10", "255"}));
    // A comma right after a separator starts the next value; a trailing one adds nothing.
    EXPECT_EQ(Tmx::SplitValues("a,,b"), (V{"a", ",b"}));
    EXPECT_EQ(Tmx::SplitValues("a,"), V{"a"});
    EXPECT_EQ(Tmx::SplitValues(",a"), V{",a"});
}

TEST(TmxValues, IntegersCutAtThePointAndKeepDefaults) {
    tinyxml2::XMLDocument document;
    tinyxml2::XMLElement& e = *document.NewElement("object");
    e.SetAttribute("x", "12.9");
    e.SetAttribute("y", "-7");
    e.SetAttribute("w", "abc");
    e.SetAttribute("h", "99999999999999");
    EXPECT_EQ(Tmx::ReadInt(e, "x", 0), 12);
    EXPECT_EQ(Tmx::ReadInt(e, "y", 0), -7);
    EXPECT_EQ(Tmx::ReadInt(e, "w", 5), 5);
    EXPECT_EQ(Tmx::ReadInt(e, "missing", 3), 3);
    EXPECT_EQ(Tmx::ReadInt(e, "h", 0), INT32_MAX);
}

TEST(TmxLayerData, CompleteLayerDecodes) {
    Tmx::LayerData result;
    std::string printed;
    std::vector<uint32_t> ids = {0, 1, 0x80000005u, 7, 0, 2};
    EXPECT_EQ(Decode(LayerText(ids), 3, 2, &result, &printed), ids);
    EXPECT_EQ(result, Tmx::LayerData::Complete);
    EXPECT_EQ(printed, "");
    // Line breaks and indentation around the text are skipped.
    EXPECT_EQ(Decode("\n   " + LayerText(ids) + "\n  ", 3, 2), ids);
}

TEST(TmxLayerData, WrongLengthsGiveNoTiles) {
    Tmx::LayerData result;
    std::string printed;
    size_t found = 0;
    // Fewer ids than cells: the layer is not guessed at.
    std::vector<uint32_t> ids;
    printed = CaptureStdout([&] {
        result = Tmx::DecodeLayerData(LayerText({4, 5}).c_str(), 3, 2, ids, &found);
    });
    EXPECT_TRUE(ids.empty());
    EXPECT_EQ(found, 2u);
    EXPECT_EQ(result, Tmx::LayerData::TooFew);
    EXPECT_EQ(printed, std::string(kWrong) + "\n");
    // More ids than cells, by one or by many.
    for (const std::vector<uint32_t>& more :
         {std::vector<uint32_t>{1, 2, 3}, std::vector<uint32_t>(1000, 7)}) {
        EXPECT_TRUE(Decode(LayerText(more), 2, 1, &result, &printed).empty());
        EXPECT_EQ(result, Tmx::LayerData::TooMany);
        EXPECT_EQ(printed, std::string(kWrong) + "\n");
    }
}

TEST(TmxLayerData, BadDataGivesNoTiles) {
    for (const std::string& text :
         {std::string(""), std::string("not base64 of anything"), Base64("plain bytes, no zlib"),
          LayerText({1, 2, 3, 4}).substr(0, 12)}) {
        Tmx::LayerData result;
        std::string printed;
        EXPECT_TRUE(Decode(text, 2, 2, &result, &printed).empty()) << text;
        EXPECT_EQ(result, Tmx::LayerData::Bad);
        EXPECT_EQ(printed, std::string(kWrong) + "\n");
    }
    // Sizes that are refused decode nothing (and allocate nothing).
    EXPECT_TRUE(Decode(LayerText({1}), -1, 1).empty());
    EXPECT_TRUE(Decode(LayerText({1}), 100000, 100000).empty());
}

TEST(TileLayer, LayerSizesAreChecked) {
    EXPECT_TRUE(TileWrapper::ValidLayerSize(1, 1));
    EXPECT_TRUE(TileWrapper::ValidLayerSize(1024, 1024));
    EXPECT_FALSE(TileWrapper::ValidLayerSize(0, 5));
    EXPECT_FALSE(TileWrapper::ValidLayerSize(5, -3));
    EXPECT_FALSE(TileWrapper::ValidLayerSize(1025, 1024));
    EXPECT_FALSE(TileWrapper::ValidLayerSize(65537, 1));
    EXPECT_FALSE(TileWrapper::ValidLayerSize(INT32_MAX, INT32_MAX));
}

TEST(TileLayer, QuadCornersAndTexelInset) {
    // Index 0 of a 64 x 64 tileset of 16 x 16 tiles, at row 0, column 0.
    TileQuad q = TileWrapper::ComputeQuad(0, 0, 0, 10, 16, 16, 64, 64);
    const float h = 0.0078125f / 64.0f;
    EXPECT_FLOAT_EQ(q.vertices[0].u, h);
    EXPECT_FLOAT_EQ(q.vertices[2].u, 0.25f - h);
    EXPECT_FLOAT_EQ(q.vertices[0].v, 1.0f - h);
    EXPECT_FLOAT_EQ(q.vertices[1].v, 0.75f + h);
    EXPECT_FLOAT_EQ(q.vertices[0].x, 0.0f);
    EXPECT_FLOAT_EQ(q.vertices[0].y, 0.0f);
    EXPECT_FLOAT_EQ(q.vertices[1].y, -16.0f);
    EXPECT_FLOAT_EQ(q.vertices[2].x, 16.0f);
    EXPECT_FLOAT_EQ(q.vertices[3].y, 0.0f);
    EXPECT_EQ(std::vector<uint32_t>(q.indices, q.indices + 6),
              (std::vector<uint32_t>{0, 1, 2, 2, 3, 0}));

    // Index 5 of a tileset 4 tiles wide is tileset row 1, column 1; row 2,
    // column 3 of a 10-column layer lies right of x 48 and below y -32.
    q = TileWrapper::ComputeQuad(2, 3, 5, 10, 16, 16, 64, 64);
    EXPECT_FLOAT_EQ(q.vertices[0].u, 0.25f + h);
    EXPECT_FLOAT_EQ(q.vertices[0].v, 0.75f - h);
    EXPECT_FLOAT_EQ(q.vertices[0].x, 48.0f);
    EXPECT_FLOAT_EQ(q.vertices[0].y, -32.0f);
    EXPECT_EQ(q.indices[0], 4u * 23u);
    EXPECT_EQ(q.indices[4], 4u * 23u + 3u);
}

TEST(TileLayer, TilesOutsideTheTilesetOrLayerAreSkipped) {
    TileWrapper tiles;
    tiles.SetTileSize(16, 16);
    tiles.SetImageSize(64, 32);  // 4 x 2 tiles
    EXPECT_EQ(tiles.TilesetCount(), 8);
    ASSERT_TRUE(tiles.CreateBuffers(3, 2));
    EXPECT_FALSE(tiles.HasTiles());
    // 0 empty, 0x80000005 flipped (index 4), 9 and 1000 outside the tileset.
    Tmx::PlaceTiles(tiles, {0, 0x80000005u, 9, 1000, 8, 1, 3});
    ASSERT_EQ(tiles.Tiles().size(), 3u);
    EXPECT_EQ(tiles.Tiles()[0].index, 4);
    EXPECT_EQ(tiles.Tiles()[0].column, 1);
    EXPECT_EQ(tiles.Tiles()[1].index, 7);
    EXPECT_EQ(tiles.Tiles()[1].row, 1);
    EXPECT_EQ(tiles.Tiles()[1].column, 1);
    EXPECT_EQ(tiles.Tiles()[2].index, 0);
    EXPECT_TRUE(tiles.HasTiles());
    EXPECT_FALSE(tiles.AddTile(2, 0, 0));
    EXPECT_FALSE(tiles.AddTile(0, -1, 0));

    // Without an image or tile size nothing fits (no division by zero).
    TileWrapper empty;
    ASSERT_TRUE(empty.CreateBuffers(2, 2));
    Tmx::PlaceTiles(empty, {1, 2, 3, 4});
    EXPECT_FALSE(empty.HasTiles());
    // A refused size leaves an empty layer.
    EXPECT_FALSE(tiles.CreateBuffers(-4, 2));
    EXPECT_FALSE(tiles.HasTiles());
    EXPECT_EQ(tiles.Columns(), 0);
}

class TmxLevel : public EngineFixture {
protected:
    void TearDown() override {
        delete level;
        level = nullptr;
        EngineFixture::TearDown();
    }

    // Writes a map and loads it into a new level; returns what was printed.
    std::string LoadMap(const std::string& body, const std::string& name = "test.tmx") {
        dir.Write("Resources/Levels/" + name,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<map version=\"1.0\" orientation=\"orthogonal\" width=\"4\" height=\"4\">\n" +
                      body + "</map>\n");
        return Load(name);
    }
    std::string Load(const std::string& name) {
        delete level;
        level = new GenericTileLevel();
        return CaptureStdout([&] { level->Load(name); });
    }
    static std::string Property(const std::string& name, const std::string& value) {
        return "  <property name=\"" + name + "\" value=\"" + value + "\"/>\n";
    }

    GenericTileLevel* level = nullptr;
};

TEST_F(TmxLevel, MissingOrBrokenFilesLeaveAnEmptyLevel) {
    InitLua();
    std::string printed = Load("nowhere.tmx");
    EXPECT_NE(printed.find("nowhere.tmx"), std::string::npos);
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1);
    printed =
        LoadMap("<properties>" + Property("Score", "1") + "</properties><layer", "broken.tmx");
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1);
    EXPECT_FALSE(level->HasProperty("Score"));
    EXPECT_FALSE(level->Tiles().HasTiles());
    dir.Write("Resources/Levels/empty.tmx", "");
    Load("empty.tmx");
    // The start-of-level script ran for none of them.
    EXPECT_EQ(Global("startCount"), 0.0);
    // A level file found without regard to case is read.
    LoadMap("", "Mixed.tmx");
    EXPECT_EQ(Global("startCount"), 1.0);
    Load("mixed.TMX");
    EXPECT_EQ(Global("startCount"), 2.0);
}

TEST_F(TmxLevel, MapPropertiesBecomeScriptsAndLevelProperties) {
    InitLua();
    dir.Write("Resources/Lua/Levels/init.lua",
              "local level = ...\ninitLevel = level\ninitHasScore = level:HasProperty('Score')\n");
    dir.Write("Resources/Lua/Levels/tick.lua",
              "local level = ...\nticks = (ticks or 0) + 1\ntickLevel = level\n");
    dir.Write("Resources/Lua/Levels/bad.lua", "error('tick failed')\n");
    std::string printed =
        LoadMap("<properties>\n" + Property("Score", "12") + Property("Init", "Levels/init.lua") +
                Property("Update", "Levels/tick.lua") + Property("Init", "") + "</properties>\n");
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(level->HasProperty("Score"));
    EXPECT_FALSE(level->HasProperty("score"));
    const MetaValue* score = level->FindProperty("Score");
    ASSERT_NE(score, nullptr);
    EXPECT_FLOAT_EQ(*score->Get<float*>(), 0.0f);
    EXPECT_EQ(Global("initHasScore"), 1.0);
    EXPECT_EQ(Global("startCount"), 1.0);
    EXPECT_EQ(Global("ticks"), 0.0);

    level->Update(0.016f);
    level->Update(0.016f);
    EXPECT_EQ(Global("ticks"), 2.0);
    Lua("assert(tickLevel:HasProperty('Score'))");
    EXPECT_EQ(lua_gettop(L), 0);

    // A failing per-frame script prints its error and the level goes on.
    LoadMap("<properties>" + Property("Update", "Levels/bad.lua") + "</properties>");
    printed = CaptureStdout([&] { level->Update(0.016f); });
    EXPECT_NE(printed.find("Lua Error: "), std::string::npos);
    EXPECT_NE(printed.find("tick failed"), std::string::npos);
    EXPECT_EQ(lua_gettop(L), 0);

    // A map without "Update" runs nothing per frame; a missing script file
    // leaves nothing to run either.
    LoadMap("<properties>" + Property("Update", "Levels/none.lua") + "</properties>");
    Lua("ticks = 0");
    CaptureStdout([&] { level->Update(0.016f); });
    LoadMap("");
    EXPECT_EQ(level->GetUpdateScript(), -1);
    level->Update(0.016f);
    EXPECT_EQ(Global("ticks"), 0.0);
}

TEST_F(TmxLevel, LayerWithoutImageAddsNoTiles) {
    InitLua();
    std::string printed = LoadMap(
        "<tileset firstgid=\"1\" tilewidth=\"16\" tileheight=\"16\">"
        "<image source=\"missing.png\" width=\"64\" height=\"64\"/></tileset>\n"
        "<layer name=\"a\" width=\"2\" height=\"2\"><data encoding=\"base64\" "
        "compression=\"zlib\">" +
        LayerText({1, 2, 3, 4}) + "</data></layer>\n");
    EXPECT_EQ(printed.find(kWrong), std::string::npos);
    EXPECT_EQ(level->Tiles().Columns(), 2);
    EXPECT_FALSE(level->Tiles().HasTiles());
    // A huge or negative layer is refused without reading its data.
    printed = LoadMap(
        "<tileset tilewidth=\"16\" tileheight=\"16\"/><layer width=\"-5\" height=\"2000000000\">"
        "<data>AAAA</data></layer>");
    EXPECT_NE(printed.find("refused"), std::string::npos);
    EXPECT_EQ(level->Tiles().Columns(), 0);
    printed = LoadMap(
        "<tileset tilewidth=\"16\" tileheight=\"16\"/><layer width=\"2\" "
        "height=\"2\"><data>!!!!</data></layer>");
    EXPECT_NE(printed.find(kWrong), std::string::npos);
    EXPECT_EQ(Global("startCount"), 3.0);
}

TEST_F(TmxLevel, MapsThatCrashedAnXmlReaderAreRefusedInOneLine) {
    InitLua();
    // 50,000 nested elements once overflowed the stack of the XML reader.
    std::string deep = "<map>";
    for (int i = 0; i < 50000; ++i) deep += "<a>";
    for (int i = 0; i < 50000; ++i) deep += "</a>";
    dir.Write("Resources/Levels/deep.tmx", deep + "</map>\n");
    // A file cut inside an attribute value right after a UTF-8 lead byte
    // once made it read past its buffer.
    dir.Write("Resources/Levels/cut.tmx",
              "<?xml version=\"1.0\"?>\n<map><properties><property name=\"MESSA\xD8");
    for (const char* name : {"deep.tmx", "cut.tmx"}) {
        std::string printed = Load(name);
        // One line, naming the file.
        EXPECT_EQ(printed.find(std::string("Level file Resources/Levels/") + name), 0u);
        EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
        EXPECT_FALSE(level->Tiles().HasTiles());
    }
    EXPECT_NE(Load("deep.tmx").find("nested more than"), std::string::npos);
    // The game goes on: nothing ran for them, and the next map loads.
    EXPECT_EQ(Global("startCount"), 0.0);
    LoadMap("");
    EXPECT_EQ(Global("startCount"), 1.0);
}

// A map with a 2 x 1 layer and a tileset of 16 x 16 tiles, the parts given.
std::string TileMap(const std::string& tileset, const std::string& data,
                    const std::string& more = "") {
    return tileset + "<layer id=\"1\" name=\"ground\" width=\"2\" height=\"1\">" + data +
           "</layer>\n" + more;
}
const std::string kTileset =
    "<tileset firstgid=\"1\" name=\"tiles\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"4\" "
    "columns=\"2\"><image source=\"tiles.png\" width=\"32\" height=\"32\"/></tileset>\n";
std::string ZlibData(const std::vector<uint32_t>& ids) {
    return "<data encoding=\"base64\" compression=\"zlib\">" + LayerText(ids) + "</data>";
}

TEST_F(TmxLevel, WhatAMapCannotShowIsNamedWithItsFile) {
    InitLua();
    dir.Write("Resources/Levels/tiles.png", "not drawn without a window");
    const std::string good = ZlibData({1, 2});
    struct Case {
        const char* what;
        std::string body;
        std::string cause;  // the line printed
        // The layer's data fails as well, with the message it always had.
        bool dataFails = true;
    };
    std::vector<Case> cases = {
        {"external tileset", TileMap("<tileset firstgid=\"1\" source=\"tiles.tsx\"/>", good),
         "tileset tiles.tsx is in an external file: embed it in the map; no tiles", false},
        {"missing image",
         TileMap("<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\">"
                 "<image source=\"gone.png\"/></tileset>",
                 good),
         "tileset image Resources/Levels/gone.png is missing: no tiles", false},
        {"second layer",
         TileMap(kTileset, good,
                 "<layer name=\"big&#10;trees\" width=\"2\" height=\"1\">" + good + "</layer>"),
         "tile layer \"big trees\" ignored: only the first tile layer is drawn", false},
        {"second tileset",
         TileMap(kTileset, ZlibData({1, 6}),
                 "<tileset firstgid=\"5\" name=\"more\" tilewidth=\"16\" tileheight=\"16\">"
                 "<image source=\"tiles.png\"/></tileset>"),
         "1 tiles use tilesets after \"tiles\" (ids from 5): not drawn, only the first tileset "
         "is",
         false},
        {"tile size 0", TileMap("<tileset name=\"t\" tilewidth=\"0\" tileheight=\"16\"/>", good),
         "tileset \"t\" has a tile size of 0 x 16: no tiles", false},
        {"short data", TileMap(kTileset, ZlibData({1})),
         "tile layer \"ground\" holds 1 tile ids where 2 (2 x 1) are needed: no tiles"},
        {"long data", TileMap(kTileset, ZlibData({1, 2, 3})),
         "tile layer \"ground\" holds more than 2 (2 x 1) tile ids: no tiles"},
        {"not zlib",
         TileMap(kTileset,
                 "<data encoding=\"base64\" compression=\"zlib\">" + Base64("xyz") + "</data>"),
         "tile layer \"ground\" data is not base64 of zlib-compressed tile ids: no tiles"},
        {"huge layer",
         kTileset + "<layer name=\"ground\" width=\"20000\" height=\"20000\">" + good + "</layer>",
         "tile layer \"ground\" of 20000 x 20000 tiles refused (at most 1048576 tiles, 65536 a "
         "side): no tiles",
         false},
        // A property an init script gave a value no map text can be.
        {"property of another kind",
         "<objectgroup><object><properties>" + Property("INIT", "Obj/thread.lua") +
             Property("Mood", "3") + "</properties></object></objectgroup>",
         "property Mood of LuaObject cannot take the value 3", false},
    };
    dir.Write("Resources/Lua/Obj/thread.lua",
              "local obj = ...\nobj.Mood = coroutine.create(function() end)\n");
    // Tile layer formats other than the one read.
    for (const auto& [format, data] : std::vector<std::pair<const char*, std::string>>{
             {"csv", "<data encoding=\"csv\">\n1,2\n</data>"},
             {"gzip",  // ids 1 and 2
              "<data encoding=\"base64\" compression=\"gzip\">"
              "H4sIAAAAAAACA2NkYGBgAmIAfBeBAwgAAAA=</data>"},
             {"plain base64",
              "<data encoding=\"base64\">" + Base64(std::string(8, '\1')) + "</data>"},
             {"XML tiles", "<data><tile gid=\"1\"/><tile gid=\"2\"/></data>"}}) {
        cases.push_back({format, TileMap(kTileset, data), ""});
        cases.back().cause = "tile layer \"ground\" is stored as " + std::string(format) +
                             "; only Base64 (zlib compressed) is read";
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = std::string(c.what) + ".tmx";
        std::string printed = LoadMap(c.body, file);
        EXPECT_NE(printed.find("Level file Resources/Levels/" + file + ": " + c.cause + "\n"),
                  std::string::npos)
            << printed;
        EXPECT_EQ(printed.find(kWrong) != std::string::npos, c.dataFails) << printed;
        EXPECT_FALSE(level->Tiles().HasTiles());
    }
    dir.Write("Resources/Levels/iso.tmx", "<map orientation=\"isometric\"/>");
    EXPECT_EQ(Load("iso.tmx"),
              "Level file Resources/Levels/iso.tmx: orientation \"isometric\" is "
              "not supported: tiles are placed as orthogonal\n");
    // A map Tiled would show as it is says nothing.
    EXPECT_EQ(LoadMap(TileMap(kTileset, good)), "");
}

TEST_F(TmxLevel, LuaMethodsAndDrawing) {
    InitLua();
    LoadMap("");
    PushUserdata(L, level);
    lua_setglobal(L, "lvl");
    Lua("lvl:SetEffectName('Grey')");
    EXPECT_STREQ(level->GetEffectName(), "Grey");
    Lua("lvl:SetEffectName(nil)");
    EXPECT_STREQ(level->GetEffectName(), "BaseLevel");
    Lua("lvl:SetGraphicsLayer(2) lvl:SetGraphicsLayer(0)");
    EXPECT_EQ(level->GetRenderTarget(), nullptr);
    Lua("lvl:SetGraphicsLayer(7)");
    EXPECT_EQ(level->GetRenderTarget(), nullptr);
    Lua("lvl = nil");

    // Without a renderer drawing does nothing; with one, the layer is a
    // callback at depth -100 and later shapes go back to depth 0.
    level->Draw();
    BatchRenderer renderer;
    CurrentRenderer = &renderer;
    level->Draw();
    renderer.FillRect(0, 0, 4, 4);
    int called = 0;
    renderer.Render();
    for (const RenderStep& step : renderer.LastSteps()) {
        if (step.kind == RenderStep::Kind::Callback) {
            ++called;
            EXPECT_EQ(step.depth, -100);
        } else if (step.kind == RenderStep::Kind::Draw) {
            EXPECT_EQ(step.depth, 0);
        }
    }
    EXPECT_EQ(called, 1);
    // A callback still pending when its level goes away draws nothing.
    level->Draw();
    delete level;
    level = nullptr;
    renderer.Render();
    CurrentRenderer = nullptr;
}

}  // namespace
