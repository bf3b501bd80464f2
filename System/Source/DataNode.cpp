#include "System/Source/DataNode.h"

#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "System/Source/Components/Meta.h"
#include "System/Source/ResourcePath.h"

namespace {

constexpr size_t kNoPos = std::string::npos;

// Deletes a node list with all its subtrees. Each node's children are
// spliced in front of the rest of the list before the node goes, so neither
// long sibling lists nor deep nesting use the call stack.
void DeleteNodeList(DataNode* list) {
    while (list) {
        DataNode* node = list;
        if (node->firstChild) {
            DataNode* tail = node->firstChild;
            while (tail->nextSibling) tail = tail->nextSibling;
            tail->nextSibling = node->nextSibling;
            node->nextSibling = node->firstChild;
            node->firstChild = nullptr;
        }
        list = node->nextSibling;
        node->nextSibling = nullptr;
        delete node;
    }
}

// The first of `start` and its following siblings named `key`.
DataNode* FindInList(DataNode* start, std::string_view key) {
    for (DataNode* node = start; node; node = node->nextSibling) {
        if (std::string_view(node->name) == key) return node;
    }
    return nullptr;
}

// The stores behind the setters. The number slot is cleared first so that
// the bytes a narrower value leaves untouched read as zero.
DataNode::Number& ClearNumber(DataNode* node, int type) {
    node->number.ptr = nullptr;
    node->type = type;
    return node->number;
}

void AssignInt(DataNode* node, int32_t value) {
    ClearNumber(node, kDataInt).i = value;
}
void AssignHex(DataNode* node, uint32_t value) {
    ClearNumber(node, kDataHex).hex = value;
}
void AssignFloat(DataNode* node, float value) {
    ClearNumber(node, kDataFloat).f = value;
}
void AssignDouble(DataNode* node, double value) {
    ClearNumber(node, kDataDouble).d = value;
}
void AssignBool(DataNode* node, bool value) {
    ClearNumber(node, kDataBool).i = value ? 1 : 0;
}
void AssignPointer(DataNode* node, void* value) {
    ClearNumber(node, kDataPointer).ptr = value;
}

void AssignString(DataNode* node, std::string_view value) {
    node->text.assign(value.data(), value.size());
    node->type = kDataString;
}

void AssignColor(DataNode* node, Color value) {
    node->color = value;
    node->type = kDataColor;
}

// Find-or-create `key` from `node`, then store into it.
template <class Store>
DataNode* SetWith(DataNode* node, std::string_view key, Store store) {
    DataNode* target = FindNode(node, key, true);
    if (target) store(target);
    return target;
}

// The node `key` names from `start` when it holds `type`, else null.
const DataNode* FindTyped(const DataNode* start, std::string_view key, int type) {
    const DataNode* node = start;
    if (start && !key.empty()) node = FindInList(const_cast<DataNode*>(start), key);
    return node && node->type == type ? node : nullptr;
}

// A root named `name` with one child `key` holding what `store` puts in it;
// null (nothing left behind) when no memory is left.
template <class Store>
DataNode* MakeWith(std::string_view name, std::string_view key, Store store) {
    DataNode* root = MakeNode(name);
    if (!root) return nullptr;
    DataNode* child = CreateNode(root, key, nullptr);
    if (!child) {
        delete root;
        return nullptr;
    }
    store(child);
    return root;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// An optional "-" followed by digits only; "" and "-" count.
bool IsIntegerText(std::string_view text) {
    if (!text.empty() && text[0] == '-') text.remove_prefix(1);
    for (char c : text) {
        if (!IsDigit(c)) return false;
    }
    return true;
}

bool IsHexText(std::string_view text) {
    if (text.size() <= 2 || text.substr(0, 2) != "0x") return false;
    for (char c : text.substr(2)) {
        if (!IsDigit(c) && !(c >= 'A' && c <= 'F')) return false;
    }
    return true;
}

bool IsFloatText(std::string_view text) {
    size_t point = text.find('.');
    if (point == kNoPos) return false;
    return IsIntegerText(text.substr(0, point)) && IsIntegerText(text.substr(point + 1));
}

// Splits at the first three spaces; false when there are fewer.
bool SplitColorText(std::string_view text, std::string_view (&parts)[4]) {
    for (int i = 0; i < 3; ++i) {
        size_t space = text.find(' ');
        if (space == kNoPos) return false;
        parts[i] = text.substr(0, space);
        text.remove_prefix(space + 1);
    }
    parts[3] = text;
    return true;
}

bool IsColorText(std::string_view text) {
    std::string_view parts[4];
    if (!SplitColorText(text, parts)) return false;
    for (std::string_view part : parts) {
        if (!IsIntegerText(part)) return false;
    }
    return true;
}

// Integer text to int32, saturating where the value does not fit.
int32_t ParseIntText(std::string_view text) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    int64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) break;
        value = value * 10 + (c - '0');
        if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;
    }
    if (negative) return static_cast<int32_t>(-value);
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

