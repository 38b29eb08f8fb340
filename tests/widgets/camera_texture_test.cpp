#include "common/widgets/camera_texture.h"

#include <gtest/gtest.h>

namespace {

Vector4 at(float x, float y, float z) { return Vector4{x, y, z, 1.0f}; }

}  // namespace

TEST(JointMarks, ProjectedPixelRoundedMinusTwo) {
    int x = -1, y = -1;
    // The optical axis lands on pixel (320, 240): the block starts two pixels up and left.
    ASSERT_TRUE(jointMarkOrigin(at(0.0f, 0.0f, 2.0f), x, y));
    EXPECT_EQ(x, 318);
    EXPECT_EQ(y, 238);
    // 0.5 m right and 0.25 m up at 2 m: u = 320 + 0.5 * 571.26 / 2 = 462.8, rounded 463.
    ASSERT_TRUE(jointMarkOrigin(at(0.5f, 0.25f, 2.0f), x, y));
    EXPECT_EQ(x, 461);
    EXPECT_EQ(y, static_cast<int>(240.0f - 0.25f * 571.26f / 2.0f + 0.5f) - 2);
}

TEST(JointMarks, NoDepthOrABlockOffTheTextureMarksNothing) {
    int x = 0, y = 0;
    EXPECT_FALSE(jointMarkOrigin(at(0.1f, 0.1f, 0.0f), x, y));
    EXPECT_FALSE(jointMarkOrigin(at(0.1f, 0.1f, 1.0e-8f), x, y));
    // Within two pixels of the left or top edge: u or v below 2.
    EXPECT_FALSE(jointMarkOrigin(at(-319.0f * 2.0f / 571.26f, 0.0f, 2.0f), x, y));  // u = 1.5 -> 1
    EXPECT_FALSE(jointMarkOrigin(at(0.0f, 239.0f * 2.0f / 571.26f, 2.0f), x, y));  // v = 1.5 -> 1
    EXPECT_TRUE(jointMarkOrigin(at(-318.0f * 2.0f / 571.26f, 0.0f, 2.0f), x, y));  // u = 2.5 -> 2
    EXPECT_EQ(x, 0);
    // Far off to the right or bottom: the 1024 x 1024 texture ends there.
    EXPECT_FALSE(jointMarkOrigin(at(2.0f, 0.0f, 1.0f), x, y));
    EXPECT_FALSE(jointMarkOrigin(at(1.0e9f, 0.0f, 1.0f), x, y));
}
