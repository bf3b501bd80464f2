// Console lines, one per input line, as typed into the console or sent by a
// script or a button; each is followed by a frame so that the state changes
// they ask for happen. Each input starts from an empty level.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzEngine.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    Fuzz::StartEngineKeepingPaths(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // A bounded number of lines keeps each input quick.
    for (int lines = 0; lines < 16 && !text.empty(); ++lines) {
        std::size_t end = text.find('\n');
        Fuzz::ConsoleLine(std::string(text.substr(0, end)));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    Fuzz::ConsoleLine("level Level");
    return 0;
}