// "0x" and upper-case digits to an unsigned 32-bit value, saturating at
// 0xFFFFFFFF.
uint32_t ParseHexText(std::string_view text) {
    uint64_t value = 0;
    for (char c : text.substr(2)) {
        value = value * 16 + uint64_t(IsDigit(c) ? c - '0' : c - 'A' + 10);
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

// Decimal text to float; values beyond the float range saturate.
float ParseFloatText(std::string_view text) {
    double value = std::strtod(std::string(text).c_str(), nullptr);
    if (value > FLT_MAX) return FLT_MAX;
    if (value < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(value);
}

Color ParseColorText(std::string_view text) {
    std::string_view parts[4];
    SplitColorText(text, parts);
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(static_cast<uint32_t>(ParseIntText(parts[i])) & 0xFFu);
    }
    return Color(bytes[0], bytes[1], bytes[2], bytes[3]);
}

// Stores a value read from a file with the type its text shows.
void StoreValueText(DataNode* node, std::string_view text) {
    switch (ClassifyValue(text)) {
        case kDataHex:
            AssignHex(node, ParseHexText(text));
            break;
        case kDataInt:
            AssignInt(node, ParseIntText(text));
            break;
        case kDataFloat:
            AssignFloat(node, ParseFloatText(text));
            break;
        case kDataBool:
            AssignBool(node, ParseBool(text));
            break;
        case kDataColor:
            AssignColor(node, ParseColorText(text));
            break;
        default:
            AssignString(node, text);
            break;
    }
}

System::String Format(const char* format, auto... values) {
    char buffer[64];
    int length = std::snprintf(buffer, sizeof buffer, format, values...);
    if (length < 0) return System::String();
    if (size_t(length) < sizeof buffer) return System::String(buffer, size_t(length));
    // Only huge floats need more room.
    std::string big(size_t(length) + 1, '\0');
    std::snprintf(big.data(), big.size(), format, values...);
    return System::String(big.data(), size_t(length));
}

// A quoted string: the positions of its two quotes.
struct Quoted {
    size_t open = kNoPos;
    size_t close = kNoPos;
    bool Closed() const { return close != kNoPos; }
};

// The quoted string opened by the quote at `open` (kNoPos for none).
Quoted QuotedAt(const std::string& text, size_t open) {
    Quoted q;
    q.open = open;
    if (open != kNoPos) q.close = text.find('"', open + 1);
    return q;
}

Quoted FindQuoted(const std::string& text, size_t from) {
    return QuotedAt(text, text.find('"', from));
}

std::string_view Inside(const std::string& text, const Quoted& q) {
    return std::string_view(text).substr(q.open + 1, q.close - q.open - 1);
}

// A group being read and the last of its children so far.
struct OpenGroup {
    DataNode* node;
    DataNode* last;
};

// Builds the tree of a whole data file's text. Null when the text breaks
// the format (no root, a group never closed, a quote never closed, a group
// name without its "{"); every step moves forward, so it always ends.
DataNode* ParseDataText(const std::string& text) {
    Quoted rootName = FindQuoted(text, 0);
    if (!rootName.Closed()) return nullptr;
    size_t brace = text.find('{', rootName.close + 1);
    if (brace == kNoPos) return nullptr;
    DataNode* root = MakeNode(Inside(text, rootName));
    if (!root) return nullptr;

    std::vector<OpenGroup> open{{root, nullptr}};
    DataNode* lastTop = root;
    size_t pos = brace + 1;
    size_t quote = text.find('"', pos);
    size_t close = text.find('}', pos);
    // Each pass moves the position forward; a break means the text is
    // broken.
    while (true) {
        // The next quote and the next "}" stay valid until the position
        // passes them, so long runs of either are not searched again.
        if (quote != kNoPos && quote < pos) quote = text.find('"', pos);
        if (close != kNoPos && close < pos) close = text.find('}', pos);
        if (open.empty()) {
            // Between top-level groups: another one, or the end.
            if (quote == kNoPos) return root;
            Quoted name = QuotedAt(text, quote);
            brace = name.Closed() ? text.find('{', name.close + 1) : kNoPos;
            DataNode* top = brace == kNoPos ? nullptr : MakeNode(Inside(text, name));
            if (!top) break;
            lastTop->nextSibling = top;
            lastTop = top;
            open.push_back({top, nullptr});
            pos = brace + 1;
            continue;
        }
        if (close != kNoPos && close < quote) {  // also when there is no key
            open.pop_back();
            pos = close + 1;
            continue;
        }
        Quoted key = QuotedAt(text, quote);
        if (!key.Closed()) break;
        OpenGroup& group = open.back();
        std::string_view name = Inside(text, key);
        if (key.close + 1 < text.size() && text[key.close + 1] == '\n') {
            // A key on its own line opens a group.
            brace = text.find('{', key.close + 1);
            DataNode* child = brace == kNoPos ? nullptr : CreateNode(group.node, name, group.last);
            if (!child) break;
            group.last = child;
            open.push_back({child, nullptr});
            pos = brace + 1;
            continue;
        }
        Quoted value = FindQuoted(text, key.close + 1);
        if (!value.Closed()) break;
        // Find-or-create on the group, as the setters do.
        DataNode* target = name.empty() ? group.node : FindInList(group.node, name);
        if (!target) {
            target = CreateNode(group.node, name, group.last);
            if (!target) break;
            group.last = target;
        }
        StoreValueText(target, Inside(text, value));
        pos = value.close + 1;
    }
    FreeNodeTree(root);
    delete root;
    return nullptr;
}

// Fixed notation with six decimals, or with as many more as the value needs
// to read back unchanged: the six alone would round small and long values.
System::String ExactFloatText(float value) {
    System::String text = FloatToString(value);
    for (int decimals = 7; decimals <= 160 && ParseFloatText(text) != value; ++decimals) {
        text = Format("%.*f", decimals, double(value));
    }
    return text;
}

// The value of a childless node as the writer writes it; false for a node
// that holds no value.
bool ValueText(const DataNode* node, System::String& out) {
    switch (node->type) {
        case kDataInt:
            out = IntToString(node->number.i);
            return true;
        case kDataHex:
            out = HexToString(GetNodeHex("", node));
            return true;
        case kDataFloat:
            out = ExactFloatText(node->number.f);
            return true;
        case kDataDouble:
            out = Format("%f", node->number.d);
            return true;
        case kDataString:
            out = node->text;
            return true;
        case kDataBool:
            out = BoolToString(node->number.i != 0);
            return true;
        case kDataColor:
            out = ColorToString(node->color);
            return true;
        default:
            return false;
    }
}

bool HoldsValue(const DataNode* node) {
    return node->type >= kDataInt && node->type <= kDataColor;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    out += text;
    out += '"';
}

// Why a text cannot stand between quotes and read back as it is; null when
// it can. The reader drops the "\r" of every "\r\n".
const char* TextProblem(std::string_view text) {
    if (text.find('"') != kNoPos) return "a name or value contains a double quote";
    if (text.find("\r\n") != kNoPos) return "a name or value contains a CR LF line end";
    return nullptr;
}

// Why a node cannot be written so that it reads back the same; null when it
// can. `parent` is null at the top level.
const char* NodeProblem(const DataNode* node, const DataNode* parent) {
    if (const char* problem = TextProblem(node->name)) return problem;
    bool leaf = !node->firstChild && HoldsValue(node);
    // The reader stores such a leaf into its group (a lookup from the group
    // node), and reads only groups at the top level.
    if (leaf && !parent) return "a top-level entry holds a value";
    if (leaf && (node->name.empty() || node->name == parent->name)) {
        return "a leaf is unnamed or named like its group";
    }
    if (node->firstChild && HoldsValue(node)) return "a group holds a value of its own";
    if (node->type == kDataFloat && !std::isfinite(node->number.f)) {
        return "a number is not finite";
    }
    return nullptr;
}

// The canonical text of a node list; the reason when the tree cannot be
// written so that it reads back the same (null when it can). A childless
// node without a value is written as an empty group so that it reads back
// as one.
const char* TreeToText(const DataNode* node, std::string& out) {
    std::vector<const DataNode*> parents;
    auto indent = [&](size_t depth) { out.append(depth * 2, ' '); };
    System::String value;
    while (node) {
        size_t depth = parents.size();
        if (const char* problem = NodeProblem(node, parents.empty() ? nullptr : parents.back())) {
            return problem;
        }
        indent(depth);
        AppendQuoted(out, node->name);
        if (node->firstChild) {
            out += '\n';
            indent(depth);
            out += "{\n";
            parents.push_back(node);
            node = node->firstChild;
            continue;
        }
        if (ValueText(node, value)) {
            if (const char* problem = TextProblem(value)) return problem;
            out += "  ";
            AppendQuoted(out, value);
        } else {
            out += '\n';
            indent(depth);
            out += "{\n";
            indent(depth);
            out += '}';
        }
        // Move on: the next sibling, or close the groups that are done.
        while (node && !node->nextSibling) {
            if (parents.empty()) {
                node = nullptr;
                break;
            }
            node = parents.back();
            parents.pop_back();
            out += '\n';
            indent(parents.size());
            out += '}';
        }
        if (node) {
            out += '\n';
            node = node->nextSibling;
        }
    }
    return nullptr;
}

bool SameValue(const DataNode& a, const DataNode& b) {
    switch (a.type) {
        case kDataInt:
        case kDataBool:
            return a.number.i == b.number.i;
        case kDataHex:
            return std::memcmp(&a.number, &b.number, sizeof a.number) == 0;
        case kDataFloat:
            return a.number.f == b.number.f;
        case kDataDouble:
            return a.number.d == b.number.d;
        case kDataString:
            return a.text == b.text;
        case kDataColor:
            return a.color == b.color;
        default:
            return true;
    }
}

}  // namespace

DataNode::~DataNode() {
    DeleteNodeList(firstChild);
    DeleteNodeList(nextSibling);
}

DataNode* FindNode(DataNode* start, std::string_view key, bool create) {
    if (!start || key.empty()) return start;
    if (DataNode* found = FindInList(start, key)) return found;
    return create ? CreateNode(start, key, GetLastChild(start)) : nullptr;
}

DataNode* CreateNode(DataNode* parent, std::string_view key, DataNode* previous) {
    DataNode* node = new DataNode;
    if (!node) return nullptr;
    node->name.assign(key.data(), key.size());
    if (previous) {
        node->nextSibling = previous->nextSibling;
        previous->nextSibling = node;
    } else if (parent) {
        node->nextSibling = parent->firstChild;
        parent->firstChild = node;
    }
    return node;
}

DataNode* SetNodeInt(DataNode* node, std::string_view key, int32_t value) {
    return SetWith(node, key, [&](DataNode* n) { AssignInt(n, value); });
}

DataNode* SetNodeHex(DataNode* node, std::string_view key, uint32_t value) {
    return SetWith(node, key, [&](DataNode* n) { AssignHex(n, value); });
}

DataNode* SetNodeFloat(DataNode* node, std::string_view key, float value) {
    return SetWith(node, key, [&](DataNode* n) { AssignFloat(n, value); });
}

DataNode* SetNodeDouble(DataNode* node, std::string_view key, double value) {
    return SetWith(node, key, [&](DataNode* n) { AssignDouble(n, value); });
}

DataNode* SetNodeString(DataNode* node, std::string_view key, std::string_view value) {
    return SetWith(node, key, [&](DataNode* n) { AssignString(n, value); });
}

DataNode* SetNodeBool(DataNode* node, std::string_view key, bool value) {
    return SetWith(node, key, [&](DataNode* n) { AssignBool(n, value); });
}

DataNode* SetNodeColor(DataNode* node, std::string_view key, Color value) {
    return SetWith(node, key, [&](DataNode* n) { AssignColor(n, value); });
}

DataNode* SetNodePointer(DataNode* node, std::string_view key, void* value) {
    return SetWith(node, key, [&](DataNode* n) { AssignPointer(n, value); });
}

int32_t GetNodeInt(std::string_view key, const DataNode* start) {
    const DataNode* node = FindTyped(start, key, kDataInt);
    return node ? node->number.i : 0;
}

uint32_t GetNodeHex(std::string_view key, const DataNode* start) {
    const DataNode* node = FindTyped(start, key, kDataHex);
    if (!node) return 0;
    // A pointer shares the code; its low half is read the same way.
    uint32_t value;
    std::memcpy(&value, &node->number, sizeof value);
    return value;
}

float GetNodeFloat(std::string_view key, const DataNode* start) {
    const DataNode* node = FindTyped(start, key, kDataFloat);
    return node ? node->number.f : 0.0f;
}

double GetNodeDouble(std::string_view key, const DataNode* start) {
    const DataNode* node = FindTyped(start, key, kDataDouble);
    return node ? node->number.d : 0.0;
}

double GetNodeNumber(std::string_view key, const DataNode* start) {
    const DataNode* node = start;
    if (start && !key.empty()) node = FindInList(const_cast<DataNode*>(start), key);
    if (!node) return 0.0;
    switch (node->type) {
        case kDataInt: return node->number.i;
        case kDataFloat: return node->number.f;
        case kDataDouble: return node->number.d;
        default: return 0.0;
    }
}

int32_t GetNodeWholeNumber(std::string_view key, const DataNode* start) {
    return SafeDoubleToInt(GetNodeNumber(key, start));
}

System::String GetNodeString(std::string_view key, const DataNode* start) {
    const DataNode* node = FindTyped(start, key, kDataString);
    return node ? node->text : System::String();
}

bool GetNodeBool(std::string_view key, const DataNode* start) {
    const DataNode* node = FindTyped(start, key, kDataBool);
    return node && node->number.i != 0;
}

Color GetNodeColor(std::string_view key, const DataNode* start) {
    const DataNode* node = FindTyped(start, key, kDataColor);
    return node ? node->color : Color(0, 0, 0, 255);
}

void* GetNodePointer(std::string_view key, const DataNode* start) {
    const DataNode* node = FindTyped(start, key, kDataPointer);
    if (!node) return nullptr;
    // A hex value shares the code; the cleared slot makes it a whole pointer.
    void* value;
    std::memcpy(&value, &node->number, sizeof value);
    return value;
}

DataNode* MakeNode(std::string_view name) {
    return CreateNode(nullptr, name, nullptr);
}

DataNode* MakeNodeWithInt(std::string_view name, std::string_view key) {
    return MakeWith(name, key, [](DataNode* n) { AssignInt(n, 0); });
}

DataNode* MakeNodeWithFloat(std::string_view name, std::string_view key, float value) {
    return MakeWith(name, key, [&](DataNode* n) { AssignFloat(n, value); });
}

DataNode* MakeNodeWithString(std::string_view name, std::string_view key, std::string_view value) {
    return MakeWith(name, key, [&](DataNode* n) { AssignString(n, value); });
}

DataNode* MakeNodeWithString(std::string_view name, std::string_view key, const char* value) {
    return MakeNodeWithString(name, key, std::string_view(value ? value : ""));
}

DataNode* MakeNodeWithHex(std::string_view name, std::string_view key, uint32_t value) {
    return MakeWith(name, key, [&](DataNode* n) { AssignHex(n, value); });
}

DataNode* MakeNodeWithColor(std::string_view name, std::string_view key, Color value) {
    return MakeWith(name, key, [&](DataNode* n) { AssignColor(n, value); });
}

void FreeNodeTree(DataNode* node) {
    if (!node) return;
    DeleteNodeList(std::exchange(node->firstChild, nullptr));
    DeleteNodeList(std::exchange(node->nextSibling, nullptr));
    System::String().swap(node->name);
    System::String().swap(node->text);
}

DataNode* ReadDataFile(std::string_view path) {
    std::string where(path);
    std::FILE* file = System::OpenResource(path, "rb");
    if (!file) {
        std::printf("Could not open data file %s\n", where.c_str());
        return nullptr;
    }
    std::string text;
    char chunk[1000];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        std::printf("Could not read data file %s\n", where.c_str());
        return nullptr;
    }
    // Files written on other systems may end their lines with "\r\n".
    size_t kept = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        text[kept++] = text[i];
    }
    text.resize(kept);

    DataNode* root = ParseDataText(text);
    if (!root) std::printf("Data file %s is malformed\n", where.c_str());
    return root;
}

