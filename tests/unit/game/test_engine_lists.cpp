#include <gtest/gtest.h>

#include "Game/Engine.h"
#include "Gui/GuiManager.h"

namespace {

int g_deleted = 0;

class CountedMenu : public Menu {
public:
    ~CountedMenu() override { ++g_deleted; }
};

}  // namespace

TEST(EngineShutdown, AMenuInBothListsOrTwiceInOneIsDeletedOnce) {
    MenuList = new MenuListType();
    HudMenuList = new MenuListType();
    Menu* both = new CountedMenu();   // puts itself on MenuList
    Menu* twice = new CountedMenu();  // on MenuList, and twice on the HUD
    HudMenuList->push_back(both);
    HudMenuList->push_back(twice);
    HudMenuList->push_back(twice);
    HudMenuList->push_back(nullptr);
    Menu* hudOnly = new CountedMenu();
    MenuList->pop_back();
    HudMenuList->push_back(hudOnly);
    g_deleted = 0;
    DeleteMenuLists();
    EXPECT_EQ(g_deleted, 3);
    EXPECT_EQ(MenuList, nullptr);
    EXPECT_EQ(HudMenuList, nullptr);
    DeleteMenuLists();  // nothing left: nothing happens
}
