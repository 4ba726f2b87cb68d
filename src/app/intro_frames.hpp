// The intro clip's pictures: the window icon's mark drawing itself on a dark stage. The build
// renders them and encodes the clip that the program carries.
#pragma once

#include <cstdint>
#include <vector>

namespace ostrel {

inline constexpr int kIntroWidth = 1280;
/// 800 rows: the player crops the bottom tenth, which leaves a 1280 x 720 picture.
inline constexpr int kIntroHeight = 800;
inline constexpr int kIntroFps = 25;
inline constexpr int kIntroFrames = 100;  ///< four seconds

/// Frame `index` (0 .. kIntroFrames - 1), RGB, 8 bits per channel, rows top to bottom.
std::vector<std::uint8_t> make_intro_frame(int index);

}  // namespace ostrel
