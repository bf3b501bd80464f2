// The image decoder on its own, without GL.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "Graphics/ImageFile.h"

// However long a chunk claims to be and however far its text, colour
// profile or image data would inflate, no seed of the image fuzz target
// takes 8 MiB or a twentieth of a second.
TEST(ImageFile, EverySeedDecodesWithinEightMebibytesAndAMoment) {
    const auto peakKiB = [] {  // the most the process has held (VmHWM)
        std::ifstream status("/proc/self/status");
        std::string key;
        while (status >> key && key != "VmHWM:") {
        }
        long peak = 0;
        return status >> peak, peak;
    };
    for (const auto& seed :
         std::filesystem::directory_iterator(TAZZLE_SOURCE_DIR "/tests/fuzz/corpus/image")) {
        std::FILE* file = std::fopen(seed.path().c_str(), "rb");
        ASSERT_NE(file, nullptr);
        std::ofstream("/proc/self/clear_refs") << "5";  // the peak back to what is held now
        const long before = peakKiB();
        ImageFile::Pixels pixels;
        std::string why;
        const std::clock_t start = std::clock();
        ImageFile::Decode(file, 16384, pixels, why);
        EXPECT_LT(std::clock() - start, CLOCKS_PER_SEC / 20) << seed.path();
        std::fclose(file);
        EXPECT_LT(peakKiB() - before, 8 * 1024) << seed.path();
    }
}
