// The generated window icon: every size complete, transparent corners, the amber mark inside.
#include "app/window_icon.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(WindowIcon, EverySizeIsAWholeImageWithTheMark) {
    for (int size : kIconSizes) {
        const auto pixels = make_icon_pixels(size);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(size * size * 4)) << size;
        const auto at = [&](int x, int y) { return &pixels[(y * size + x) * 4]; };

        EXPECT_LT(at(0, 0)[3], 32) << size;  // rounded corners are (nearly) see-through
        EXPECT_LT(at(size - 1, size - 1)[3], 32) << size;
        EXPECT_EQ(at(size / 2, size / 8)[3], 255) << size;  // the square itself is opaque

        int amber = 0;
        int light = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const std::uint8_t* p = at(x, y);
                if (p[0] > 200 && p[1] > 120 && p[1] < 190 && p[2] < 60) ++amber;
                if (p[0] > 200 && p[1] > 200 && p[2] > 200) ++light;
            }
        }
        EXPECT_GT(amber, size) << size;      // the ring
        EXPECT_GE(light, size / 4) << size;  // the rising line
    }
}

}  // namespace
}  // namespace ostrel
