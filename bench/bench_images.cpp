// Loading an image into a texture: LoadTexture against the SOIL call it
// replaced (SOIL stays linked for screenshots), side by side in one run, on
// every image the game ships and on two larger pictures made here. Each
// file is also loaded once both ways and the two textures compared: size,
// internal format and every texel. Needs a display (run under Xvfb by
// `make bench`).
#include <GL/glew.h>
#include <SOIL/SOIL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Graphics/TextureInfo.h"
#include "Graphics/Window.h"
#include "support/GlContext.h"
#include "support/TestData.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Result {
    double soilMs = 0.0, loadMs = 0.0;
};
std::map<std::string, Result> results;  // by file

// The loader as it was: SOIL's texture call with the engine's settings.
unsigned SoilLoad(const char* path) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLuint name = SOIL_load_OGL_texture(path, SOIL_LOAD_AUTO, SOIL_CREATE_NEW_ID,
                                        SOIL_FLAG_INVERT_Y);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (name != 0) {
        glBindTexture(GL_TEXTURE_2D, name);
        GLint w = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    return name;
}

unsigned EngineLoad(const char* path) {
    TextureInfo info;
    LoadTexture(path, info);
    return info.texture;
}

// Width, height, internal format, then the texels as RGBA.
std::vector<int> Describe(unsigned texture, std::vector<uint8_t>& texels) {
    GLint w = 0, h = 0, format = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    texels.assign(size_t(w) * size_t(h) * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return {w, h, format};
}

bool SameTexture(const std::string& path, std::string& size) {
    unsigned a = SoilLoad(path.c_str());
    unsigned b = EngineLoad(path.c_str());
    std::vector<uint8_t> texelsA, texelsB;
    std::vector<int> sizeA = Describe(a, texelsA);
    std::vector<int> sizeB = Describe(b, texelsB);
    size = std::to_string(sizeB[0]) + "x" + std::to_string(sizeB[1]);
    glDeleteTextures(1, &a);
    glDeleteTextures(1, &b);
    return a != 0 && b != 0 && sizeA == sizeB && texelsA == texelsB;
}

void Timed(benchmark::State& state, double& ms, unsigned (*load)(const char*),
           const std::string& path) {
    double total = 0.0;
    for (auto _ : state) {
        glFinish();
        const Clock::time_point start = Clock::now();
        GLuint texture = load(path.c_str());
        glFinish();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        glDeleteTextures(1, &texture);
    }
    ms = total * 1000.0 / double(state.iterations());
}

// A picture of gradients, as an artist's would compress.
void WritePicture(const std::string& path, int width, int height, bool alpha) {
    std::vector<std::vector<uint8_t>> pixels;
    pixels.reserve(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::vector<uint8_t> p = {uint8_t(x), uint8_t(y), uint8_t((x ^ y) * 3)};
            if (alpha) p.push_back(uint8_t(x + y));
            pixels.push_back(p);
        }
    }
    std::ofstream(path, std::ios::binary) << TestSupport::MakePng(width, height, pixels);
}

}  // namespace

int main(int argc, char** argv) {
    fs::path work = fs::temp_directory_path() / ("tazzle_bench_images_" + std::to_string(getpid()));
    fs::create_directories(work);
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(TAZZLE_SOURCE_DIR) /
                                                              "Resources")) {
        if (entry.path().extension() == ".png") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    files.push_back((work / "rgba_1024.png").string());
    WritePicture(files.back(), 1024, 1024, true);
    files.push_back((work / "rgb_1920x1080.png").string());
    WritePicture(files.back(), 1920, 1080, false);

    TestSupport::GlContext gl(64, 64, false);
    if (!gl.Ok()) {
        std::fprintf(stderr, "No display.\n");
        return 1;
    }
    SetForeignGlContext(true);

    for (const std::string& file : files) {
        const std::string name = fs::path(file).filename().string();
        benchmark::RegisterBenchmark(("SOIL/" + name).c_str(), [file](benchmark::State& state) {
            Timed(state, results[file].soilMs, SoilLoad, file);
        })->UseManualTime()->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("LoadTexture/" + name).c_str(),
                                     [file](benchmark::State& state) {
                                         Timed(state, results[file].loadMs, EngineLoad, file);
                                     })
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%-22s | %9s | %9s | %14s | %6s | %s\n", "image", "size", "SOIL us",
                "LoadTexture us", "ratio", "same texture");
    int differing = 0;
    for (const std::string& file : files) {
        const Result& r = results[file];
        std::string size;
        const bool same = SameTexture(file, size);
        differing += same ? 0 : 1;
        if (r.soilMs <= 0.0 || r.loadMs <= 0.0) continue;
        std::printf("%-22s | %9s | %9.1f | %14.1f | %5.2fx | %s\n",
                    fs::path(file).filename().string().c_str(), size.c_str(), r.soilMs * 1000.0,
                    r.loadMs * 1000.0, r.loadMs / r.soilMs, same ? "yes" : "NO");
    }

    SetForeignGlContext(false);
    fs::remove_all(work);
    return differing == 0 ? 0 : 1;
}
