#include "effects/CloakFade.h"

#include <gtest/gtest.h>

TEST(CloakFade, ThirtyStepsOfOpacityAndFrames) {
    const int opacities[30] = {255, 254, 253, 252, 250, 247, 244, 241, 236, 232,
                               226, 220, 214, 207, 199, 191, 182, 173, 163, 152,
                               141, 130, 117, 105, 91,  77,  63,  48,  32,  16};
    int step = 0, frameIndex = kCloakFirstFrame;
    for (int i = 0; i < 30; ++i) {
        int frame = -1, opacity = -1;
        ASSERT_TRUE(AdvanceCloakFade(step, frameIndex, frame, opacity)) << i;
        EXPECT_EQ(opacity, opacities[i]) << "step " << i;
        // 2..14, then 0..14, then 0 and 1.
        EXPECT_EQ(frame, (i + 2) % 15) << "step " << i;
    }
    int frame = -1, opacity = -1;
    EXPECT_FALSE(AdvanceCloakFade(step, frameIndex, frame, opacity));
    EXPECT_EQ(frame, -1);
    EXPECT_EQ(opacity, -1);
    EXPECT_EQ(step, 31);
}

TEST(CloakFade, LevelCurve) {
    EXPECT_EQ(FadeLevel(0), 1.0);
    EXPECT_NEAR(FadeLevel(15), 0.75, 1e-7);
    EXPECT_NEAR(FadeLevel(29), 0.0656, 1e-4);
    EXPECT_LT(FadeLevel(30), 0.0); // 1/30 in single precision is a little too big
    EXPECT_GT(FadeLevel(30), -1e-6);
    EXPECT_EQ(FadeOpacity(-0.5), 0);
    EXPECT_EQ(FadeOpacity(1.0), 255);
}
