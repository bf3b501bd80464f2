// What the X display shows, read back for window tests of the real game:
// the whole display at once, where the game's own pixel reads answer one
// pixel of its last frame at a time.
#pragma once

#include <cstdint>
#include <vector>

namespace TestSupport {

struct ScreenPixel {
    uint8_t r = 0, g = 0, b = 0;
};

class ScreenImage {
public:
    // The whole root window of $DISPLAY; empty when the display cannot be
    // opened or read.
    static ScreenImage Capture();
    bool Empty() const { return pixels_.empty(); }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Black outside the image.
    ScreenPixel At(int x, int y) const;
    // How many pixels of the rectangle [x0, x1) x [y0, y1), sampled every
    // `step` pixels, satisfy `test`.
    template <class Test>
    int Count(int x0, int y0, int x1, int y1, int step, Test test) const {
        int n = 0;
        for (int y = y0; y < y1; y += step)
            for (int x = x0; x < x1; x += step)
                if (test(At(x, y))) ++n;
        return n;
    }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<ScreenPixel> pixels_;
};

// Yellow text pixels at the top left of the display, from its edge down past
// the layout's FPS counter (its text starts 60/1000 across, 100/1000 down).
int FpsCounterPixels();

}  // namespace TestSupport
