#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "support/GlContext.h"

// The test display gives real pixels: a cleared window reads back its colour.
TEST(GlContext, ClearedWindowReadsBackItsColour) {
    TestSupport::GlContext gl(64, 48);
    ASSERT_TRUE(gl.Ok()) << "no display";
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    unsigned char rgba[4] = {};
    TestSupport::GlContext::ReadPixel(10, 10, rgba);
    EXPECT_EQ(rgba[0], 255);
    EXPECT_EQ(rgba[1], 0);
    EXPECT_EQ(rgba[2], 0);
}
