#include <gtest/gtest.h>

#include "Graphics/Window.h"

namespace {

struct Viewport {
    int width, height, offsetX, offsetY;
};

Viewport For(int w, int h) {
    ResizeViewport(w, h);
    return {GetViewportWidth(), GetViewportHeight(), LetterboxOffsetX, LetterboxOffsetY};
}

}  // namespace

TEST(Letterbox, TheVirtualScreenKeepsItsShapeInAnyWindow) {
    Viewport wide = For(2560, 1080);
    EXPECT_EQ(wide.width, 1920);
    EXPECT_EQ(wide.height, 1080);
    EXPECT_EQ(wide.offsetX, 320);
    EXPECT_EQ(wide.offsetY, 0);

    Viewport tall = For(1280, 1024);
    EXPECT_EQ(tall.width, 1280);
    EXPECT_EQ(tall.height, 720);
    EXPECT_EQ(tall.offsetX, 0);
    EXPECT_EQ(tall.offsetY, 152);

    Viewport old = For(1024, 768);
    EXPECT_EQ(old.width, 1024);
    EXPECT_EQ(old.height, 576);
    EXPECT_EQ(old.offsetY, 96);

    Viewport exact = For(1920, 1080);
    EXPECT_EQ(exact.width, 1920);
    EXPECT_EQ(exact.offsetX, 0);
    EXPECT_EQ(exact.offsetY, 0);

    // A zero height (a minimised window) never divides by zero.
    For(800, 0);
    EXPECT_EQ(WindowHeight, 1);
    For(1920, 1080);
}
