#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "System/Source/DataNode.h"
#include "support/TestSupport.h"

using TestSupport::CaptureStdout;
using TestSupport::ReadFile;
using TestSupport::TempDir;

namespace {

// The eight-line layout: a leaf and a group holding a colour.
const char kLayout[] =
    "\"Layout\"\n"
    "{\n"
    "  \"xPos\"  \"100\"\n"
    "  \"Panel\"\n"
    "  {\n"
    "    \"color\"  \"255 0 0 255\"\n"
    "  }\n"
    "}";

// Frees a tree the way its owners do.
struct TreeDeleter {
    void operator()(DataNode* node) const {
        FreeNodeTree(node);
        delete node;
    }
};
using Tree = std::unique_ptr<DataNode, TreeDeleter>;

Tree ReadText(const TempDir& dir, const std::string& text, std::string* printed = nullptr) {
    std::string path = dir.Write("data.txt", text);
    DataNode* root = nullptr;
    std::string out = CaptureStdout([&] { root = ReadDataFile(path); });
    if (printed) *printed = out;
    return Tree(root);
}

std::string WriteText(const TempDir& dir, const DataNode* node) {
    std::string path = dir.Path() + "/out.txt";
    EXPECT_TRUE(WriteDataFile(path, node));
    return ReadFile(path);
}

}  // namespace

TEST(DataNodeValues, ClassifierFollowsTheTypeTableInOrder) {
    EXPECT_EQ(ClassifyValue("0x1F"), kDataHex);
    EXPECT_EQ(ClassifyValue("0x00FF"), kDataHex);
    EXPECT_EQ(ClassifyValue("0x1f"), kDataString);  // lower-case digits
    EXPECT_EQ(ClassifyValue("0x"), kDataString);    // too short for hex
    EXPECT_EQ(ClassifyValue("12"), kDataInt);
    EXPECT_EQ(ClassifyValue("-12"), kDataInt);
    EXPECT_EQ(ClassifyValue("-"), kDataInt);
    EXPECT_EQ(ClassifyValue(""), kDataInt);
    EXPECT_EQ(ClassifyValue("1.5"), kDataFloat);
    EXPECT_EQ(ClassifyValue("1.-5"), kDataFloat);
    EXPECT_EQ(ClassifyValue("-.5"), kDataFloat);
    EXPECT_EQ(ClassifyValue("1.2.3"), kDataString);
    EXPECT_EQ(ClassifyValue("1e5"), kDataString);
    EXPECT_EQ(ClassifyValue("true"), kDataBool);
    EXPECT_EQ(ClassifyValue("false"), kDataBool);
    EXPECT_EQ(ClassifyValue("True"), kDataString);
    EXPECT_EQ(ClassifyValue("1 2 3 4"), kDataColor);
    EXPECT_EQ(ClassifyValue("256 0 0 255"), kDataColor);
    EXPECT_EQ(ClassifyValue("1 2 3"), kDataString);
    EXPECT_EQ(ClassifyValue("1 2 3 4 5"), kDataString);
    EXPECT_EQ(ClassifyValue("1  2 3"), kDataColor);  // an empty part counts
    EXPECT_EQ(ClassifyValue("a b c d"), kDataString);

    EXPECT_TRUE(ParseBool("true"));
    EXPECT_FALSE(ParseBool("TRUE"));
    EXPECT_FALSE(ParseBool("true "));
    EXPECT_FALSE(ParseBool("1"));
}

TEST(DataNodeValues, ConvertersWriteTheFileForms) {
    EXPECT_EQ(IntToString(-42), "-42");
    EXPECT_EQ(HexToString(255), "0x000000FF");
    EXPECT_EQ(HexToString(0xFFFFFFFFu), "0xFFFFFFFF");
    EXPECT_EQ(FloatToString(1.5f), "1.500000");
    EXPECT_EQ(FloatToString(-0.25f), "-0.250000");
    EXPECT_EQ(BoolToString(true), "true");
    EXPECT_EQ(BoolToString(false), "false");
    EXPECT_EQ(ColorToString(Color(1, 22, 133, 255)), "1 22 133 255");
}

