// Drawing the window icon into RGBA buffers and handing them to GLFW.
#include "app/window_icon.hpp"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>

namespace ostrel {

#ifdef _WIN32
void set_native_window_icon(GLFWwindow* window);  // window_icon_win32.cpp
#else
static void set_native_window_icon(GLFWwindow*) {}
#endif

namespace {

struct Rgb {
    float r, g, b;
};

constexpr Rgb kBackground{0.09f, 0.09f, 0.09f};
constexpr Rgb kAmber{1.00f, 0.65f, 0.00f};
constexpr Rgb kWhite{0.95f, 0.95f, 0.95f};

// Coverage of a pixel by a shape given as a signed distance (negative inside), in pixels.
float coverage(float distance) {
    return std::clamp(0.5f - distance, 0.0f, 1.0f);
}

float rounded_square_distance(float x, float y, float half, float radius) {
    const float qx = std::abs(x) - (half - radius);
    const float qy = std::abs(y) - (half - radius);
    const float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

float segment_distance(float px, float py, float ax, float ay, float bx, float by) {
    const float dx = bx - ax, dy = by - ay;
    const float t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.f, 1.f);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

Rgb mix(Rgb under, Rgb over, float amount) {
    return {under.r + (over.r - under.r) * amount, under.g + (over.g - under.g) * amount,
            under.b + (over.b - under.b) * amount};
}

}  // namespace

std::vector<std::uint8_t> make_icon_pixels(int size) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(size) * size * 4);
    const float s = static_cast<float>(size);
    const float half = s / 2.0f;
    const float ring_radius = s * 0.30f;
    const float ring_width = std::max(1.0f, s * 0.085f);
    const float line_width = std::max(1.0f, s * 0.06f);
    // A rising line through the ring: the chart of a good swing.
    const float ax = s * 0.22f, ay = s * 0.70f, bx = s * 0.48f, by = s * 0.50f;
    const float cx = s * 0.60f, cy = s * 0.58f, dx = s * 0.80f, dy = s * 0.28f;

    for (int row = 0; row < size; ++row) {
        for (int col = 0; col < size; ++col) {
            const float x = static_cast<float>(col) + 0.5f;
            const float y = static_cast<float>(row) + 0.5f;
            const float alpha =
                coverage(rounded_square_distance(x - half, y - half, half, s * 0.18f));
            Rgb colour = kBackground;
            const float ring = std::abs(std::hypot(x - half, y - half) - ring_radius);
            colour = mix(colour, kAmber, coverage(ring - ring_width / 2.0f));
            const float line = std::min({segment_distance(x, y, ax, ay, bx, by),
                                         segment_distance(x, y, bx, by, cx, cy),
                                         segment_distance(x, y, cx, cy, dx, dy)});
            colour = mix(colour, kWhite, coverage(line - line_width / 2.0f));

            std::uint8_t* p = &pixels[(static_cast<std::size_t>(row) * size + col) * 4];
            p[0] = static_cast<std::uint8_t>(std::lround(colour.r * 255.0f));
            p[1] = static_cast<std::uint8_t>(std::lround(colour.g * 255.0f));
            p[2] = static_cast<std::uint8_t>(std::lround(colour.b * 255.0f));
            p[3] = static_cast<std::uint8_t>(std::lround(alpha * 255.0f));
        }
    }
    return pixels;
}

#ifndef _WIN32
std::vector<std::uint8_t> read_icon_resource(int) {
    return {};
}
#endif

void set_window_icon(GLFWwindow* window) {
    std::vector<std::vector<std::uint8_t>> buffers;
    std::vector<GLFWimage> images;
    for (int size : kIconSizes) {
        auto pixels = read_icon_resource(size);
        buffers.push_back(pixels.empty() ? make_icon_pixels(size) : std::move(pixels));
    }
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        images.push_back(GLFWimage{kIconSizes[i], kIconSizes[i], buffers[i].data()});
    }
    glfwSetWindowIcon(window, static_cast<int>(images.size()), images.data());
    set_native_window_icon(window);
}

}  // namespace ostrel
