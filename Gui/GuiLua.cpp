// The Lua methods of panels and labels. Each reads its arguments by
// position: numbers are truncated toward zero where an int is meant, a
// flag is "the truncated number is not 0", a colour channel is the low 8
// bits of the truncated number; a panel argument that is not a live panel
// reads as null, a text argument that is not text reads as "".
#include <lua.hpp>

#include "Gui/GuiLabel.h"
#include "System/Source/Components/LuaBinding.h"

namespace {

using System::GetArgument;
using System::MetaArgs;

int Int(const MetaArgs& args, unsigned i) {
    return GetArgument(args, i).ToInt();
}
// A size, border or layer: truncated and held within the GUI's range.
int Length(const MetaArgs& args, unsigned i) {
    return ClampGuiLength(GetArgument(args, i).ToDouble());
}
bool Flag(const MetaArgs& args, unsigned i) {
    return GetArgument(args, i).ToBool();
}
uint8_t Byte(const MetaArgs& args, unsigned i) {
    return static_cast<uint8_t>(GetArgument(args, i).ToChar());
}
const char* Text(const MetaArgs& args, unsigned i) {
    return GetArgument(args, i).ToString();
}
GuiPanel* Panel(const MetaArgs& args, unsigned i) {
    System::MetaBase* object = GetArgument(args, i).ToObjectBase();
    return object ? LivePanelOrNull(object) : nullptr;
}

template <class C, MetaValue (*Body)(C& self, MetaArgs& args)>
void Add(const char* name) {
    System::MetaData<C>::AddMethod(name, System::Method<C, Body>);
}

// ---- GuiPanel.

MetaValue LuaSetName(GuiPanel& p, MetaArgs& a) {
    p.name = System::MakeString(Text(a, 0));
    return MetaValue::None();
}
MetaValue LuaSetLayer(GuiPanel& p, MetaArgs& a) {
    p.layer = Length(a, 0);
    return MetaValue::None();
}
MetaValue LuaSetWidth(GuiPanel& p, MetaArgs& a) {
    p.width = Length(a, 0);
    return MetaValue::None();
}
MetaValue LuaSetHeight(GuiPanel& p, MetaArgs& a) {
    p.height = Length(a, 0);
    return MetaValue::None();
}
MetaValue LuaSetFilled(GuiPanel& p, MetaArgs& a) {
    p.filled = Flag(a, 0);
    return MetaValue::None();
}
MetaValue LuaSetBorder(GuiPanel& p, MetaArgs& a) {
    p.border = Length(a, 0);
    return MetaValue::None();
}
MetaValue LuaSetVisible(GuiPanel& p, MetaArgs& a) {
    p.visible = Flag(a, 0);
    return MetaValue::None();
}
MetaValue LuaIsVisible(GuiPanel& p, MetaArgs&) {
    return MetaValue(p.IsVisible());
}
MetaValue LuaLoadTexture(GuiPanel& p, MetaArgs& a) {
    p.LoadTexture(Text(a, 0));
    return MetaValue::None();
}
MetaValue LuaSetColorRGBA(GuiPanel& p, MetaArgs& a) {
    p.StoreFillColor(Byte(a, 0), Byte(a, 1), Byte(a, 2), Byte(a, 3));
    return MetaValue::None();
}
MetaValue LuaSetBorderColorRGBA(GuiPanel& p, MetaArgs& a) {
    p.StoreBorderColor(Byte(a, 0), Byte(a, 1), Byte(a, 2), Byte(a, 3));
    return MetaValue::None();
}
MetaValue LuaSetMirror(GuiPanel& p, MetaArgs& a) {
    p.SetMirror(Panel(a, 0));
    return MetaValue::None();
}
MetaValue LuaSetHoverFill(GuiPanel& p, MetaArgs& a) {
    p.hoverFill = Flag(a, 0);
    return MetaValue::None();
}
MetaValue LuaSetX(GuiPanel& p, MetaArgs& a) {
    p.x = float(Length(a, 0));
    return MetaValue::None();
}
MetaValue LuaSetY(GuiPanel& p, MetaArgs& a) {
    p.y = float(Length(a, 0));
    return MetaValue::None();
}
MetaValue LuaGetX(GuiPanel& p, MetaArgs&) {
    return MetaValue(SafeDoubleToInt(p.x));
}
MetaValue LuaGetY(GuiPanel& p, MetaArgs&) {
    return MetaValue(SafeDoubleToInt(p.y));
}
MetaValue LuaGetGameX(GuiPanel& p, MetaArgs&) {
    return MetaValue(int(p.GetGameX()));
}
MetaValue LuaGetGameY(GuiPanel& p, MetaArgs&) {
    return MetaValue(int(p.GetGameY()));
}
MetaValue LuaSetNextFocus(GuiPanel& p, MetaArgs& a) {
    p.SetNextFocus(Panel(a, 0));
    return MetaValue::None();
}
MetaValue LuaSetPrevFocus(GuiPanel& p, MetaArgs& a) {
    p.SetPrevFocus(Panel(a, 0));
    return MetaValue::None();
}
MetaValue LuaSetFirstFocus(GuiPanel& p, MetaArgs& a) {
    p.SetFirstFocus(Panel(a, 0));
    return MetaValue::None();
}

// ---- GuiLabel.

MetaValue LuaSetFont(GuiLabel& l, MetaArgs& a) {
    l.ApplyFont(Text(a, 0), Int(a, 1));
    return MetaValue::None();
}
MetaValue LuaSetText(GuiLabel& l, MetaArgs& a) {
    l.ApplyText(Text(a, 0));
    return MetaValue::None();
}
MetaValue LuaSetCenter(GuiLabel& l, MetaArgs& a) {
    l.SetCenter(Flag(a, 0));
    return MetaValue::None();
}
MetaValue LuaScaleToText(GuiLabel& l, MetaArgs& a) {
    l.scaleWidthToText = l.scaleHeightToText = Flag(a, 0);
    return MetaValue::None();
}
MetaValue LuaScaleTextHeight(GuiLabel& l, MetaArgs& a) {
    l.scaleHeightToText = Flag(a, 0);
    return MetaValue::None();
}
MetaValue LuaSetTextColorRGBA(GuiLabel& l, MetaArgs& a) {
    l.textColor = Color(Byte(a, 0), Byte(a, 1), Byte(a, 2), Byte(a, 3));
    return MetaValue::None();
}

}  // namespace