TEST(DataNodeValues, ReaderConvertsEachDetectedType) {
    TempDir dir;
    Tree root = ReadText(dir,
                         "\"Root\"\n{\n"
                         "  \"hex\"  \"0x00FF\"\n"
                         "  \"lower\"  \"0x00ff\"\n"
                         "  \"minus\"  \"-\"\n"
                         "  \"empty\"  \"\"\n"
                         "  \"point\"  \"1.-5\"\n"
                         "  \"red\"  \"256 0 0 255\"\n"
                         "  \"flag\"  \"true\"\n"
                         "  \"huge\"  \"99999999999\"\n"
                         "  \"tiny\"  \"-99999999999\"\n"
                         "}");
    ASSERT_TRUE(root);
    const DataNode* first = root->firstChild;
    EXPECT_EQ(GetNodeHex("hex", first), 255u);
    EXPECT_EQ(GetNodeString("lower", first), "0x00ff");
    EXPECT_EQ(FindNode(root->firstChild, "minus", false)->type, kDataInt);
    EXPECT_EQ(GetNodeInt("minus", first), 0);
    EXPECT_EQ(FindNode(root->firstChild, "empty", false)->type, kDataInt);
    EXPECT_EQ(GetNodeFloat("point", first), 1.0f);
    EXPECT_EQ(GetNodeColor("red", first), Color(0, 0, 0, 255));
    EXPECT_TRUE(GetNodeBool("flag", first));
    // Integers out of range saturate instead of wrapping.
    EXPECT_EQ(GetNodeInt("huge", first), INT32_MAX);
    EXPECT_EQ(GetNodeInt("tiny", first), INT32_MIN);
}

TEST(DataNodeLookup, FindSearchesTheListAndCreatesChildren) {
    Tree root(MakeNode("Root"));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->type, kDataNone);
    EXPECT_EQ(FindNode(root.get(), "", false), root.get());
    EXPECT_EQ(FindNode(root.get(), "Root", false), root.get());
    EXPECT_EQ(FindNode(root.get(), "a", false), nullptr);

    DataNode* a = SetNodeInt(root.get(), "a", 7);
    DataNode* b = SetNodeString(root.get(), "b", "text");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(root->firstChild, a);
    EXPECT_EQ(a->nextSibling, b);  // created as the last child
    // Children are not searched from the parent; siblings are.
    EXPECT_EQ(FindNode(root.get(), "b", false), nullptr);
    EXPECT_EQ(FindNode(a, "b", false), b);

    // The same key set twice on one node makes two children; the first wins.
    DataNode* again = SetNodeInt(root.get(), "a", 9);
    EXPECT_NE(again, a);
    EXPECT_EQ(GetLastChild(root.get()), again);
    EXPECT_EQ(GetNodeInt("a", root->firstChild), 7);

    // A getter of another type gives its default.
    EXPECT_EQ(GetNodeFloat("a", root->firstChild), 0.0f);
    EXPECT_EQ(GetNodeString("a", root->firstChild), "");
    EXPECT_EQ(GetNodeInt("b", root->firstChild), 0);
    EXPECT_EQ(GetNodeColor("b", root->firstChild), Color(0, 0, 0, 255));
    EXPECT_FALSE(GetNodeBool("a", root->firstChild));
    EXPECT_EQ(GetNodePointer("a", root->firstChild), nullptr);
    // A group holds no value: every getter gives the default for it.
    EXPECT_EQ(GetNodeInt("", root.get()), 0);
    // Missing keys and missing nodes.
    EXPECT_EQ(GetNodeInt("zzz", root->firstChild), 0);
    EXPECT_EQ(GetNodeString("zzz", nullptr), "");
    EXPECT_EQ(FindNode(nullptr, "x", true), nullptr);
    EXPECT_EQ(SetNodeInt(nullptr, "x", 1), nullptr);
}

