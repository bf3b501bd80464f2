#include "Input/ReplayRecorder.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

// The file is little-endian; values are written as the machine holds them.
static_assert(std::endian::native == std::endian::little, "replay files are little-endian");

ReplayRecorder* Recorder = nullptr;

bool ReplayRecorder::Open(const char* file) {
    Close();
    if (!file) return false;
    stream = std::fopen(file, recording ? "wb" : "rb");
    open = stream != nullptr;
    path = System::MakeString(file);
    if (!open) {
        std::printf("Could not open replay file %s; %s\n", file,
                    recording ? "not recording" : "running live");
    }
    return open;
}

void ReplayRecorder::Write(const void* block, std::size_t size) {
    if (!open || !recording || !block) return;
    std::fwrite(block, size, 1, stream);
}

bool ReplayRecorder::Read(void* block, std::size_t size) {
    if (!open || recording || !block) return false;
    // Read into a scratch copy so that a short read leaves the block as it was.
    std::vector<unsigned char> scratch(size);
    if (size == 0) return false;
    if (std::fread(scratch.data(), size, 1, stream) != 1) {
        std::printf("Replay file %s ended; input is live again\n", path.c_str());
        Close();
        return false;
    }
    std::memcpy(block, scratch.data(), size);
    return true;
}

void ReplayRecorder::Close() {
    if (open && stream) std::fclose(stream);
    stream = nullptr;
    open = false;
}

ReplayRecorder* CreateReplayRecorder(int argc, char** argv) {
    const bool recording = argc <= 1;
    auto* recorder = new ReplayRecorder(recording);
    const char* file = nullptr;
    if (!recording) {
        file = argv ? argv[1] : nullptr;
    } else if (const char* named = std::getenv("TAZZLE_RECORD"); named && *named) {
        file = named;
    }
    if (recorder && file) recorder->Open(file);
    return recorder;
}
