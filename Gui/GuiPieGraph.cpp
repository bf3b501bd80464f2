#include "Gui/GuiPieGraph.h"

#include <cmath>
#include <cstdio>

#include "Graphics/Font.h"
#include "Graphics/Renderer.h"
#include "System/Source/DataNode.h"

GuiPieGraph::GuiPieGraph(float px, float py) : GuiPanel(0, 0, px, py) {}

const char* GuiPieGraph::GetClassName() const {
    return "GuiPieGraph";
}

GuiPanel* GuiPieGraph::Create() {
    return new GuiPieGraph(0.0f, 0.0f);
}

ProfileGraph* GuiPieGraph::CreateForProfiler() {
    GuiPieGraph* graph = new GuiPieGraph(900.0f, 130.0f);
    if (graph) {
        graph->SetRadius(58);
        graph->SetFillColour(Color(255, 0, 0, 255));
        graph->SetName("PerformanceGraph");
        graph->SetLayer(100);
    }
    return graph;
}

const PieSlice* GuiPieGraph::FindSlice(std::string_view sliceName) const {
    for (const PieSlice& slice : values_) {
        if (slice.name == sliceName) return &slice;
    }
    return nullptr;
}

void GuiPieGraph::SetValue(std::string_view sliceName, float value, Color colour) {
    if (auto* slice = const_cast<PieSlice*>(FindSlice(sliceName))) {
        slice->value = value;
        return;
    }
    values_.push_back(PieSlice{System::MakeString(sliceName), value, colour});
}

void GuiPieGraph::HandleMessage(DataNode* message, GuiPanel* sender) {
    GuiPanel::HandleMessage(message, sender);
    if (!message) return;
    const std::string_view command(message->name.data(), message->name.size());
    if (command == "SetRadius") {
        radius_ = ClampGuiLength(GetNodeNumber("", message));
    } else if (command == "AddValue") {
        const System::String sliceName =
            message->type == kDataString ? message->text : System::String();
        const DataNode* valueNode = message->nextSibling;
        const float value = SafeDoubleToFloat(GetNodeNumber("", valueNode));
        const DataNode* colourNode = valueNode ? valueNode->nextSibling : nullptr;
        const Color colour =
            colourNode && colourNode->type == kDataColor ? colourNode->color : Color(0, 0, 0, 255);
        SetValue(std::string_view(sliceName.data(), sliceName.size()), value, colour);
    }
}

void GuiPieGraph::Draw() {
    if (frameTime_ == 0.0f || !CurrentRenderer || !IsVisible() || doomed) return;
    const int cx = GuiPixelsX(x);
    const int cy = GuiPixelsY(y);
    const int r = radius_;
    float total = 0.0f;
    for (const PieSlice& slice : values_) total += slice.value;
    if (total == 0.0f) return;

    Renderer& renderer = *CurrentRenderer;
    const int count = int(values_.size());
    renderer.SetColor(64, 64, 64, 127);
    renderer.FillRect(cx - (r + 20), cy - (r + 20), cx + r + 20, cy + r + 20 + 16 * count);
    const int font = GetFont("Consola", 10);

    float start = 0.0f;
    int ring = 15;
    int rowY = cy + r + 10;
    for (const PieSlice& slice : values_) {
        const float share = slice.value / total;
        const float end = share * 360.0f + start;
        // Once the rings have shrunk to nothing there is no sector to fill.
        if (r + ring > 0) {
            renderer.SetColor(slice.colour.r, slice.colour.g, slice.colour.b, 255);
            renderer.FillSector(cx, cy, r + ring, start, end);
        }
        start = end;
        ring -= 5;
        // Hundredths of a percent, kept as a fraction: 25.00 for a quarter.
        const double percent = std::trunc(double(share) * 10000.0) / 100.0;
        char text[64];
        std::snprintf(text, sizeof text, "%7.2f%%", percent);
        renderer.SetFont(font);
        renderer.SetColor(slice.colour.r, slice.colour.g, slice.colour.b, slice.colour.a);
        renderer.DrawText(cx - r - 20 + 4, rowY, slice.name.c_str());
        renderer.DrawText(cx - r - 20 + 96, rowY, text);
        rowY += 17;
    }
    renderer.SetColor(0, 0, 0, 255);
    if (r > 0) renderer.FillSector(cx, cy, r, start, 360.0f);
}
