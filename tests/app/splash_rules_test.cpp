// Where the splash sits, how it fits the video, and what ends it.
#include "app/splash_rules.hpp"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(SplashRules, StartsCentredOnTheWorkArea) {
    EXPECT_EQ(centred({0, 0, 1920, 1080}, 1280, 720), (ScreenRect{320, 180, 1280, 720}));
    // A work area that does not start at 0 (a panel on the left, one at the top), odd halves.
    EXPECT_EQ(centred({64, 27, 1855, 1053}, 1280, 720), (ScreenRect{351, 193, 1280, 720}));
    // Smaller than the window: it still centres, off the edges.
    EXPECT_EQ(centred({0, 0, 1024, 600}, 1280, 720), (ScreenRect{-128, -60, 1280, 720}));
}

TEST(SplashRules, FitsTheCroppedVideoWithinEightyFivePercent) {
    ScreenRect out;
    // Fits as it is once the bottom tenth is gone.
    ASSERT_TRUE(fit_to_video({0, 0, 1920, 1080}, 1280, 800, out));
    EXPECT_EQ(out, (ScreenRect{320, 180, 1280, 720}));

    // Larger than the limits (1632 x 918): 3840 x 2160 crops to 3840 x 1944; the width is the
    // tighter side (1944 x 1632 >= 3840 x 918 is false), so the factor is 1632 / 3840.
    ASSERT_TRUE(fit_to_video({0, 0, 1920, 1080}, 3840, 2160, out));
    EXPECT_EQ(out, (ScreenRect{144, 127, 1632, 826}));

    // A tall video: the height is the tighter side; the factor 918 / 1800.
    ASSERT_TRUE(fit_to_video({0, 0, 1920, 1080}, 1000, 2000, out));
    EXPECT_EQ(out, (ScreenRect{705, 81, 510, 918}));

    // Only one side too large still scales both.
    ASSERT_TRUE(fit_to_video({100, 50, 1000, 1000}, 2000, 100, out));
    EXPECT_EQ(out, (ScreenRect{175, 531, 850, 38}));

    // One row high: at least one row survives the crop.
    ASSERT_TRUE(fit_to_video({0, 0, 1920, 1080}, 640, 1, out));
    EXPECT_EQ(out.height, 1);

    EXPECT_FALSE(fit_to_video({0, 0, 1920, 1080}, 0, 720, out));
    EXPECT_FALSE(fit_to_video({0, 0, 1920, 1080}, 1280, 0, out));
}

TEST(SplashRules, EnterEscapeSpaceAndEitherButtonDismiss) {
    for (int key : {GLFW_KEY_ENTER, GLFW_KEY_KP_ENTER, GLFW_KEY_ESCAPE, GLFW_KEY_SPACE}) {
        EXPECT_TRUE(key_dismisses(key)) << key;
    }
    for (int key : {GLFW_KEY_A, GLFW_KEY_Q, GLFW_KEY_TAB, GLFW_KEY_BACKSPACE, GLFW_KEY_LEFT_ALT,
                    GLFW_KEY_F4, GLFW_KEY_UNKNOWN}) {
        EXPECT_FALSE(key_dismisses(key)) << key;
    }
    EXPECT_TRUE(button_dismisses(GLFW_MOUSE_BUTTON_LEFT));
    EXPECT_TRUE(button_dismisses(GLFW_MOUSE_BUTTON_RIGHT));
    EXPECT_FALSE(button_dismisses(GLFW_MOUSE_BUTTON_MIDDLE));
}

TEST(SplashRules, AClipThatNeverEndsStopsAfterTwoMinutes) {
    SplashState state(1000.0);
    EXPECT_FALSE(state.over(1000.0));
    EXPECT_FALSE(state.over(1119.999));
    EXPECT_TRUE(state.over(1120.0));
    SplashState dismissed(5.0);
    dismissed.finish();
    EXPECT_TRUE(dismissed.over(5.0));
}

}  // namespace
}  // namespace ostrel
