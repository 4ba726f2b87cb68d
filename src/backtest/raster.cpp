// The canvas: plain pixel work, no dependency beyond stb's segment font.
#include "backtest/raster.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_easy_font.h>
#pragma GCC diagnostic pop

namespace ostrel::backtest {

Canvas::Canvas(int width, int height, Rgb bg)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height) * 3) {
    for (std::size_t i = 0; i < pixels_.size(); i += 3) {
        pixels_[i] = bg.r;
        pixels_[i + 1] = bg.g;
        pixels_[i + 2] = bg.b;
    }
}

void Canvas::blend(int x, int y, Rgb c, double a) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || !(a > 0.0)) return;
    a = std::min(a, 1.0);
    std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 3];
    const auto mix = [a](std::uint8_t dst, std::uint8_t src) {
        return static_cast<std::uint8_t>(std::lround(dst + (src - dst) * a));
    };
    p[0] = mix(p[0], c.r);
    p[1] = mix(p[1], c.g);
    p[2] = mix(p[2], c.b);
}

void Canvas::fill_rect(int x0, int y0, int x1, int y1, Rgb c) {
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    for (int y = std::max(y0, 0); y < std::min(y1, height_); ++y) {
        for (int x = std::max(x0, 0); x < std::min(x1, width_); ++x)
            blend(x, y, c, 1.0);
    }
}

void Canvas::line(double x0, double y0, double x1, double y1, Rgb c, double thickness) {
    // Coverage by distance from the segment: simple, and smooth at any slope.
    const double half = thickness / 2.0;
    const int xa = static_cast<int>(std::floor(std::min(x0, x1) - half - 1));
    const int xb = static_cast<int>(std::ceil(std::max(x0, x1) + half + 1));
    const int ya = static_cast<int>(std::floor(std::min(y0, y1) - half - 1));
    const int yb = static_cast<int>(std::ceil(std::max(y0, y1) + half + 1));
    const double dx = x1 - x0, dy = y1 - y0;
    const double len2 = dx * dx + dy * dy;
    for (int y = std::max(ya, 0); y <= std::min(yb, height_ - 1); ++y) {
        for (int x = std::max(xa, 0); x <= std::min(xb, width_ - 1); ++x) {
            const double px = x + 0.5 - x0, py = y + 0.5 - y0;
            const double t = len2 > 0.0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
            const double ex = px - t * dx, ey = py - t * dy;
            const double d = std::sqrt(ex * ex + ey * ey);
            blend(x, y, c, half + 0.5 - d);
        }
    }
}

void Canvas::text(int x, int y, const std::string& s, Rgb c, int scale) {
    std::string copy = s;
    // Trivially destructible: thread-local objects with destructors crash at thread exit on
    // mingw-w64's runtime.
    static thread_local std::array<char, 64 * 1024> buffer;
    unsigned char color[4] = {255, 255, 255, 255};
    const int quads = stb_easy_font_print(0, 0, copy.data(), color, buffer.data(),
                                          static_cast<int>(buffer.size()));
    for (int q = 0; q < quads; ++q) {
        const float* v = reinterpret_cast<const float*>(buffer.data() + q * 64);
        // Vertices 0 and 2 are opposite corners; each vertex is x, y, z and a colour word.
        const int qx0 = x + static_cast<int>(v[0] * scale),
                  qy0 = y + static_cast<int>(v[1] * scale);
        const int qx1 = x + static_cast<int>(v[8] * scale),
                  qy1 = y + static_cast<int>(v[9] * scale);
        fill_rect(qx0, qy0, qx1, qy1, c);
    }
}

}  // namespace ostrel::backtest
