// Panels and labels from Lua: the method tables, the argument reads, a
// script that builds and reads back widgets, and widgets that died while a
// script still held them.
#include "Graphics/Camera.h"
#include "Gui/FastPanel.h"
#include "System/Source/Components/LuaBinding.h"
#include "gui_fixture.h"

namespace {

using GuiLua = GuiFixture;

size_t CountMethods(const System::MetaBase& meta) {
    size_t count = meta.Methods().size();
    return meta.Parent() ? count + CountMethods(*meta.Parent()) : count;
}

}  // namespace

TEST_F(GuiLua, MethodTablesHoldTheirNamesOnce) {
    EXPECT_EQ(CountMethods(System::MetaData<GuiPanel>::GetStatic()), 22u);
    EXPECT_EQ(CountMethods(System::MetaData<GuiLabel>::GetStatic()), 28u);
    EXPECT_EQ(CountMethods(System::MetaData<FastPanel>::GetStatic()), 0u);
    EXPECT_EQ(System::MetaData<GuiLabel>::GetStatic().Methods().count("SetCenter"), 1u);
    EXPECT_TRUE(True("GuiLabel.className == 'class GuiLabel' and FastPanel.className == 'class "
                     "FastPanel'"));
}

TEST_F(GuiLua, AScriptBuildsPanelsAndLabelsAndReadsThemBack) {
    std::string out = Output(R"lua(
        local p = GuiPanel:new()
        p:SetName("Box")
        p:SetWidth(300.7)
        p:SetHeight(-20.9)
        p:SetX(250.9)
        p:SetY(-3.5)
        p:SetLayer(2)
        p:SetBorder(3)
        p:SetFilled(0.7)
        p:SetHoverFill(-1)
        p:SetColorRGBA(255, 128, 0, 300)
        p:SetBorderColorRGBA(1, 2, 3, 256 + 7)
        print("xy " .. p:GetX() .. " " .. p:GetY())
        p:SetVisible(0.7)
        print("visible " .. p:IsVisible())
        p:SetVisible(-1)
        print("visible " .. p:IsVisible())
        local l = GuiLabel:new()
        l:SetText("hello")
        l:SetCenter(0)
        l:ScaleTextHeight(2)
        l:SetTextColorRGBA(9, 8, 7, 6)
        l:SetFont("NoSuchFontAnywhere", 12)
        l:SetMirror(p)
        l:SetNextFocus(p)
        l:SetFirstFocus(5)
        l:SetPrevFocus("p")
        p:SetMirror(5)
        label, panel = l, p
    )lua");
    EXPECT_NE(out.find("xy 250 -3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("visible 0\nvisible 1\n"), std::string::npos) << out;

    lua_getglobal(L, "panel");
    auto* p = dynamic_cast<GuiPanel*>(System::ToEngineObject(L, -1));
    lua_getglobal(L, "label");
    auto* l = dynamic_cast<GuiLabel*>(System::ToEngineObject(L, -1));
    lua_pop(L, 2);
    ASSERT_NE(p, nullptr);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(p->width, 300);
    EXPECT_EQ(p->height, -20);
    EXPECT_FALSE(p->filled);
    EXPECT_TRUE(p->hoverFill);
    EXPECT_EQ(p->fillColor, Color(255, 128, 0, 44));
    EXPECT_EQ(p->borderColor, Color(1, 2, 3, 7));
    EXPECT_EQ(p->mirrorWidth, nullptr);  // a number is no panel
    EXPECT_TRUE(l->scaleHeightToText);
    EXPECT_EQ(l->fontIndex, -1);
    EXPECT_EQ(l->mirrorWidth, p);
    EXPECT_EQ(l->mirrorHeight, p);
    EXPECT_EQ(l->nextFocus, p);
    EXPECT_EQ(l->firstFocus, nullptr);
    EXPECT_EQ(l->prevFocus, nullptr);

    // A position set by a message reads back truncated.
    DataNode* move = MakeNode("Box");
    SetNodeFloat(move, "xPos", 499.99f);
    PostGuiMessage(move);
    GuiRoot->AddChild(p);
    Frame();
    EXPECT_EQ(p->x, 499.99f);
    EXPECT_TRUE(True("panel:GetX() == 499"));

    Camera camera(0.0f, 0.0f);
    CurrentCamera = &camera;
    p->x = 500.0f;
    p->y = 450.0f;
    const int worldX = int(0.0f - camera.width * 0.5f + (979.0f / 1920.0f) * camera.width);
    EXPECT_TRUE(True("panel:GetGameX() == " + std::to_string(worldX) + " and panel:GetGameY() == "
                     "0"));
    CurrentCamera = nullptr;
}

TEST_F(GuiLua, AWidgetDeletedUnderAScriptRaisesAnError) {
    GuiLabel* label = Add<GuiLabel>("Gone", 10, 10, 0.0f, 0.0f);
    GuiPanel* keeper = Add("Keeper", 10, 10, 0.0f, 0.0f);
    Expose("gone", label);
    Expose("keeper", keeper);
    EXPECT_EQ(Run("gone:SetText('still here')"), "");
    GuiRoot->RemoveChildByName("Gone");
    EXPECT_NE(Error("gone:SetText('too late')").find("no longer exists"), std::string::npos);
    EXPECT_NE(Error("gone:GetX()").find("no longer exists"), std::string::npos);
    // As an argument it reads as no panel.
    EXPECT_EQ(Run("keeper:SetMirror(gone)"), "");
    EXPECT_EQ(keeper->mirrorWidth, nullptr);
    EXPECT_TRUE(True("gone.x == nil"));
    EXPECT_NE(Run("gone.x = 5"), "");
}

TEST_F(GuiLua, NumbersAreReadAsTextWhereTextIsMeant) {
    GuiLabel* label = Add<GuiLabel>("Score", 10, 10, 0.0f, 0.0f);
    Expose("score", label);
    auto shown = [&] { return std::string(label->text.data(), label->text.size()); };
    EXPECT_EQ(Run("score:SetText(42)"), "");
    EXPECT_EQ(shown(), "42");
    // As Lua writes numbers (tostring), whatever the size.
    Run("score:SetText(1e15)");
    EXPECT_EQ(shown(), "1e+15");
    Run("score:SetText(1/3)");
    EXPECT_EQ(shown(), "0.33333333333333");
    // Other values still read as no text.
    for (const char* other : {"true", "nil", "{}", "score"}) {
        Run("score:SetText('x') score:SetText(" + std::string(other) + ")");
        EXPECT_EQ(shown(), "") << other;
    }
    // Several numbers read as text in one call keep their own texts.
    const MetaValue a(7.0), b(8.0);
    const char* first = a.ToString();
    const char* second = b.ToString();
    EXPECT_STREQ(first, "7");
    EXPECT_STREQ(second, "8");
}

TEST_F(GuiLua, AReferenceReachesOnlyThePanelItWasMadeFor) {
    // A new panel at the address of a deleted one is another panel: the old
    // reference stays dead, as method, property and argument.
    alignas(GuiLabel) unsigned char place[sizeof(GuiLabel)];
    auto* first = ::new (place) GuiLabel(10, 10, 0.0f, 0.0f);
    Expose("old", first);
    first->~GuiLabel();
    auto* second = ::new (place) GuiLabel(10, 10, 0.0f, 0.0f);
    second->name = "Second";
    Expose("new", second);
    GuiPanel* keeper = Add("Keeper", 10, 10, 0.0f, 0.0f);
    Expose("keeper", keeper);
    EXPECT_NE(Error("old:SetName('taken')").find("no longer exists"), std::string::npos);
    EXPECT_STREQ(second->name.c_str(), "Second");
    EXPECT_TRUE(True("old.x == nil"));
    EXPECT_EQ(Run("keeper:SetMirror(old)"), "");
    EXPECT_EQ(keeper->mirrorWidth, nullptr);
    EXPECT_EQ(Run("new:SetName('mine')"), "");
    EXPECT_STREQ(second->name.c_str(), "mine");
    // Kept in a property, it is the same: once another panel takes the
    // place, the stored reference reaches nothing.
    EXPECT_EQ(Run("keeper.stored = new"), "");
    second->~GuiLabel();
    auto* third = ::new (place) GuiLabel(10, 10, 0.0f, 0.0f);
    EXPECT_NE(Error("keeper.stored:SetName('taken')").find("no longer exists"), std::string::npos);
    EXPECT_STRNE(third->name.c_str(), "taken");
    third->~GuiLabel();
}