void GuiPanel::RegisterMethods() {
    Add<GuiPanel, LuaSetName>("SetName");
    Add<GuiPanel, LuaSetLayer>("SetLayer");
    Add<GuiPanel, LuaSetWidth>("SetWidth");
    Add<GuiPanel, LuaSetHeight>("SetHeight");
    Add<GuiPanel, LuaSetFilled>("SetFilled");
    Add<GuiPanel, LuaSetBorder>("SetBorder");
    Add<GuiPanel, LuaSetVisible>("SetVisible");
    Add<GuiPanel, LuaIsVisible>("IsVisible");
    Add<GuiPanel, LuaLoadTexture>("LoadTexture");
    Add<GuiPanel, LuaSetColorRGBA>("SetColorRGBA");
    Add<GuiPanel, LuaSetBorderColorRGBA>("SetBorderColorRGBA");
    Add<GuiPanel, LuaSetMirror>("SetMirror");
    Add<GuiPanel, LuaSetHoverFill>("SetHoverFill");
    Add<GuiPanel, LuaSetX>("SetX");
    Add<GuiPanel, LuaSetY>("SetY");
    Add<GuiPanel, LuaGetX>("GetX");
    Add<GuiPanel, LuaGetY>("GetY");
    Add<GuiPanel, LuaGetGameX>("GetGameX");
    Add<GuiPanel, LuaGetGameY>("GetGameY");
    Add<GuiPanel, LuaSetNextFocus>("SetNextFocus");
    Add<GuiPanel, LuaSetPrevFocus>("SetPrevFocus");
    Add<GuiPanel, LuaSetFirstFocus>("SetFirstFocus");
}

void GuiLabel::RegisterMethods() {
    System::MetaData<GuiLabel>::SetParent<GuiPanel>();
    Add<GuiLabel, LuaSetFont>("SetFont");
    Add<GuiLabel, LuaSetText>("SetText");
    Add<GuiLabel, LuaSetCenter>("SetCenter");
    Add<GuiLabel, LuaScaleToText>("ScaleToText");
    Add<GuiLabel, LuaScaleTextHeight>("ScaleTextHeight");
    Add<GuiLabel, LuaSetTextColorRGBA>("SetTextColorRGBA");
    // Registered twice on purpose: the method table keeps the first.
    Add<GuiLabel, LuaSetCenter>("SetCenter");
}

int GuiPanel::LuaNew(lua_State* L) {
    System::CheckNewArguments(L);
    GuiPanel* panel = new GuiPanel(0, 0, 0.0f, 0.0f);
    if (panel) panel->madeByScript = true;
    PushUserdata(L, panel);
    return 1;
}

int GuiLabel::LuaNew(lua_State* L) {
    System::CheckNewArguments(L);
    GuiLabel* label = new GuiLabel(0, 0, 0.0f, 0.0f);
    if (label) label->madeByScript = true;
    PushUserdata(L, label);
    return 1;
}