bool WriteDataFile(std::string_view path, const DataNode* node) {
    std::string where(path);
    std::string text;
    if (const char* problem = TreeToText(node, text)) {
        std::printf("Data file %s not written: %s\n", where.c_str(), problem);
        return false;
    }
    std::FILE* file = System::OpenResource(path, "wb");
    bool ok = file != nullptr;
    if (file) {
        ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        ok = std::fclose(file) == 0 && ok;
    }
    if (!ok) std::printf("Could not write data file %s\n", where.c_str());
    return ok;
}

System::String IntToString(int32_t value) {
    return Format("%" PRId32, value);
}

System::String HexToString(uint32_t value) {
    return Format("0x%08" PRIX32, value);
}

System::String FloatToString(float value) {
    return Format("%f", double(value));
}

System::String BoolToString(bool value) {
    return System::MakeString(value ? "true" : "false");
}

System::String ColorToString(Color value) {
    return Format("%d %d %d %d", value.r, value.g, value.b, value.a);
}

DataNodeType ClassifyValue(std::string_view text) {
    if (IsHexText(text)) return kDataHex;
    if (IsIntegerText(text)) return kDataInt;
    if (IsFloatText(text)) return kDataFloat;
    if (text == "true" || text == "false") return kDataBool;
    if (IsColorText(text)) return kDataColor;
    return kDataString;
}

