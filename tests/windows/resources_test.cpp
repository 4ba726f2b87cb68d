// The program's Windows resources read back as the running program reads them: the icon group
// holds the drawn mark at every size, and the intro clip is the one the build encoded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/intro_clip.hpp"
#include "app/window_icon.hpp"

namespace ostrel {
namespace {

TEST(WindowsResources, IconGroupHoldsTheDrawnMarkAtEverySize) {
    for (int size : kIconSizes) {
        const auto read = read_icon_resource(size);
        ASSERT_EQ(read.size(), static_cast<std::size_t>(size) * size * 4) << size;
        const auto drawn = make_icon_pixels(size);
        // A byte off here or there would still be the mark; a flipped, mirrored or
        // channel-swapped picture would not.
        int far_off = 0;
        for (std::size_t i = 0; i < drawn.size(); ++i)
            if (std::abs(int{read[i]} - int{drawn[i]}) > 2) ++far_off;
        EXPECT_EQ(far_off, 0) << "size " << size;
    }
}

TEST(WindowsResources, TheClipResourceIsTheEncodedIntro) {
    const auto clip = embedded_intro_clip();
    std::ifstream file(OSTREL_BINARY_DIR "/packaging/art/Ostrelintro.mp4", std::ios::binary);
    if (!file) GTEST_SKIP() << "this build encoded no intro clip";
    const std::vector<char> encoded((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    ASSERT_EQ(clip.size(), encoded.size());
    EXPECT_TRUE(std::equal(clip.begin(), clip.end(),
                           reinterpret_cast<const std::uint8_t*>(encoded.data())));
}

}  // namespace
}  // namespace ostrel
