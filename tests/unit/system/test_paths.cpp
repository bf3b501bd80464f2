#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "System/Source/ResourcePath.h"
#include "support/TestSupport.h"

namespace {

// A small resource tree in a temporary folder.
struct ResourceTree {
    ResourceTree() {
        script = dir.Write("Resources/Lua/Globals/LuaGlobals.lua", "-- globals\n");
        level = dir.Write("Resources/Levels/00_Menu_Splash.tmx", "<map/>");
    }
    std::string Under(const std::string& relative) const { return dir.Path() + "/" + relative; }
    TestSupport::TempDir dir;
    std::string script;
    std::string level;
};

// Runs the body with the working directory set to `path`, then restores it.
struct WorkingDirectory {
    explicit WorkingDirectory(const std::string& path) : saved(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~WorkingDirectory() { std::filesystem::current_path(saved); }
    std::filesystem::path saved;
};

}  // namespace

TEST(ResourcePath, ExactPathsAreKept) {
    ResourceTree tree;
    EXPECT_EQ(System::ResolvePath(tree.script), tree.script);
    EXPECT_EQ(System::ResolvePath(tree.Under("Resources/Levels")), tree.Under("Resources/Levels"));
    EXPECT_EQ(System::ResolvePath(""), "");
}

TEST(ResourcePath, WrongCaseIsFoundPartByPart) {
    ResourceTree tree;
    EXPECT_EQ(System::ResolvePath(tree.Under("resources/lua/GLOBALS/luaglobals.LUA")), tree.script);
    EXPECT_EQ(System::ResolvePath(tree.Under("RESOURCES/Levels/00_menu_splash.TMX")), tree.level);
    // Only the parts that differ are looked up; doubled and "." parts drop out.
    EXPECT_EQ(System::ResolvePath(tree.Under("Resources//lua/./Globals/LuaGlobals.lua")),
              tree.script);
}

TEST(ResourcePath, BackslashesBecomeSlashes) {
    ResourceTree tree;
    EXPECT_EQ(System::NormalizePath("a\\b\\c.txt"), "a/b/c.txt");
    EXPECT_EQ(System::ResolvePath(tree.dir.Path() + "\\Resources\\Lua\\Globals\\LuaGlobals.lua"),
              tree.script);
    EXPECT_EQ(System::ResolvePath(tree.dir.Path() + "\\resources\\LUA\\globals\\LUAGLOBALS.lua"),
              tree.script);
}

TEST(ResourcePath, MissingFilesKeepTheFoldersFound) {
    ResourceTree tree;
    // The folders that exist are found whatever their case, so a new file can
    // be made in them; the missing rest stays as written.
    std::string missing = tree.dir.Path() + "\\resources\\Lua\\Nowhere.lua";
    EXPECT_EQ(System::ResolvePath(missing), tree.Under("Resources/Lua/Nowhere.lua"));
    EXPECT_EQ(System::ResolvePath(tree.Under("Nothing/Lua/Globals/LuaGlobals.lua")),
              tree.Under("Nothing/Lua/Globals/LuaGlobals.lua"));
    // A name that only shares a prefix with an entry is not a match.
    EXPECT_EQ(System::ResolvePath(tree.Under("resources/lua/globals/luaglobals")),
              tree.Under("Resources/Lua/Globals/luaglobals"));
    EXPECT_EQ(System::OpenResource(tree.Under("resources/missing.txt"), "rb"), nullptr);
}

TEST(ResourcePath, RelativePathsResolveFromTheWorkingDirectory) {
    ResourceTree tree;
    WorkingDirectory cwd(tree.dir.Path());
    EXPECT_EQ(System::ResolvePath("Resources/Lua/Globals/LuaGlobals.lua"),
              "Resources/Lua/Globals/LuaGlobals.lua");
    EXPECT_EQ(System::ResolvePath("resources\\levels\\00_MENU_SPLASH.tmx"),
              "Resources/Levels/00_Menu_Splash.tmx");
    EXPECT_EQ(System::ResolvePath("resources/missing"), "Resources/missing");

    std::FILE* file = System::OpenResource("RESOURCES/LUA/GLOBALS/LUAGLOBALS.LUA", "rb");
    ASSERT_NE(file, nullptr);
    char text[32] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof(text) - 1, file), 11u);
    std::fclose(file);
    EXPECT_STREQ(text, "-- globals\n");
}

TEST(ResourcePath, FoldersAndDevicesAreNoFiles) {
    ResourceTree tree;
    EXPECT_FALSE(System::IsNonFile(tree.script));
    EXPECT_FALSE(System::IsNonFile(tree.Under("missing.txt")));
    EXPECT_TRUE(System::IsNonFile(tree.Under("Resources")));
    EXPECT_TRUE(System::IsNonFile("/dev/null"));
    // Opening one fails as for a missing file, also under another case.
    errno = 0;
    EXPECT_EQ(System::OpenResource(tree.Under("resources/LEVELS"), "rb"), nullptr);
    EXPECT_EQ(errno, EISDIR);
    std::FILE* file = System::OpenResource(tree.Under("resources/levels/00_menu_splash.tmx"), "rb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
}
