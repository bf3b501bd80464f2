#include "Gui/GuiPieGraph.h"

const PieSlice* GuiPieGraph::FindSlice(std::string_view name) const {
    for (const PieSlice& slice : values_) {
        if (slice.name == name) return &slice;
    }
    return nullptr;
}

void GuiPieGraph::SetValue(std::string_view name, float value, Color colour) {
    if (auto* slice = const_cast<PieSlice*>(FindSlice(name))) {
        slice->value = value;
        return;
    }
    values_.push_back(PieSlice{System::MakeString(name), value, colour});
}
