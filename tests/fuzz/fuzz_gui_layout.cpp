// The GUI layout file: the input is read as "Resources/Config/guiTest.txt"
// by the GUI's start-up (the root, the console and the layout's widgets),
// then a few frames of mouse and key input, messages to every kind of
// target, updates and drawing through the batch renderer into a real GL
// context, then the GUI's shutdown. Each input starts from no GUI at all.
//
// The GL context is a hidden window, so the target needs a display (the
// fuzz script starts one under Xvfb when there is none).
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "FuzzEngine.h"
#include "Graphics/BatchRenderer.h"
#include "Graphics/Font.h"
#include "Graphics/TextureAtlas.h"
#include "Graphics/Window.h"
#include "Gui/GuiManager.h"
#include "Gui/GuiPanel.h"
#include "System/Source/DataNode.h"

namespace {

namespace fs = std::filesystem;

// Small, so that software GL draws a frame quickly; the GUI scales to it.
constexpr int kWidth = 480;
constexpr int kHeight = 270;

// The fonts stay loaded from one input to the next; at exit they go before
// their registry does, so that the leak check finds nothing.
void FreeFonts() {
    FontRegistry::Clear();
}

void StartGraphics() {
    // The renderer's shaders and the font stand-ins of the game's data.
    const fs::path source = TAZZLE_SOURCE_DIR;
    fs::create_directories("Resources/Config");
    fs::create_symlink(source / "Resources/Shaders", "Resources/Shaders");
    fs::create_symlink(source / "Resources/Config/fonts.conf", "Resources/Config/fonts.conf");

    if (!glfwInit()) {
        std::fprintf(stderr, "fuzz_gui_layout: no display for a GL context\n");
        std::abort();
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(kWidth, kHeight, "Tazzle fuzz", nullptr, nullptr);
    if (!window) {
        std::fprintf(stderr, "fuzz_gui_layout: no GL window\n");
        std::abort();
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    glewInit();
    // The context lives as long as the process; no window of the game's.
    SetForeignGlContext(true);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    ResizeViewport(kWidth, kHeight);
    CurrentRenderer = new BatchRenderer();
    CurrentRenderer->SetSize(kWidth, kHeight);
    GlobalTextureAtlas = new TextureAtlas();
    InstallFontRegistryProvider();
    GetFontByIndex(-1);  // makes the registry, whose end comes after FreeFonts
    std::atexit(FreeFonts);
    Gui = new GuiManager();
}

// A GLOBAL event message with int arguments, as the input module posts.
void PostEvent(const char* event, const char* a = nullptr, int av = 0, const char* b = nullptr,
               int bv = 0) {
    DataNode* message = MakeNodeWithString("GLOBAL", "Function", event);
    if (!message) return;
    if (a) SetNodeInt(message->firstChild, a, av);
    if (b) SetNodeInt(message->firstChild, b, bv);
    PostGuiMessage(message);
}

// What a frame's input does to the GUI: the pointer at `x`, `y` presses and
// releases, the wheel turns, keys and characters go to the focused panel,
// and the focus moves.
void Input(int frame, int x, int y) {
    GuiHandleMouseMove(x, y);
    GuiHandleMouseDown(x, y);
    PostEvent("OnClick", "x", x, "y", y);
    PostEvent("OnMouseScroll", "state", frame % 2 == 0 ? 1 : -1);
    for (unsigned ch : {unsigned('a'), unsigned('7'), 10u, 13u}) GuiHandleChar(ch);
    for (int key : {258, 265, 264, 257, 259}) GuiHandleKey(key);
    GuiFocusNext();
    GuiFocusPrev();
    PostEvent("OnRelease");
}

// Messages to every kind of target, as scripts and buttons send them.
void Messages(int frame) {
    for (const char* target : {"GuiPanel", "GuiLabel", "GuiButton", "All", "FPS"}) {
        PostGuiMessage(MakeNodeWithInt(target, frame == 1 ? "ToggleVisible" : "ToggleUpdate"));
    }
    PostGuiMessage(MakeNodeWithFloat("GLOBAL", "MoveBar", 0.5f));
    DataNode* focus = MakeNode("GLOBAL");
    if (focus) SetNodeDouble(focus, "SetValueFocus", 2.0);
    PostGuiMessage(focus);
}

void DrawGuiFrame() {
    Renderer& r = *CurrentRenderer;
    r.Clear();
    r.SetProjection(WindowProjection);
    r.SetView(glm::mat4(1.0f));
    r.SetTextFlipped(false);
    DrawGui();
    r.Render();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    Fuzz::StartEngineKeepingPaths(argc, argv);
    StartGraphics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Fuzz::WriteGameFile("Resources/Config/guiTest.txt", data, size);
    GuiStartup();
    const int points[][2] = {{240, 135}, {40, 20}, {400, 60}, {120, 220}};
    for (int frame = 0; frame < 4; ++frame) {
        Input(frame, points[frame][0], points[frame][1]);
        Messages(frame);
        DrawGuiFrame();
    }
    GuiShutdown();
    // Messages posted after the last frame go with the GUI.
    FlushMessages();
    FlushMessages();
    glFinish();
    return 0;
}
