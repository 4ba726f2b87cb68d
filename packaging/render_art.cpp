// Build-time tool: writes the icon PNGs and streams the intro's raw frames for the encoder.
//   ostrel-art icons DIR     DIR/ostrel-<size>.png for every icon size
//   ostrel-art intro-frames  raw RGB frames of the intro on standard output
//   ostrel-art ico FILE      every icon size in one Windows icon file
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/intro_frames.hpp"
#include "app/window_icon.hpp"

namespace {

void put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xff));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

// One icon image as Windows stores it: a 32-bit bottom-up DIB (height doubled for the mask)
// followed by an all-clear AND mask, so the alpha channel alone decides what shows.
std::vector<std::uint8_t> dib_image(int size) {
    const auto rgba = ostrel::make_icon_pixels(size);
    const int mask_row = ((size + 31) / 32) * 4;
    std::vector<std::uint8_t> out;
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(size));
    put32(out, static_cast<std::uint32_t>(size * 2));
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(size * size * 4 + mask_row * size));
    for (int i = 0; i < 4; ++i)
        put32(out, 0);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    out.insert(out.end(), static_cast<std::size_t>(mask_row * size), 0);
    return out;
}

bool write_ico(const std::string& path) {
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : ostrel::kIconSizes)
        images.push_back(dib_image(size));
    std::vector<std::uint8_t> out;
    put16(out, 0);
    put16(out, 1);
    put16(out, static_cast<unsigned>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    std::size_t i = 0;
    for (int size : ostrel::kIconSizes) {
        const auto side = static_cast<std::uint8_t>(size >= 256 ? 0 : size);
        out.insert(out.end(), {side, side, 0, 0});
        put16(out, 1);
        put16(out, 32);
        put32(out, static_cast<std::uint32_t>(images[i].size()));
        put32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
        ++i;
    }
    for (const auto& image : images)
        out.insert(out.end(), image.begin(), image.end());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The frames are raw bytes: no line-end translation on the way to the encoder.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
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
    if (what == "ico" && argc == 3) {
        if (write_ico(argv[2])) return 0;
        std::fprintf(stderr, "ostrel-art: cannot write %s\n", argv[2]);
        return 1;
    }
    if (what == "intro-frames" && argc == 2) {
        for (int i = 0; i < ostrel::kIntroFrames; ++i) {
            const auto frame = ostrel::make_intro_frame(i);
            if (std::fwrite(frame.data(), 1, frame.size(), stdout) != frame.size()) return 1;
        }
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    std::fprintf(stderr,
                 "usage: ostrel-art icons DIR | ostrel-art intro-frames | ostrel-art ico FILE\n");
    return 2;
}