bool ParseBool(std::string_view text) {
    return text == "true";
}

DataNode* GetLastChild(const DataNode* node) {
    DataNode* child = node ? node->firstChild : nullptr;
    while (child && child->nextSibling) child = child->nextSibling;
    return child;
}

void AppendChild(DataNode* parent, DataNode* child) {
    if (!parent || !child) return;
    if (DataNode* last = GetLastChild(parent)) {
        last->nextSibling = child;
    } else {
        parent->firstChild = child;
    }
}

DataNode* CopyTree(const DataNode* node) {
    DataNode* copy = nullptr;
    // Pending copies: a source node and the link the copy goes into.
    std::vector<std::pair<const DataNode*, DataNode**>> pending{{node, &copy}};
    while (!pending.empty()) {
        auto [source, link] = pending.back();
        pending.pop_back();
        if (!source) continue;
        DataNode* made = MakeNode(source->name);
        if (!made) {
            FreeNodeTree(copy);
            delete copy;
            return nullptr;
        }
        made->text = source->text;
        made->number = source->number;
        made->color = source->color;
        made->type = source->type;
        *link = made;
        pending.push_back({source->nextSibling, &made->nextSibling});
        pending.push_back({source->firstChild, &made->firstChild});
    }
    return copy;
}

bool CompareTrees(const DataNode* a, const DataNode* b) {
    std::vector<std::pair<const DataNode*, const DataNode*>> pending{{a, b}};
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        if (!x || !y) {
            if (x != y) return false;
            continue;
        }
        if (x->name != y->name || x->type != y->type || !SameValue(*x, *y)) return false;
        pending.push_back({x->nextSibling, y->nextSibling});
        pending.push_back({x->firstChild, y->firstChild});
    }
    return true;
}
