// Streams each frame's raw input and frame time to a replay file while
// recording, and feeds them back while playing back.
//
// A replay file is a plain sequence of 1072-byte frames, little-endian:
// the frame time (double), the key block (424 bytes), the typed-character
// block (255 bytes), the any-input byte and the pad block (96 floats).
#pragma once

#include <cstddef>
#include <cstdio>

#include "System/Source/PoolAllocator.h"

class ReplayRecorder : public System::PoolObject {
public:
    static constexpr std::size_t kFrameBytes = 1072;

    explicit ReplayRecorder(bool recording = true) : recording(recording) {}
    ~ReplayRecorder() { Close(); }
    ReplayRecorder(const ReplayRecorder&) = delete;
    ReplayRecorder& operator=(const ReplayRecorder&) = delete;

    // Opens the replay file: for writing when recording, for reading when
    // playing back. A file already open is closed first. False on failure.
    bool Open(const char* path);
    // Recording with a file open: appends the block. A block that cannot be
    // written ends the recording with one line naming the file and why.
    void Write(const void* block, std::size_t size);
    // Recording: the frame's blocks are all written and reach the file now,
    // so that a game that never closes it (the watchdog, a crash, SIGKILL)
    // leaves every frame it recorded whole.
    void EndFrame();
    // Playing back with a file open: reads the block. True only when the
    // whole block was read; otherwise the block keeps what it held, and a
    // file that ran out is closed with one line, so that the game goes on
    // with live input.
    bool Read(void* block, std::size_t size);
    void Close();
    // A played-back time step within the bounds measured steps get: one that
    // is not a finite number or below 0 reads as 0, one above `largest` as
    // `largest`. The first such step of a file is named in one line.
    double BoundTimeStep(double step, double largest);

    bool IsOpen() const { return open; }
    bool IsRecording() const { return recording; }
    bool IsPlayingBack() const { return !recording; }
    // Playing back from an open file: the devices are replaced by the file.
    bool IsReplaying() const { return open && !recording; }

    std::FILE* stream = nullptr;
    bool open = false;
    bool recording = true;
    System::String path;

private:
    void ReportWriteError(int error);
    bool writeFailed = false;
    bool stepReported = false;
};

// The engine's one recorder, made by the start-up.
extern ReplayRecorder* Recorder;

// The start-up's recorder: the first command-line argument names a replay
// file to play back; without one, the environment variable TAZZLE_RECORD
// names a file to record into. A file that cannot be opened, or is no
// regular file, is named in one line and the game runs live.
ReplayRecorder* CreateReplayRecorder(int argc, char** argv);