TEST(DataNodeLookup, SettersStoreEveryType) {
    Tree root(MakeNode("Root"));
    int target = 0;
    SetNodeHex(root.get(), "hex", 0xDEADBEEF);
    SetNodeFloat(root.get(), "float", 2.5f);
    SetNodeDouble(root.get(), "double", 0.1);
    SetNodeBool(root.get(), "bool", true);
    SetNodeColor(root.get(), "color", Color(1, 2, 3, 4));
    SetNodePointer(root.get(), "from", &target);
    const DataNode* first = root->firstChild;
    EXPECT_EQ(GetNodeHex("hex", first), 0xDEADBEEFu);
    EXPECT_EQ(GetNodeFloat("float", first), 2.5f);
    EXPECT_EQ(GetNodeDouble("double", first), 0.1);
    EXPECT_EQ(GetNodeFloat("double", first), 0.0f);
    EXPECT_TRUE(GetNodeBool("bool", first));
    EXPECT_EQ(GetNodeColor("color", first), Color(1, 2, 3, 4));
    EXPECT_EQ(GetNodePointer("from", first), &target);
    // A hex value and a pointer share their code; the upper half of a hex
    // node's slot is clear.
    EXPECT_EQ(GetNodePointer("hex", first), reinterpret_cast<void*>(uintptr_t(0xDEADBEEF)));

    // Re-setting a node with a narrower value leaves no stale bytes.
    SetNodePointer(root.get(), "", &target);
    SetNodeHex(root.get(), "", 5);
    EXPECT_EQ(GetNodePointer("", root.get()), reinterpret_cast<void*>(uintptr_t(5)));
}

TEST(DataNodeLookup, BuildersMakeOneChild) {
    Tree n(MakeNodeWithInt("PauseMenu", "ToggleVisible"));
    ASSERT_TRUE(n && n->firstChild);
    EXPECT_EQ(n->type, kDataNone);
    EXPECT_EQ(n->firstChild->name, "ToggleVisible");
    EXPECT_EQ(n->firstChild->type, kDataInt);
    EXPECT_EQ(n->firstChild->nextSibling, nullptr);
    // A null text builds an empty string entry.
    Tree z(MakeNodeWithString("GLOBAL", "Function", static_cast<const char*>(nullptr)));
    EXPECT_EQ(z->firstChild->type, kDataString);
    EXPECT_EQ(GetNodeString("Function", z->firstChild), "");
    Tree c(MakeNodeWithColor("a", "b", Color(9, 8, 7, 6)));
    EXPECT_EQ(GetNodeColor("b", c->firstChild), Color(9, 8, 7, 6));
}

TEST(DataNodeLookup, CreateNodeKeepsTheRestOfTheList) {
    Tree root(MakeNode("Root"));
    DataNode* a = CreateNode(root.get(), "a", nullptr);
    DataNode* c = CreateNode(root.get(), "c", a);
    DataNode* b = CreateNode(root.get(), "b", a);
    DataNode* first = CreateNode(root.get(), "first", nullptr);
    EXPECT_EQ(root->firstChild, first);
    EXPECT_EQ(first->nextSibling, a);
    EXPECT_EQ(a->nextSibling, b);
    EXPECT_EQ(b->nextSibling, c);
    EXPECT_EQ(c->nextSibling, nullptr);

    DataNode* extra = MakeNode("extra");
    AppendChild(root.get(), extra);
    EXPECT_EQ(GetLastChild(root.get()), extra);
    DataNode* only = MakeNode("only");
    AppendChild(extra, only);
    EXPECT_EQ(extra->firstChild, only);
}

TEST(DataNodeFile, WritesTheLayoutByteForByte) {
    Tree root(MakeNode("Layout"));
    SetNodeInt(root.get(), "xPos", 100);
    DataNode* panel = CreateNode(root.get(), "Panel", GetLastChild(root.get()));
    SetNodeColor(panel, "color", Color(255, 0, 0, 255));
    TempDir dir;
    EXPECT_EQ(WriteText(dir, root.get()), kLayout);

    Tree back = ReadText(dir, kLayout);
    ASSERT_TRUE(back);
    EXPECT_TRUE(CompareTrees(root.get(), back.get()));
    EXPECT_EQ(GetNodeInt("xPos", back->firstChild), 100);
    EXPECT_EQ(GetNodeColor("color", FindNode(back->firstChild, "Panel", false)->firstChild),
              Color(255, 0, 0, 255));
}

