#include "World/TmxReader.h"

#include <tinyxml2.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "System/Source/GlobalScripts.h"
#include "System/Source/LuaState.h"
#include "System/Source/MemoryPool.h"
#include "System/Source/ResourcePath.h"
#include "System/Source/ScriptRegistry.h"
#include "World/GenericTileLevel.h"

// The base64 library is plain C without C++ guards.
extern "C" {
#include <b64/cdecode.h>
}

namespace Tmx {

namespace {

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

const char* const kLevelFolder = "Resources/Levels/";
const char* const kLuaFolder = "Resources/Lua/";
constexpr uint32_t kFlipBits = 0xe0000000u;

// Registers "Resources/Lua/" + name and compiles it once more; the index.
int RegisterScript(const std::string& name) {
    int index = LoadScript((kLuaFolder + name).c_str());
    if (index >= 0) ReloadScript(index);
    return index;
}

void ApplyMapProperty(GenericTileLevel& level, const Property& property) {
    if (property.name == "Update" || property.name == "Init") {
        // A script property without a script name names nothing.
        if (property.values.empty()) return;
        int index = RegisterScript(property.values[0]);
        if (index < 0) return;
        if (property.name == "Update") {
            level.SetUpdateScript(index);
        } else {
            RunScriptChunk(index, &level);
        }
        return;
    }
    auto* block = static_cast<float*>(System::PoolNew(sizeof(float)));
    *block = 0.0f;
    level.AddDynamicProperty(property.name.c_str(), MetaValue(block),
                             System::MetaBase::Ownership::Block);
}

const XMLElement* FirstChild(const XMLElement* parent, const char* name) {
    return parent ? parent->FirstChildElement(name) : nullptr;
}

void ReadObjectGroups(const XMLElement& root, const std::string& path) {
    for (const XMLElement* group = root.FirstChildElement("objectgroup"); group;
         group = group->NextSiblingElement()) {
        std::vector<Property> groupProperties;
        if (const XMLElement* properties = FirstChild(group, "properties")) {
            for (const XMLElement* p = properties->FirstChildElement(); p;
                 p = p->NextSiblingElement()) {
                groupProperties.push_back(ReadProperty(*p));
            }
        }
        for (const XMLElement* object = group->FirstChildElement("object"); object;
             object = object->NextSiblingElement()) {
            CreateMapObject(*object, groupProperties, path);
        }
    }
}

// Why a file is no XML map, in one line.
std::string ParseError(const XMLDocument& document) {
    if (document.ErrorID() == tinyxml2::XML_ELEMENT_DEPTH_EXCEEDED) {
        return "elements nested more than " + std::to_string(TINYXML2_MAX_ELEMENT_DEPTH) + " deep";
    }
    if (document.ErrorID() == tinyxml2::XML_SUCCESS) return "no root element";
    return std::string(document.ErrorName()) + " at line " +
           std::to_string(document.ErrorLineNum());
}

std::string Quoted(const char* text) {
    return std::string("\"") + (text ? text : "") + "\"";
}

// Tiles are placed on a square grid whatever the map says.
void CheckOrientation(const XMLElement& root, const std::string& path) {
    const char* orientation = root.Attribute("orientation");
    if (orientation && std::strcmp(orientation, "orthogonal") != 0) {
        Report(path, "orientation " + Quoted(orientation) +
                         " is not supported: tiles are placed as orthogonal");
    }
}

// Only the first tile layer is read.
void CheckLaterLayers(const XMLElement* layer, const std::string& path) {
    for (layer = layer ? layer->NextSiblingElement("layer") : nullptr; layer;
         layer = layer->NextSiblingElement("layer")) {
        Report(path, "tile layer " + Quoted(layer->Attribute("name")) +
                         " ignored: only the first tile layer is drawn");
    }
}

// What Tiled's "Tile Layer Format" was set to, when it is not the one read
// ("Base64 (zlib compressed)"); empty when it is.
std::string OtherEncoding(const XMLElement& data) {
    const char* encoding = data.Attribute("encoding");
    const char* compression = data.Attribute("compression");
    if (!encoding) return "XML tiles";
    if (std::strcmp(encoding, "base64") != 0) return encoding;
    if (!compression) return "plain base64";
    if (std::strcmp(compression, "zlib") != 0) return compression;
    return "";
}

// The tileset image: "Resources/Levels/" + source; says why when the layer
// has no image to take its tiles from.
void LoadTilesetImage(TileWrapper& tiles, const XMLElement& tileset, int tileWidth, int tileHeight,
                      const std::string& path) {
    const XMLElement* image = tileset.FirstChildElement("image");
    const char* source = image ? image->Attribute("source") : nullptr;
    if (!source) {
        Report(path, "tileset " + Quoted(tileset.Attribute("name")) + " has no image: no tiles");
        return;
    }
    std::string file = System::ResolvePath(std::string(kLevelFolder) + source);
    std::string why;
    tiles.LoadTileset(file.c_str(), &why);
    if (tiles.Tileset().texture != 0) {
        // Not one whole tile fits in the image.
        if (tileWidth > tiles.ImageWidth() || tileHeight > tiles.ImageHeight()) {
            Report(path, "tileset " + Quoted(tileset.Attribute("name")) + " has a tile size of " +
                             std::to_string(tileWidth) + " x " + std::to_string(tileHeight) +
                             ", larger than its image " + file + " of " +
                             std::to_string(tiles.ImageWidth()) + " x " +
                             std::to_string(tiles.ImageHeight()) + ": no tiles");
        }
        return;
    }
    if (std::FILE* found = System::OpenResource(file, "rb")) {
        std::fclose(found);
        // Without a GL context nothing is loaded; the file is there.
        if (TextureGlReady())
            Report(path, "tileset image " + file + " could not be read (" + why + "): no tiles");
    } else {
        Report(path, "tileset image " + file + " is missing: no tiles");
    }
}

// The lowest first id of the tilesets after the first: ids from there on
// belong to a tileset that is not drawn. 0 when there is none.
uint32_t LaterTilesetsStart(const XMLElement& tileset) {
    uint32_t start = 0;
    for (const XMLElement* t = tileset.NextSiblingElement("tileset"); t;
         t = t->NextSiblingElement("tileset")) {
        int first = ReadInt(*t, "firstgid", 0);
        if (first > 0 && (start == 0 || uint32_t(first) < start)) start = uint32_t(first);
    }
    return start;
}

void CheckLaterTilesets(const XMLElement& tileset, const std::vector<uint32_t>& ids,
                        const std::string& path) {
    uint32_t start = LaterTilesetsStart(tileset);
    if (start == 0) return;
    size_t count = 0;
    for (uint32_t id : ids) count += (id & ~kFlipBits) >= start;
    if (count == 0) return;
    Report(path, std::to_string(count) + " tiles use tilesets after " +
                     Quoted(tileset.Attribute("name")) + " (ids from " + std::to_string(start) +
                     "): not drawn, only the first tileset is");
}

void ReportLayerData(LayerData result, size_t found, int columns, int rows, const char* name,
                     const std::string& path) {
    std::string layer = "tile layer " + Quoted(name);
    std::string needed = std::to_string(int64_t(columns) * rows) + " (" + std::to_string(columns) +
                         " x " + std::to_string(rows) + ")";
    if (result == LayerData::Bad) {
        Report(path, layer + " data is not base64 of zlib-compressed tile ids: no tiles");
    } else if (result == LayerData::TooFew) {
        Report(path, layer + " holds " + std::to_string(found) + " tile ids where " + needed +
                         " are needed: no tiles");
    } else if (result == LayerData::TooMany) {
        Report(path, layer + " holds more than " + needed + " tile ids: no tiles");
    }
}

void ReadTiles(GenericTileLevel& level, const XMLElement& root, const std::string& path) {
    CheckOrientation(root, path);
    const XMLElement* tileset = root.FirstChildElement("tileset");
    const XMLElement* layer = root.FirstChildElement("layer");
    CheckLaterLayers(layer, path);
    const XMLElement* data = FirstChild(layer, "data");
    if (!tileset || !layer || !data) return;
    TileWrapper& tiles = level.Tiles();
    int tileWidth = ReadInt(*tileset, "tilewidth", 0);
    int tileHeight = ReadInt(*tileset, "tileheight", 0);
    tiles.SetTileSize(tileWidth, tileHeight);
    if (const char* source = tileset->Attribute("source")) {
        Report(path, std::string("tileset ") + source +
                         " is in an external file: embed it in the map; no tiles");
    } else if (tileWidth <= 0 || tileHeight <= 0) {
        Report(path, "tileset " + Quoted(tileset->Attribute("name")) + " has a tile size of " +
                         std::to_string(tileWidth) + " x " + std::to_string(tileHeight) +
                         ": no tiles");
    } else {
        LoadTilesetImage(tiles, *tileset, tileWidth, tileHeight, path);
    }
    int columns = ReadInt(*layer, "width", 0);
    int rows = ReadInt(*layer, "height", 0);
    if (!tiles.CreateBuffers(columns, rows)) {
        Report(path, "tile layer " + Quoted(layer->Attribute("name")) + " of " +
                         std::to_string(columns) + " x " + std::to_string(rows) +
                         " tiles refused (at most " + std::to_string(TileWrapper::kMaxCells) +
                         " tiles, " + std::to_string(TileWrapper::kMaxSide) + " a side): no tiles");
        return;
    }
    std::string encoding = OtherEncoding(*data);
    if (!encoding.empty()) {
        Report(path, "tile layer " + Quoted(layer->Attribute("name")) + " is stored as " +
                         encoding + "; only Base64 (zlib compressed) is read");
    }
    std::vector<uint32_t> ids;
    size_t found = 0;
    const char* text = data->GetText();
    LayerData result = DecodeLayerData(text ? text : "", columns, rows, ids, &found);
    if (encoding.empty())
        ReportLayerData(result, found, columns, rows, layer->Attribute("name"), path);
    CheckLaterTilesets(*tileset, ids, path);
    PlaceTiles(tiles, ids);
}

}  // namespace

void Report(const std::string& path, std::string cause) {
    // Names from the file may hold line breaks (&#10;): the report stays one line.
    for (char& c : cause) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::printf("Level file %s: %s\n", path.c_str(), cause.c_str());
}

std::vector<std::string> SplitValues(const char* text) {
    std::vector<std::string> values;
    if (!text) return values;
    std::string all(text);
    size_t start = 0;
    while (start < all.size()) {
        size_t comma = all.find(',', start + 1);
        if (comma == std::string::npos) {
            values.push_back(all.substr(start));
            break;
        }
        values.push_back(all.substr(start, comma - start));
        start = comma + 1;
    }
    return values;
}

Property ReadProperty(const XMLElement& element) {
    Property property;
    const char* name = element.Attribute("name");
    property.name = name ? name : "";
    property.values = SplitValues(element.Attribute("value"));
    return property;
}

int ReadInt(const XMLElement& element, const char* name, int fallback) {
    const char* text = element.Attribute(name);
    if (!text) return fallback;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (end == text) return fallback;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return int(value);
}

std::vector<unsigned char> DecodeBase64Stream(const char* text) {
    std::vector<unsigned char> out;
    if (!text) return out;
    constexpr size_t kChunk = 4096;
    base64_decodestate state;
    base64_init_decodestate(&state);
    size_t length = std::strlen(text);
    char buffer[kChunk];
    for (size_t at = 0; at < length; at += kChunk) {
        size_t n = length - at < kChunk ? length - at : kChunk;
        int written = base64_decode_block(text + at, int(n), buffer, &state);
        out.insert(out.end(), buffer, buffer + written);
    }
    return out;
}

LayerData DecodeLayerData(const char* text, int columns, int rows, std::vector<uint32_t>& ids,
                          size_t* found) {
    ids.clear();
    if (found) *found = 0;
    if (!TileWrapper::ValidLayerSize(columns, rows)) return LayerData::Bad;
    std::vector<unsigned char> packed = DecodeBase64Stream(text);
    size_t expected = size_t(columns) * size_t(rows) * 4;
    // One byte more than the layer needs tells a stream that is too long.
    std::vector<unsigned char> bytes(expected + 1);

    z_stream stream{};
    stream.next_in = packed.data();
    stream.avail_in = uInt(packed.size());
    stream.next_out = bytes.data();
    stream.avail_out = uInt(bytes.size());
    int result = Z_DATA_ERROR;
    if (!packed.empty() && inflateInit(&stream) == Z_OK) {
        result = inflate(&stream, Z_FINISH);
        inflateEnd(&stream);
    }
    size_t produced = bytes.size() - stream.avail_out;
    // A stream that filled the spare byte is too long, whether or not it
    // ended; one that stopped short with no error is too short.
    LayerData outcome = LayerData::Bad;
    if (produced > expected && (result == Z_STREAM_END || result == Z_BUF_ERROR)) {
        outcome = LayerData::TooMany;
    } else if (result == Z_STREAM_END) {
        outcome = produced == expected ? LayerData::Complete : LayerData::TooFew;
    }
    if (outcome != LayerData::Complete) {
        // The whole layer or nothing: a layer that does not match its size
        // is not guessed at.
        if (outcome == LayerData::TooFew && found) *found = produced / 4;
        std::printf("Something went wrong!\n");
        return outcome;
    }
    ids.resize(expected / 4);
    for (size_t i = 0; i < ids.size(); ++i) {
        const unsigned char* word = &bytes[i * 4];
        ids[i] = uint32_t(word[0]) | uint32_t(word[1]) << 8 | uint32_t(word[2]) << 16 |
                 uint32_t(word[3]) << 24;
    }
    return LayerData::Complete;
}

void PlaceTiles(TileWrapper& tiles, const std::vector<uint32_t>& ids) {
    int columns = tiles.Columns();
    if (columns <= 0) return;
    size_t count = std::min(ids.size(), size_t(columns) * size_t(tiles.Rows()));
    tiles.ReserveTiles(size_t(std::count_if(ids.begin(), ids.begin() + ptrdiff_t(count),
                                            [](uint32_t id) { return (id & ~kFlipBits) != 0; })));
    for (size_t i = 0; i < count; ++i) {
        uint32_t id = ids[i] & ~kFlipBits;
        if (id == 0) continue;
        tiles.AddTile(int(i / size_t(columns)), int(i % size_t(columns)), int(id - 1));
    }
    tiles.Upload();
}

bool LoadLevel(GenericTileLevel& level, const std::string& levelName) {
    level.SetUpdateScript(-1);
    std::string path = kLevelFolder + levelName;
    std::FILE* file = System::OpenResource(path, "rb");
    if (!file) {
        std::printf("Level file %s could not be opened\n", path.c_str());
        return false;
    }
    XMLDocument document;
    tinyxml2::XMLError error = document.LoadFile(file);
    std::fclose(file);
    const XMLElement* root = document.RootElement();
    if (error != tinyxml2::XML_SUCCESS || !root) {
        std::printf("Level file %s could not be read: %s\n", path.c_str(),
                    ParseError(document).c_str());
        return false;
    }

    if (const XMLElement* properties = root->FirstChildElement("properties")) {
        for (const XMLElement* p = properties->FirstChildElement(); p;
             p = p->NextSiblingElement()) {
            ApplyMapProperty(level, ReadProperty(*p));
        }
    }
    ReadObjectGroups(*root, path);
    ReadTiles(level, *root, path);
    RunStartOfLevelScript();
    return true;
}

}  // namespace Tmx
