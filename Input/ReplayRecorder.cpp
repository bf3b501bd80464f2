#include "Input/ReplayRecorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

// The file is little-endian; values are written as the machine holds them.
static_assert(std::endian::native == std::endian::little, "replay files are little-endian");

ReplayRecorder* Recorder = nullptr;

namespace {

// Opens the file without blocking and keeps it only when it is a regular
// file: a FIFO would block the start-up until another process opened its
// other end, and a folder or a device is no replay file either.
std::FILE* OpenRegularFile(const char* file, bool forWriting) {
    const int flags = forWriting ? (O_WRONLY | O_CREAT | O_TRUNC) : O_RDONLY;
    const int fd = ::open(file, flags | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* stream = ::fdopen(fd, forWriting ? "wb" : "rb");
    if (!stream) ::close(fd);
    return stream;
}

}  // namespace

bool ReplayRecorder::Open(const char* file) {
    Close();
    if (!file) return false;
    stream = OpenRegularFile(file, recording);
    open = stream != nullptr;
    path = System::MakeString(file);
    writeFailed = false;
    stepReported = false;
    if (!open) {
        std::printf("Could not open replay file %s; %s\n", file,
                    recording ? "not recording" : "running live");
    }
    return open;
}

void ReplayRecorder::Write(const void* block, std::size_t size) {
    if (!open || !recording || !block) return;
    if (std::fwrite(block, size, 1, stream) != 1) ReportWriteError(errno);
}

void ReplayRecorder::EndFrame() {
    if (open && recording && std::fflush(stream) != 0) ReportWriteError(errno);
}

// A recording that lost a block is no use past it: say so once and stop.
void ReplayRecorder::ReportWriteError(int error) {
    if (!writeFailed) {
        std::printf("Could not write replay file %s: %s; recording stopped\n", path.c_str(),
                    std::strerror(error));
    }
    writeFailed = true;
    Close();
}

double ReplayRecorder::BoundTimeStep(double step, double largest) {
    const bool bad = !std::isfinite(step) || step < 0.0;
    if (!bad && step <= largest) return step;
    const double bounded = bad ? 0.0 : largest;
    if (!stepReported) {
        std::printf("Replay file %s holds a time step of %g; read as %g\n", path.c_str(), step,
                    bounded);
        stepReported = true;
    }
    return bounded;
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
    std::FILE* closing = open ? stream : nullptr;
    stream = nullptr;
    open = false;
    // The last frames leave the buffer only now, and may fail to.
    if (closing && std::fclose(closing) != 0 && recording) ReportWriteError(errno);
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