TEST(DataNodeFile, RoundTripKeepsTheBytes) {
    const std::string text =
        "\"Root\"\n"
        "{\n"
        "  \"a\"  \"-3\"\n"
        "  \"h\"  \"0xFFFFFFFF\"\n"
        "  \"f\"  \"0.125000\"\n"
        "  \"s\"  \"hello world\"\n"
        "  \"b\"  \"false\"\n"
        "  \"Outer\"\n"
        "  {\n"
        "    \"Inner\"\n"
        "    {\n"
        "      \"c\"  \"1 2 3 4\"\n"
        "    }\n"
        "    \"Empty\"\n"
        "    {\n"
        "    }\n"
        "  }\n"
        "}\n"
        "\"Second\"\n"
        "{\n"
        "  \"x\"  \"1\"\n"
        "}";
    TempDir dir;
    Tree root = ReadText(dir, text);
    ASSERT_TRUE(root);
    // The second top-level group hangs behind the root.
    ASSERT_TRUE(root->nextSibling);
    EXPECT_EQ(root->nextSibling->name, "Second");
    // Hex values use the whole unsigned range.
    EXPECT_EQ(GetNodeHex("h", root->firstChild), 0xFFFFFFFFu);
    EXPECT_EQ(WriteText(dir, root.get()), text);

    Tree copy(CopyTree(root.get()));
    EXPECT_TRUE(CompareTrees(root.get(), copy.get()));
    EXPECT_EQ(WriteText(dir, copy.get()), text);
}

TEST(DataNodeFile, ValuesComeBackWithTheTypeTheirTextShows) {
    Tree root(MakeNode("Root"));
    SetNodeString(root.get(), "s", "12");
    SetNodeDouble(root.get(), "d", 2.5);
    SetNodeHex(root.get(), "h", 0x80000000u);
    TempDir dir;
    EXPECT_EQ(WriteText(dir, root.get()),
              "\"Root\"\n{\n  \"s\"  \"12\"\n  \"d\"  \"2.500000\"\n  \"h\"  \"0x80000000\"\n}");
    Tree back = ReadText(dir, ReadFile(dir.Path() + "/out.txt"));
    ASSERT_TRUE(back);
    EXPECT_EQ(GetNodeInt("s", back->firstChild), 12);
    EXPECT_EQ(GetNodeFloat("d", back->firstChild), 2.5f);
    EXPECT_EQ(GetNodeHex("h", back->firstChild), 0x80000000u);
}

TEST(DataNodeFile, ReaderQuirksOfTheFormat) {
    TempDir dir;
    // A leaf named like its group stores into the group; a repeated key
    // gives two children; a key not followed directly by its line end is a
    // leaf; text outside quotes and braces is skipped.
    Tree root = ReadText(dir,
                         "junk \"Root\" more junk {\n"
                         "\t\"Root\"  \"5\"\n"
                         "  \"k\"  \"1\"  \"k\"  \"2\"\n"
                         "  \"G\" \n"
                         "  \"v\"\n"
                         "}\n"
                         "trailing words\n");
    ASSERT_TRUE(root);
    EXPECT_EQ(GetNodeInt("", root.get()), 5);
    const DataNode* k = root->firstChild;
    ASSERT_TRUE(k && k->nextSibling);
    EXPECT_EQ(k->name, "k");
    EXPECT_EQ(k->nextSibling->name, "k");
    EXPECT_EQ(GetNodeInt("k", k), 1);
    EXPECT_EQ(GetNodeString("G", k), "v");
    EXPECT_EQ(root->nextSibling, nullptr);
}

TEST(DataNodeFile, CrLfLineEndsOpenGroups) {
    TempDir dir;
    Tree root = ReadText(dir,
                         "\"Layout\"\r\n{\r\n  \"xPos\"  \"100\"\r\n  \"Panel\"\r\n  {\r\n"
                         "    \"color\"  \"255 0 0 255\"\r\n  }\r\n}");
    ASSERT_TRUE(root);
    Tree expected = ReadText(dir, kLayout);
    EXPECT_TRUE(CompareTrees(root.get(), expected.get()));
}

