// The TMX map reader: map properties become the level's scripts and
// properties, every map object becomes a game object, and the first tile
// layer fills the level's tile mesh.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class GenericTileLevel;
class TileWrapper;
namespace tinyxml2 {
class XMLElement;
}

namespace Tmx {

// One property element: its name and its value split at commas.
struct Property {
    std::string name;
    std::vector<std::string> values;
};

// Splits a property value: each value starts at a character and runs up to
// the next comma after it, so "a,,b" gives "a" and ",b" and a trailing comma
// adds nothing.
std::vector<std::string> SplitValues(const char* text);
// The record of a property element ("name" and "value" attributes).
Property ReadProperty(const tinyxml2::XMLElement& element);

// An integer attribute: leading digits as a decimal number (decimals cut at
// the point, out-of-range values clamped); `fallback` when the attribute is
// missing or holds no number.
int ReadInt(const tinyxml2::XMLElement& element, const char* name, int fallback);

// Standard base64 with "=" padding; characters outside the alphabet are
// skipped.
std::vector<unsigned char> DecodeBase64Stream(const char* text);

// What became of a layer's data.
enum class LayerData {
    Complete,  // exactly columns x rows ids
    TooFew,    // the stream ended early: no ids
    TooMany,   // the stream held more than the layer: no ids
    Bad,       // not base64 of zlib data: no ids
};
// Decodes the base64 text of zlib-compressed little-endian 32-bit tile ids
// into exactly columns x rows ids. Anything but a complete layer prints
// "Something went wrong!" and leaves `ids` empty; `found` (when given)
// receives how many ids a short stream held.
LayerData DecodeLayerData(const char* text, int columns, int rows, std::vector<uint32_t>& ids,
                          size_t* found = nullptr);

// Adds the tile of every non-zero id (flip bits dropped) to the layer, row
// by row, and uploads the layer; ids outside the tileset are skipped.
void PlaceTiles(TileWrapper& tiles, const std::vector<uint32_t>& ids);

// Reads "Resources/Levels/" + levelName into the level and then runs the
// start-of-level script. A file that cannot be read or parsed prints one
// line, leaves the level empty and returns false. Whatever of the map the
// level cannot show (see ReadTiles) is named in one line each.
bool LoadLevel(GenericTileLevel& level, const std::string& levelName);

// Prints one line naming the map file (`path`, "Resources/Levels/" + the
// level's name) and what of it the level cannot show; the level goes on
// with what it can.
void Report(const std::string& path, std::string cause);

// Makes the game object of one `object` element, applying its attributes,
// its properties and then those of its group; what cannot be set is
// reported against the map file `path`.
void CreateMapObject(const tinyxml2::XMLElement& element,
                     const std::vector<Property>& groupProperties, const std::string& path);

}  // namespace Tmx
