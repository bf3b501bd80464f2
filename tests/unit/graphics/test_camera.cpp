#include <gtest/gtest.h>

#include <cmath>

#include "Graphics/Camera.h"
#include "System/Source/EngineRandom.h"
#include "World/Transform.h"

TEST(Camera, SetBoundsFollowsTheNarrowerOfWidthAndHeight) {
    Camera unbounded(0, 0);
    unbounded.SetBounds(1920, 1080);
    EXPECT_FLOAT_EQ(unbounded.width, 1920);
    EXPECT_FLOAT_EQ(unbounded.height, 1080);
    EXPECT_FLOAT_EQ(unbounded.scale, 1);

    Camera narrow(0, 0);
    narrow.lowerX = 0, narrow.upperX = 1000, narrow.lowerY = 0, narrow.upperY = 2000;
    narrow.SetBounds(1920, 1080);
    EXPECT_FLOAT_EQ(narrow.width, 1000);
    EXPECT_FLOAT_EQ(narrow.scale, 1.92f);
    EXPECT_FLOAT_EQ(narrow.height, 1080);

    Camera flat(0, 0);
    flat.lowerX = 0, flat.upperX = 3000, flat.lowerY = 0, flat.upperY = 500;
    flat.SetBounds(1920, 1080);
    EXPECT_FLOAT_EQ(flat.height, 500);
    EXPECT_NEAR(flat.width, 888.89f, 0.01f);
    EXPECT_NEAR(flat.scale, 2.16f, 0.001f);
}

TEST(Camera, AViewWithoutSizeIsRefused) {
    Camera camera(0, 0);
    camera.SetBounds(0, 0);
    camera.SetBounds(-5, 10);
    camera.SetBounds(std::nanf(""), 10);
    EXPECT_FLOAT_EQ(camera.width, 1920);
    EXPECT_FLOAT_EQ(camera.scale, 1);
    // Bounds of no width cannot shrink the view to nothing either.
    camera.lowerX = camera.upperX = 5;
    camera.SetBounds(1920, 1080);
    EXPECT_FLOAT_EQ(camera.width, 1920);
    camera.Update(0.016f);
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(camera.View()[i / 4][i % 4]));
}

TEST(Camera, SetPositionClampsToTheBounds) {
    Camera camera(0, 0);
    camera.lowerX = 0, camera.upperX = 4000, camera.lowerY = 0, camera.upperY = 2000;
    camera.SetBounds(1920, 1080);
    camera.SetPosition(-500, -500);
    EXPECT_FLOAT_EQ(camera.position.x, 960);
    EXPECT_FLOAT_EQ(camera.position.y, 540);
    camera.SetPosition(99999, 99999);
    EXPECT_FLOAT_EQ(camera.position.x, 4000 - 960);
    EXPECT_FLOAT_EQ(camera.position.y, 2000 - 540);
    // Bounds narrower than the view: the upper clamp wins.
    camera.upperX = 1000;
    camera.SetPosition(0, 1000);
    EXPECT_FLOAT_EQ(camera.position.x, 1000 - 960);
}

TEST(Camera, LockBoundsTheScreenAndUnlockRestores) {
    Camera camera(100, 50);
    camera.Unlock();  // nothing saved yet: the bounds stay as they are
    EXPECT_FLOAT_EQ(camera.lowerX, -2147483648.0f);
    camera.Lock();
    EXPECT_FLOAT_EQ(camera.lowerX, 100 - 960);
    EXPECT_FLOAT_EQ(camera.upperY, 50 + 540);
    camera.SetPosition(5000, 0);
    EXPECT_FLOAT_EQ(camera.position.x, 100);
    camera.Unlock();
    EXPECT_FLOAT_EQ(camera.upperX, 2147483648.0f);
    camera.SetPosition(5000, 0);
    EXPECT_FLOAT_EQ(camera.position.x, 5000);

    // A level's own bounds, then Unlock without a Lock: they stay.
    Camera level(0, 0);
    level.lowerX = -300;
    level.upperX = 400;
    level.lowerY = -100;
    level.upperY = 200;
    level.Unlock();
    EXPECT_FLOAT_EQ(level.lowerX, -300);
    EXPECT_FLOAT_EQ(level.upperX, 400);
    EXPECT_FLOAT_EQ(level.lowerY, -100);
    EXPECT_FLOAT_EQ(level.upperY, 200);
}

TEST(Camera, ShakeTakesANewOffsetAtMostSixtyTimesASecond) {
    System::EngineSrand(1);
    Camera camera(10, 20);
    camera.SetShake(5, 3, 1.0f, true);
    camera.Update(1.0f / 30.0f);  // dt * 60 = 2: a new offset every frame
    float firstX = camera.shakenX;
    EXPECT_LE(std::fabs(camera.shakenX - 10), 5.0f);
    EXPECT_LE(std::fabs(camera.shakenY - 20), 3.0f);
    // The first engine random numbers give this offset for seed 1.
    EXPECT_FLOAT_EQ(firstX, 10 + (-5 + 10 * (41.0f / 32767.0f)));
    camera.Update(1.0f / 120.0f);  // half a tick: the offset holds
    EXPECT_FLOAT_EQ(camera.shakenX, firstX);
    // One-sided shake stays on the positive side.
    camera.SetShake(5, 3, 1.0f, false);
    camera.Update(1.0f / 30.0f);
    EXPECT_GE(camera.shakenX, 10);
    EXPECT_GE(camera.shakenY, 20);
    // When the time runs out the centre snaps back.
    camera.shakeTime = 0;
    camera.Update(0.016f);
    EXPECT_FLOAT_EQ(camera.shakenX, 10);
    EXPECT_FLOAT_EQ(camera.shakenY, 20);
}

TEST(Camera, VisibilityUsesTwiceTheView) {
    Camera camera(0, 0);
    camera.SetBounds(1920, 1080);
    EXPECT_TRUE(CameraSeesRect(camera, 0, 0, 10, 10));
    EXPECT_TRUE(CameraSeesRect(camera, 1920 + 5, 0, 10, 10));  // touching counts
    EXPECT_FALSE(CameraSeesRect(camera, 1920 + 6, 0, 10, 10));
    EXPECT_FALSE(CameraSeesRect(camera, 0, -1080 - 6, 10, 10));
    EXPECT_FALSE(CameraIsVisible(&camera, nullptr));
    EXPECT_FALSE(CameraIsVisible(nullptr, nullptr));
}