TEST(DataNodeFile, BadFilesGiveNullAndOneLine) {
    TempDir dir;
    std::string printed;
    std::string missing = dir.Path() + "/nope.txt";
    printed = CaptureStdout([&] { EXPECT_EQ(ReadDataFile(missing), nullptr); });
    EXPECT_EQ(printed, "Could not open data file " + missing + "\n");

    // A folder is refused before it is opened.
    printed = CaptureStdout([&] { EXPECT_EQ(ReadDataFile(dir.Path()), nullptr); });
    EXPECT_EQ(printed, "Could not open data file " + dir.Path() + "\n");

    const char* broken[] = {
        "",                                              // no root
        "no quotes at all { }",                          // no root
        "\"Root",                                        // root name never closed
        "\"Root\" no brace",                             // root without "{"
        "\"Root\"\n{\n  \"a\"  \"1\"\n",                 // group never closed
        "\"Root\"\n{\n  \"G\"\n  {\n  \"a\"  \"1\"\n}",  // inner group never closed
        "\"Root\"\n{\n  \"a\"  \"1\n}",                  // value never closed
        "\"Root\"\n{\n  \"a\"\n}",                       // group name without "{"
        "\"Root\"\n{\n  \"a\"  }",                       // leaf without value
        "\"Root\"\n{\n  \"a}",                           // key never closed
        "\"Root\"\n{\n}\n\"Next\"",                      // second group without "{"
        "\"Root\"\n{\n}\n\"Next\"\n{\n",                 // second group never closed
    };
    for (const char* text : broken) {
        Tree root = ReadText(dir, text, &printed);
        EXPECT_FALSE(root) << text;
        EXPECT_EQ(printed, "Data file " + dir.Path() + "/data.txt is malformed\n") << text;
    }
}

TEST(DataNodeFile, PathsMatchCaseInsensitively) {
    TempDir dir;
    dir.Write("Config/Layout.TXT", kLayout);
    Tree root;
    CaptureStdout([&] { root.reset(ReadDataFile(dir.Path() + "/config/layout.txt")); });
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, "Layout");
}

TEST(DataNodeFile, WriterRefusesWhatCannotBeReadBack) {
    TempDir dir;
    Tree root(MakeNode("Root"));
    SetNodeString(root.get(), "say", "a \"quoted\" word");
    std::string path = dir.Path() + "/q.txt";
    std::string printed = CaptureStdout([&] { EXPECT_FALSE(WriteDataFile(path, root.get())); });
    EXPECT_NE(printed.find("double quote"), std::string::npos);
    EXPECT_EQ(ReadFile(path), "");  // nothing written

    root->firstChild->type = kDataInt;

    printed = CaptureStdout(
        [&] { EXPECT_FALSE(WriteDataFile(dir.Path() + "/missing/dir/x.txt", root.get())); });
    EXPECT_EQ(printed, "Could not write data file " + dir.Path() + "/missing/dir/x.txt\n");
}

TEST(DataNodeFile, WhatIsWrittenReadsBackOrIsRefused) {
    TempDir dir;
    std::string path = dir.Path() + "/tree.txt";
    auto refused = [&](const DataNode* tree, const char* reason) {
        std::string printed = CaptureStdout([&] { EXPECT_FALSE(WriteDataFile(path, tree)); });
        EXPECT_EQ(printed, "Data file " + path + " not written: " + reason + "\n");
    };
    // An empty key reads back into its group, as does a key named like it.
    Tree empty = ReadText(dir, "\"\"{\"\"\"\"}");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->firstChild, nullptr);
    Tree root(MakeNode("Root"));
    DataNode* unnamed = CreateNode(root.get(), "", nullptr);
    SetNodeString(unnamed, "", "x");
    refused(root.get(), "a leaf is unnamed or named like its group");
    unnamed->name = System::MakeString("Root");
    refused(root.get(), "a leaf is unnamed or named like its group");
    unnamed->name = System::MakeString("ok");
    // A value the group holds itself, a leaf at the top, a CR LF pair that
    // reading would drop, a number that is no number.
    SetNodeInt(root.get(), "", 5);
    refused(root.get(), "a group holds a value of its own");
    Tree leaf(MakeNodeWithInt("Top", "n"));
    refused(leaf->firstChild, "a top-level entry holds a value");
    root->type = kDataNone;
    SetNodeString(root.get(), "text", "two\r\nlines");
    refused(root.get(), "a name or value contains a CR LF line end");
    FindNode(root->firstChild, "text", false)->text = System::MakeString("one line");
    SetNodeFloat(root.get(), "nan", std::nanf(""));
    refused(root.get(), "a number is not finite");

    // Floats keep every bit, with six decimals where those suffice.
    FindNode(root->firstChild, "nan", false)->number.f = 0.1234567f;
    SetNodeFloat(root.get(), "tiny", 1.0e-30f);
    SetNodeFloat(root.get(), "huge", 3.0e38f);
    SetNodeFloat(root.get(), "plain", 0.5f);
    std::string text = WriteText(dir, root.get());
    EXPECT_NE(text.find("\"plain\"  \"0.500000\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"nan\"  \"0.1234567"), std::string::npos) << text;
    Tree back = ReadText(dir, text);
    ASSERT_TRUE(back);
    EXPECT_TRUE(CompareTrees(root.get(), back.get()));
    EXPECT_EQ(GetNodeFloat("tiny", back->firstChild), 1.0e-30f);
}

