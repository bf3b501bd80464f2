// An image file through LoadTexture, as a map's tileset, a TEXTURE
// property, DrawImage or SetTexture reach it: the input is written to a
// file and loaded into the hidden window's GL context that the engine
// opens (FuzzEngine), then the texture is deleted again.
//
// Needs a display (the fuzz script runs under Xvfb when there is none).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzEngine.h"
#include "Graphics/TextureInfo.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    Fuzz::StartEngineKeepingPaths(argc, argv);
    if (!TextureGlReady()) {
        std::fprintf(stderr, "fuzz_image: no GL context, nothing would be decoded\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Fuzz::WriteGameFile("Resources/fuzz_image", data, size);
    TextureInfo texture;
    texture.owns = true;
    LoadTexture("Resources/fuzz_image", texture);
    return 0;
}
