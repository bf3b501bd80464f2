// Loading a tile map, against the least any load has to do with the same
// file: parse the XML, base64-decode and inflate the layer. Both run side by
// side in one process on the same files; a third column writes the same
// tiles into the GL buffers one at a time, as a layer built tile by tile
// would. Needs a display (run under Xvfb by `make bench`).
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Graphics/Window.h"
#include "System/Source/LuaState.h"
#include "System/Source/ScriptRegistry.h"
#include "World/GenericTileLevel.h"
#include "World/TmxReader.h"
#include "support/TestData.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTileSize = 16;
constexpr int kTilesetSide = 64;  // 16 tiles

struct Result {
    double loadMs = 0.0, bareMs = 0.0, byTileMs = 0.0, freshMs = 0.0;
};
std::map<int, Result> results;  // by map side in tiles

std::string MapName(int side) {
    return "map" + std::to_string(side) + ".tmx";
}

// A side x side layer, most cells filled, as Tiled writes it.
void WriteMap(int side) {
    std::vector<uint32_t> ids;
    for (int i = 0; i < side * side; ++i) ids.push_back(uint32_t((i * 7919) % 17));  // 0: empty
    std::ofstream("Resources/Levels/" + MapName(side), std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.8\" "
           "orientation=\"orthogonal\" width=\""
        << side << "\" height=\"" << side
        << "\" tilewidth=\"16\" tileheight=\"16\">\n <tileset firstgid=\"1\" name=\"t\" "
           "tilewidth=\"16\" tileheight=\"16\">\n  <image source=\"tiles.png\"/>\n </tileset>\n"
           " <layer id=\"1\" name=\"ground\" width=\""
        << side << "\" height=\"" << side
        << "\">\n  <data encoding=\"base64\" compression=\"zlib\">\n   "
        << TestSupport::TileLayerData(ids) << "\n  </data>\n </layer>\n</map>\n";
}

void WriteTileset() {
    std::vector<std::vector<uint8_t>> pixels(kTilesetSide * kTilesetSide, {64, 128, 192, 255});
    std::ofstream("Resources/Levels/tiles.png", std::ios::binary)
        << TestSupport::MakePng(kTilesetSide, kTilesetSide, pixels);
}

template <class Work, class Before>
void Timed(benchmark::State& state, double& ms, Work work, Before before) {
    double total = 0.0;
    for (auto _ : state) {
        before();
        glFinish();
        const Clock::time_point start = Clock::now();
        work();
        glFinish();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    ms = total * 1000.0 / double(state.iterations());
}
template <class Work>
void Timed(benchmark::State& state, double& ms, Work work) {
    Timed(state, ms, work, [] {});
}

void BM_LevelLoad(benchmark::State& state) {
    const int side = int(state.range(0));
    std::unique_ptr<GenericTileLevel> level;
    Timed(
        state, results[side].loadMs,
        [&] {
            level = std::make_unique<GenericTileLevel>();
            level->Load(MapName(side));
            benchmark::DoNotOptimize(level->Tiles().HasTiles());
        },
        [&] { level.reset(); });
}

void BM_ParseDecodeInflate(benchmark::State& state) {
    const int side = int(state.range(0));
    Timed(state, results[side].bareMs, [&] {
        tinyxml2::XMLDocument document;
        document.LoadFile(("Resources/Levels/" + MapName(side)).c_str());
        const tinyxml2::XMLElement* data =
            document.RootElement()->FirstChildElement("layer")->FirstChildElement("data");
        std::vector<uint32_t> ids;
        Tmx::DecodeLayerData(data->GetText(), side, side, ids);
        benchmark::DoNotOptimize(ids.data());
    });
}

void BM_TileByTile(benchmark::State& state) {
    const int side = int(state.range(0));
    std::vector<uint32_t> ids;
    {
        tinyxml2::XMLDocument document;
        document.LoadFile(("Resources/Levels/" + MapName(side)).c_str());
        Tmx::DecodeLayerData(document.RootElement()
                                 ->FirstChildElement("layer")
                                 ->FirstChildElement("data")
                                 ->GetText(),
                             side, side, ids);
    }
    TileWrapper tiles;
    tiles.SetTileSize(kTileSize, kTileSize);
    tiles.SetImageSize(kTilesetSide, kTilesetSide);
    Timed(state, results[side].byTileMs, [&] {
        tiles.CreateBuffers(side, side);
        tiles.Upload();  // zeroed buffers, then one write per tile
        for (size_t i = 0; i < ids.size(); ++i) {
            if (ids[i] != 0)
                tiles.AddTile(int(i / size_t(side)), int(i % size_t(side)), int(ids[i] - 1));
        }
    });
}

// The floor under any load: the layer's buffers (88 bytes a cell) written
// once into memory the process has not touched before.
void BM_FreshBufferWrite(benchmark::State& state) {
    const int side = int(state.range(0));
    const size_t bytes = size_t(side) * size_t(side) * 88;
    char* memory = nullptr;
    Timed(
        state, results[side].freshMs,
        [&] {
            memory = static_cast<char*>(std::malloc(bytes));
            std::memset(memory, 1, bytes);
            benchmark::DoNotOptimize(memory);
        },
        [&] {
            std::free(memory);
            memory = nullptr;
        });
    std::free(memory);
}

// Each at both map sizes, timed by hand up to glFinish.
#define LEVEL_BENCHMARK(name) \
    BENCHMARK(name)->Arg(256)->Arg(1024)->UseManualTime()->Unit(benchmark::kMillisecond)
LEVEL_BENCHMARK(BM_LevelLoad);
LEVEL_BENCHMARK(BM_ParseDecodeInflate);
LEVEL_BENCHMARK(BM_TileByTile);
LEVEL_BENCHMARK(BM_FreshBufferWrite);

}  // namespace

int main(int argc, char** argv) {
    fs::path work = fs::temp_directory_path() / ("tazzle_bench_levels_" + std::to_string(getpid()));
    fs::create_directories(work / "Resources" / "Levels");
    fs::current_path(work);
    WriteTileset();
    fs::create_directories("Resources/Lua/Globals");
    std::ofstream("Resources/Lua/Globals/StartOfLevel.lua") << "-- nothing to do\n";
    for (int side : {256, 1024}) WriteMap(side);

    if (!glfwInit()) {
        std::fprintf(stderr, "No display.\n");
        return 1;
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(64, 64, "Tazzle bench", nullptr, nullptr);
    if (!window) {
        std::fprintf(stderr, "No window.\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    glewInit();
    GameWindow = window;
    GetLuaState();
    CreateScriptRegistry();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%6s | %8s | %20s | %6s | %18s | %17s | %12s\n", "tiles", "load ms",
                "parse+decode+inflate", "ratio", "tile-by-tile GL ms", "fresh buffers ms",
                "(bare+fresh)");
    for (const auto& [side, r] : results) {
        if (r.loadMs <= 0.0 || r.bareMs <= 0.0) continue;
        std::printf("%4d^2 | %8.2f | %20.2f | %5.2fx | %18.2f | %17.2f | %11.2fx\n", side, r.loadMs,
                    r.bareMs, r.loadMs / r.bareMs, r.byTileMs, r.freshMs,
                    r.loadMs / (r.bareMs + r.freshMs));
    }

    StopScriptWatcher();
    CloseLua();
    GameWindow = nullptr;
    glfwDestroyWindow(window);
    glfwTerminate();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work);
    return 0;
}
