#include "Input/ReplayRecorder.h"

#include <bit>
#include <cstring>
#include <vector>

// The file is little-endian; values are written as the machine holds them.
static_assert(std::endian::native == std::endian::little, "replay files are little-endian");

ReplayRecorder* Recorder = nullptr;

bool ReplayRecorder::Open(const char* path) {
    Close();
    if (!path) return false;
    stream = std::fopen(path, recording ? "wb" : "rb");
    open = stream != nullptr;
    if (!open) std::printf("Could not open replay file %s\n", path);
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
    if (size == 0 || std::fread(scratch.data(), size, 1, stream) != 1) return false;
    std::memcpy(block, scratch.data(), size);
    return true;
}

void ReplayRecorder::Close() {
    if (open && stream) std::fclose(stream);
    stream = nullptr;
    open = false;
}
