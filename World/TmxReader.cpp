#include "World/TmxReader.h"

#include <tinyxml.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

const char* const kLevelFolder = "Resources/Levels/";
const char* const kLuaFolder = "Resources/Lua/";
constexpr uint32_t kFlipBits = 0xe0000000u;

// Registers "Resources/Lua/" + name and compiles it once more; the index.
int RegisterScript(const std::string& name) {
    int index = LoadScript((kLuaFolder + name).c_str());
    if (index >= 0) ReloadScript(index);
    return index;
}

void RunInitScript(GenericTileLevel& level, int index) {
    lua_State* L = GetLuaState();
    int top = lua_gettop(L);
    if (PushScriptChunk(L, index)) {
        PushUserdata(L, &level);
        if (lua_pcall(L, 1, LUA_MULTRET, 0) != 0) PrintLuaError(L);
    }
    lua_settop(L, top);
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
            RunInitScript(level, index);
        }
        return;
    }
    auto* block = static_cast<float*>(System::PoolNew(sizeof(float)));
    *block = 0.0f;
    level.AddDynamicProperty(property.name.c_str(), MetaValue(block),
                             System::MetaBase::Ownership::Block);
}

const TiXmlElement* FirstChild(const TiXmlElement* parent, const char* name) {
    return parent ? parent->FirstChildElement(name) : nullptr;
}

void ReadObjectGroups(const TiXmlElement& root) {
    for (const TiXmlElement* group = root.FirstChildElement("objectgroup"); group;
         group = group->NextSiblingElement()) {
        std::vector<Property> groupProperties;
        if (const TiXmlElement* properties = FirstChild(group, "properties")) {
            for (const TiXmlElement* p = properties->FirstChildElement(); p;
                 p = p->NextSiblingElement()) {
                groupProperties.push_back(ReadProperty(*p));
            }
        }
        for (const TiXmlElement* object = group->FirstChildElement("object"); object;
             object = object->NextSiblingElement()) {
            CreateMapObject(*object, groupProperties);
        }
    }
}

void ReadTiles(GenericTileLevel& level, const TiXmlElement& root) {
    const TiXmlElement* tileset = root.FirstChildElement("tileset");
    const TiXmlElement* layer = root.FirstChildElement("layer");
    const TiXmlElement* data = FirstChild(layer, "data");
    if (!tileset || !layer || !data) return;
    TileWrapper& tiles = level.Tiles();
    tiles.SetTileSize(ReadInt(*tileset, "tilewidth", 0), ReadInt(*tileset, "tileheight", 0));
    if (const TiXmlElement* image = tileset->FirstChildElement("image")) {
        if (const char* source = image->Attribute("source")) {
            tiles.LoadTileset(System::ResolvePath(std::string(kLevelFolder) + source).c_str());
        }
    }
    int columns = ReadInt(*layer, "width", 0);
    int rows = ReadInt(*layer, "height", 0);
    if (!tiles.CreateBuffers(columns, rows)) {
        std::printf("Tile layer of %d x %d tiles refused\n", columns, rows);
        return;
    }
    std::vector<uint32_t> ids;
    const char* text = data->GetText();
    DecodeLayerData(text ? text : "", columns, rows, ids);
    PlaceTiles(tiles, ids);
}

}  // namespace

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

Property ReadProperty(const TiXmlElement& element) {
    Property property;
    const char* name = element.Attribute("name");
    property.name = name ? name : "";
    property.values = SplitValues(element.Attribute("value"));
    return property;
}

int ReadInt(const TiXmlElement& element, const char* name, int fallback) {
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

LayerData DecodeLayerData(const char* text, int columns, int rows, std::vector<uint32_t>& ids) {
    ids.clear();
    if (!TileWrapper::ValidLayerSize(columns, rows)) return LayerData::Bad;
    std::vector<unsigned char> packed = DecodeBase64Stream(text);
    size_t expected = size_t(columns) * size_t(rows) * 4;
    std::vector<unsigned char> bytes(expected);

    z_stream stream{};
    stream.next_in = packed.data();
    stream.avail_in = uInt(packed.size());
    stream.next_out = bytes.data();
    stream.avail_out = uInt(expected);
    int result = Z_DATA_ERROR;
    if (!packed.empty() && inflateInit(&stream) == Z_OK) {
        result = inflate(&stream, Z_FINISH);
        inflateEnd(&stream);
    }
    size_t produced = expected - stream.avail_out;
    // Complete: the stream ended; full: its ids filled the whole layer.
    bool ended = result == Z_STREAM_END;
    bool full = result == Z_BUF_ERROR && stream.avail_out == 0;
    if (!ended && !full) {
        std::printf("Something went wrong!\n");
        return LayerData::Bad;
    }
    ids.resize(produced / 4);
    for (size_t i = 0; i < ids.size(); ++i) {
        const unsigned char* word = &bytes[i * 4];
        ids[i] = uint32_t(word[0]) | uint32_t(word[1]) << 8 | uint32_t(word[2]) << 16 |
                 uint32_t(word[3]) << 24;
    }
    if (ended && produced == expected) return LayerData::Complete;
    std::printf("Something went wrong!\n");
    return LayerData::Partial;
}

void PlaceTiles(TileWrapper& tiles, const std::vector<uint32_t>& ids) {
    int columns = tiles.Columns();
    if (columns <= 0) return;
    size_t count = std::min(ids.size(), size_t(columns) * size_t(tiles.Rows()));
    for (size_t i = 0; i < count; ++i) {
        uint32_t id = ids[i] & ~kFlipBits;
        if (id == 0) continue;
        tiles.AddTile(int(i / size_t(columns)), int(i % size_t(columns)), int(id - 1));
    }
}

bool LoadLevel(GenericTileLevel& level, const std::string& levelName) {
    level.SetUpdateScript(-1);
    std::string path = kLevelFolder + levelName;
    std::FILE* file = System::OpenResource(path, "rb");
    if (!file) {
        std::printf("Level file %s could not be opened\n", path.c_str());
        return false;
    }
    TiXmlDocument document;
    bool parsed = document.LoadFile(file);
    std::fclose(file);
    const TiXmlElement* root = document.RootElement();
    if (!parsed || !root) {
        std::printf("Level file %s could not be read: %s\n", path.c_str(), document.ErrorDesc());
        return false;
    }

    if (const TiXmlElement* properties = root->FirstChildElement("properties")) {
        for (const TiXmlElement* p = properties->FirstChildElement(); p;
             p = p->NextSiblingElement()) {
            ApplyMapProperty(level, ReadProperty(*p));
        }
    }
    ReadObjectGroups(*root);
    ReadTiles(level, *root);
    RunStartOfLevelScript();
    return true;
}

}  // namespace Tmx
