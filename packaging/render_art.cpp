// Build-time tool: writes the icon PNGs and streams the intro's raw frames for the encoder.
//   ostrel-art icons DIR     DIR/ostrel-<size>.png for every icon size
//   ostrel-art intro-frames  raw RGB frames of the intro on standard output
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <cstdio>
#include <string>

#include "app/intro_frames.hpp"
#include "app/window_icon.hpp"

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "icons" && argc == 3) {
        for (int size : ostrel::kIconSizes) {
            const auto pixels = ostrel::make_icon_pixels(size);
            const std::string path =
                std::string(argv[2]) + "/ostrel-" + std::to_string(size) + ".png";
            if (stbi_write_png(path.c_str(), size, size, 4, pixels.data(), size * 4) == 0) {
                std::fprintf(stderr, "ostrel-art: cannot write %s\n", path.c_str());
                return 1;
            }
        }
        return 0;
    }
    if (what == "intro-frames" && argc == 2) {
        for (int i = 0; i < ostrel::kIntroFrames; ++i) {
            const auto frame = ostrel::make_intro_frame(i);
            if (std::fwrite(frame.data(), 1, frame.size(), stdout) != frame.size()) return 1;
        }
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "usage: ostrel-art icons DIR | ostrel-art intro-frames\n");
    return 2;
}
