// The data tree: named, typed values in nodes with a first child and a next
// sibling, read from and written to the engine's text data files.
//
// A data file holds quoted keys and values and groups between braces:
//
//   "Layout"
//   {
//     "xPos"  "100"
//     "Panel"
//     {
//       "color"  "255 0 0 255"
//     }
//   }
//
// A quoted key followed directly by a line end opens a group (its "{" comes
// next); any other key is a leaf whose value is the next quoted string. The
// type of a leaf is detected from its value's text (ClassifyValue).
#pragma once

#include <cstdint>
#include <string_view>

#include "System/Source/Color.h"
#include "System/Source/PoolAllocator.h"

// Type codes of a node. A pointer shares the code of a hex value.
enum DataNodeType : int {
    kDataNone = -1,  // a group, or a node made by MakeNode: holds no value
    kDataInt = 0,
    kDataHex = 1,
    kDataPointer = 1,
    kDataFloat = 2,
    kDataDouble = 3,
    kDataString = 4,
    kDataBool = 5,
    kDataColor = 6,
};

class DataNode : public System::PoolObject {
public:
    // The value of a numeric node: int and bool (0 or 1) in `i`, hex in
    // `hex`, float in `f`, double in `d`, pointer in `ptr`. The setters clear
    // the whole slot before storing.
    union Number {
        int32_t i;
        uint32_t hex;
        float f;
        double d;
        void* ptr;
    };
    static_assert(sizeof(Number) == 8, "the number slot is 8 bytes");

    System::String name;
    System::String text;
    Number number{.ptr = nullptr};
    Color color;
    int type = kDataNone;
    DataNode* firstChild = nullptr;
    DataNode* nextSibling = nullptr;

    DataNode() = default;
    // A node owns its children and its following siblings: deleting it
    // deletes them too (without deep recursion).
    ~DataNode();
    DataNode(const DataNode&) = delete;
    DataNode& operator=(const DataNode&) = delete;
};

// Lookup: an empty key gives `start` itself; otherwise the first of `start`
// and its following siblings whose name equals `key` (case-sensitive). When
// none does and `create` is set, a new node named `key` is appended as the
// last child of `start` and returned; otherwise null.
DataNode* FindNode(DataNode* start, std::string_view key, bool create);

// A new node named `key`, linked right behind `previous`, or as the first
// child of `parent` when `previous` is null (either may be null). Null when
// no memory is left.
DataNode* CreateNode(DataNode* parent, std::string_view key, DataNode* previous);

// Setters: FindNode(node, key, create), then the value and its type are
// stored. Return the node found or made (null when `node` is null).
DataNode* SetNodeInt(DataNode* node, std::string_view key, int32_t value);
DataNode* SetNodeHex(DataNode* node, std::string_view key, uint32_t value);
DataNode* SetNodeFloat(DataNode* node, std::string_view key, float value);
DataNode* SetNodeDouble(DataNode* node, std::string_view key, double value);
DataNode* SetNodeString(DataNode* node, std::string_view key, std::string_view value);
DataNode* SetNodeBool(DataNode* node, std::string_view key, bool value);
DataNode* SetNodeColor(DataNode* node, std::string_view key, Color value);
DataNode* SetNodePointer(DataNode* node, std::string_view key, void* value);

// Getters: FindNode(start, key) without creation; the value when the node
// exists and has exactly the getter's type, else the default (0, 0, 0.0,
// 0.0, "", false, opaque black, null). A child is looked up by passing the
// parent's first child; the key "" reads `start` itself.
int32_t GetNodeInt(std::string_view key, const DataNode* start);
uint32_t GetNodeHex(std::string_view key, const DataNode* start);
float GetNodeFloat(std::string_view key, const DataNode* start);
double GetNodeDouble(std::string_view key, const DataNode* start);
System::String GetNodeString(std::string_view key, const DataNode* start);
bool GetNodeBool(std::string_view key, const DataNode* start);
Color GetNodeColor(std::string_view key, const DataNode* start);
void* GetNodePointer(std::string_view key, const DataNode* start);

// Numeric getters that take whatever numeric type the entry has (int, float
// or double): a number from a data file arrives as an int or a float, one
// from Lua as a double, and both must mean the same. 0 for a missing entry
// or one that holds no number (bool, hex, pointer, text, colour).
double GetNodeNumber(std::string_view key, const DataNode* start);
// The number truncated toward zero, saturated to the int range (NaN: 0).
int32_t GetNodeWholeNumber(std::string_view key, const DataNode* start);

// Message builders: a node named `name` with one child `key` holding the
// value. The int builder always stores 0. Null when no memory is left.
DataNode* MakeNode(std::string_view name);
DataNode* MakeNodeWithInt(std::string_view name, std::string_view key);
DataNode* MakeNodeWithFloat(std::string_view name, std::string_view key, float value);
DataNode* MakeNodeWithString(std::string_view name, std::string_view key, std::string_view value);
// A null `value` is taken as "".
DataNode* MakeNodeWithString(std::string_view name, std::string_view key, const char* value);
DataNode* MakeNodeWithHex(std::string_view name, std::string_view key, uint32_t value);
DataNode* MakeNodeWithColor(std::string_view name, std::string_view key, Color value);

// Frees the node's children and following siblings and empties its own
// strings; the node's own block is the caller's to delete.
void FreeNodeTree(DataNode* node);

// Reads a data file into a new tree: the first top-level group, with the
// other top-level groups as its following siblings. Null (and one line on
// standard output) when the file is missing, unreadable or malformed. The
// caller frees the result with FreeNodeTree and deletes it.
DataNode* ReadDataFile(std::string_view path);

// Writes `node` and its following siblings, with their subtrees, in the
// canonical form: two spaces of indentation per level, no final line feed.
// False (and one line on standard output) when the file cannot be written
// or a name or value contains a double quote, which the format cannot hold.
bool WriteDataFile(std::string_view path, const DataNode* node);

// Values as the writer writes them.
System::String IntToString(int32_t value);
System::String HexToString(uint32_t value);  // "0x" and eight upper-case digits
System::String FloatToString(float value);   // fixed, six decimals
System::String BoolToString(bool value);     // "true" or "false"
System::String ColorToString(Color value);   // "r g b a"

// The type code of a value text, tested in the order hex, int, float, bool,
// colour; anything else is a string.
DataNodeType ClassifyValue(std::string_view text);
// True when the text is exactly "true".
bool ParseBool(std::string_view text);

// The last child of `node`, or null.
DataNode* GetLastChild(const DataNode* node);
// Links `child` (with any siblings it already has) as the last child of
// `parent`.
void AppendChild(DataNode* parent, DataNode* child);
// A deep copy of `node` and its following siblings. Null when `node` is
// null or no memory is left.
DataNode* CopyTree(const DataNode* node);
// True when both lists have equal names in the same order, the same
// structure, equal types and equal values for the type.
bool CompareTrees(const DataNode* a, const DataNode* b);