TEST(DataNodeTree, CompareNoticesEachDifference) {
    Tree a(MakeNode("Root"));
    SetNodeInt(a.get(), "i", 1);
    SetNodeString(a.get(), "s", "x");
    SetNodeColor(a.get(), "c", Color(1, 2, 3, 4));
    Tree b(CopyTree(a.get()));
    ASSERT_TRUE(CompareTrees(a.get(), b.get()));

    SetNodeInt(b->firstChild, "i", 2);
    EXPECT_FALSE(CompareTrees(a.get(), b.get()));
    SetNodeInt(b->firstChild, "i", 1);
    SetNodeFloat(b->firstChild, "i", 1.0f);
    EXPECT_FALSE(CompareTrees(a.get(), b.get()));  // same number, other type
    SetNodeInt(b->firstChild, "i", 1);
    SetNodeColor(b->firstChild, "c", Color(1, 2, 3, 5));
    EXPECT_FALSE(CompareTrees(a.get(), b.get()));
    SetNodeColor(b->firstChild, "c", Color(1, 2, 3, 4));
    ASSERT_TRUE(CompareTrees(a.get(), b.get()));
    SetNodeInt(b.get(), "extra", 0);
    EXPECT_FALSE(CompareTrees(a.get(), b.get()));
    EXPECT_FALSE(CompareTrees(a.get(), nullptr));
    EXPECT_TRUE(CompareTrees(nullptr, nullptr));
}

TEST(DataNodeTree, HugeListsAndDeepNestingDoNotUseTheStack) {
    constexpr int kCount = 300000;
    // A long sibling list and a deep chain, freed both ways.
    Tree wide(MakeNode("Wide"));
    DataNode* last = nullptr;
    for (int i = 0; i < kCount; ++i) last = CreateNode(wide.get(), "n", last);
    DataNode* deep = MakeNode("Deep");
    DataNode* at = deep;
    for (int i = 0; i < kCount; ++i) at = CreateNode(at, "n", nullptr);
    delete deep;
    wide.reset();

    // A deeply nested file reads, copies, compares and frees.
    std::string text;
    for (int i = 0; i < kCount; ++i) text += "\"g\"\n{\n";
    text += "\"v\"  \"1\"";
    text.append(kCount, '}');
    TempDir dir;
    Tree root = ReadText(dir, text);
    ASSERT_TRUE(root);
    Tree copy(CopyTree(root.get()));
    EXPECT_TRUE(CompareTrees(root.get(), copy.get()));
    DataNode* leaf = copy.get();
    while (leaf->firstChild) leaf = leaf->firstChild;
    EXPECT_EQ(leaf->name, "v");
    SetNodeInt(leaf, "", 2);
    EXPECT_FALSE(CompareTrees(root.get(), copy.get()));

    // The writer walks a nested tree in canonical form.
    constexpr int kDepth = 1000;
    std::string canonical;
    for (int d = 0; d < kDepth; ++d) {
        canonical +=
            std::string(size_t(d) * 2, ' ') + "\"g\"\n" + std::string(size_t(d) * 2, ' ') + "{\n";
    }
    canonical += std::string(size_t(kDepth) * 2, ' ') + "\"v\"  \"1\"";
    for (int d = kDepth - 1; d >= 0; --d) canonical += "\n" + std::string(size_t(d) * 2, ' ') + "}";
    Tree nested = ReadText(dir, canonical);
    ASSERT_TRUE(nested);
    EXPECT_EQ(WriteText(dir, nested.get()), canonical);
}
