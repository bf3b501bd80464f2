// Frames of textured quads: through the batch renderer, and the same scene
// with one immediate-mode quad per sprite. Needs a display (run under Xvfb
// by `make bench`).
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <glm/gtc/matrix_transform.hpp>
#include <map>
#include <vector>

#include "Graphics/BatchRenderer.h"
#include "Graphics/Effect.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/Window.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kTextureSize = 16;
// llvmpipe's rasteriser threads, fixed so that runs compare.
constexpr const char* kRasterThreads = "4";

BatchRenderer* renderer = nullptr;
// A renderer made without GL: what recording, joining and copying the
// vertices cost, without the driver.
BatchRenderer* recorder = nullptr;
GLuint spriteTexture = 0;

struct Result {
    double batchMs = 0.0, immediateMs = 0.0;
    int batchCalls = 0, immediateCalls = 0;
};
// By sprite size, then sprite count.
std::map<std::pair<int, int>, Result> results;

// A fixed scatter of sprites over the screen.
void SpritePlace(int i, int size, int& x, int& y) {
    x = static_cast<int>((i * 7919L) % (kWidth - size));
    y = static_cast<int>((i * 104729L) % (kHeight - size));
}

template <class Frame>
double MillisecondsPerFrame(benchmark::State& state, Frame frame) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT);
        frame();
        glFinish();
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return ms / static_cast<double>(state.iterations());
}

void BatchFrame(int sprites, int size, BatchRenderer* renderer = ::renderer) {
    renderer->SetColor(255, 255, 255, 255);
    renderer->SetTexture(spriteTexture);
    for (int i = 0; i < sprites; ++i) {
        int x, y;
        SpritePlace(i, size, x, y);
        renderer->DrawTexture(x, y, x + size, y + size);
    }
    renderer->Render();
}

// Fixed-function state for the immediate-mode frames.
void BeginImmediate() {
    glUseProgram(0);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, spriteTexture);
    glColor4ub(255, 255, 255, 255);
}

void ImmediateFrame(int sprites, int size) {
    for (int i = 0; i < sprites; ++i) {
        int x, y;
        SpritePlace(i, size, x, y);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2i(x, y);
        glTexCoord2f(1, 0);
        glVertex2i(x + size, y);
        glTexCoord2f(1, 1);
        glVertex2i(x + size, y + size);
        glTexCoord2f(0, 1);
        glVertex2i(x, y + size);
        glEnd();
    }
}

void BM_BatchRenderer(benchmark::State& state) {
    const int sprites = static_cast<int>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    Result& result = results[{size, sprites}];
    result.batchMs = MillisecondsPerFrame(state, [&] { BatchFrame(sprites, size); });
    result.batchCalls = renderer->LastDrawCalls();
    state.counters["draw_calls"] = result.batchCalls;
}

void BM_RecordingOnly(benchmark::State& state) {
    const int sprites = static_cast<int>(state.range(0));
    for (auto _ : state) BatchFrame(sprites, 16, recorder);
}

void BM_ImmediateMode(benchmark::State& state) {
    const int sprites = static_cast<int>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    Result& result = results[{size, sprites}];
    BeginImmediate();
    result.immediateMs = MillisecondsPerFrame(state, [&] { ImmediateFrame(sprites, size); });
    glDisable(GL_TEXTURE_2D);
    result.immediateCalls = sprites;
    state.counters["draw_calls"] = sprites;
}

// Sprites of 16x16 pixels, and of 2x2 where filling pixels costs little
// and the cost of handing the quads to GL shows.
void SpriteCounts(benchmark::internal::Benchmark* b) {
    for (int size : {16, 2}) {
        for (int sprites : {1000, 10000, 50000}) b->Args({sprites, size});
    }
    b->ArgNames({"sprites", "px"})->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_BatchRenderer)->Apply(SpriteCounts);
BENCHMARK(BM_ImmediateMode)->Apply(SpriteCounts);
BENCHMARK(BM_RecordingOnly)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

GLuint MakeSpriteTexture() {
    std::vector<unsigned char> texels(kTextureSize * kTextureSize * 4);
    for (int i = 0; i < kTextureSize * kTextureSize; ++i) {
        texels[i * 4 + 0] = static_cast<unsigned char>(i * 16);
        texels[i * 4 + 1] = static_cast<unsigned char>(255 - i);
        texels[i * 4 + 2] = 128;
        texels[i * 4 + 3] = 255;
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kTextureSize, kTextureSize, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return texture;
}

// The shader files live under Resources/ of the source tree: found from
// the working directory, or two folders above the executable's.
void FindResources(const char* argv0) {
    namespace fs = std::filesystem;
    if (fs::exists("Resources")) return;
    std::error_code error;
    fs::path root = fs::canonical(argv0, error).parent_path().parent_path().parent_path();
    if (!error && fs::exists(root / "Resources")) fs::current_path(root);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("LP_NUM_THREADS", kRasterThreads, 1);
    FindResources(argv[0]);
    if (!glfwInit()) {
        std::fprintf(stderr, "No display.\n");
        return 1;
    }
    GLFWwindow* window = glfwCreateWindow(kWidth, kHeight, "Tazzle bench", nullptr, nullptr);
    if (!window) {
        std::fprintf(stderr, "No window.\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(0);
    glewExperimental = GL_TRUE;
    glewInit();
    WindowWidth = kWidth;
    WindowHeight = kHeight;
    DrawingToWindow = true;
    glViewport(0, 0, kWidth, kHeight);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);

    recorder = new BatchRenderer();  // before GameWindow is set: no GL
    GameWindow = window;
    renderer = new BatchRenderer();
    renderer->SetProjection(glm::ortho(0.0f, float(kWidth), 0.0f, float(kHeight), -100.0f, 100.0f));
    spriteTexture = MakeSpriteTexture();

    // One frame of each first: the driver compiles its shaders on first use.
    BatchFrame(10, 16);
    BeginImmediate();
    ImmediateFrame(10, 16);
    glDisable(GL_TEXTURE_2D);
    glFinish();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nLP_NUM_THREADS=%s, %dx%d window, textured sprites\n",
                std::getenv("LP_NUM_THREADS"), kWidth, kHeight);
    std::printf("%5s %8s | %14s %10s | %14s %10s | %8s\n", "px", "sprites", "batch ms/frame",
                "draw calls", "immed ms/frame", "draw calls", "speed-up");
    for (const auto& [key, r] : results) {
        if (r.batchMs <= 0.0 || r.immediateMs <= 0.0) continue;
        std::printf("%5d %8d | %14.3f %10d | %14.3f %10d | %7.2fx\n", key.first, key.second,
                    r.batchMs, r.batchCalls, r.immediateMs, r.immediateCalls,
                    r.immediateMs / r.batchMs);
    }

    glDeleteTextures(1, &spriteTexture);
    delete renderer;
    delete recorder;
    GameWindow = nullptr;
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
