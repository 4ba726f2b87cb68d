// A small RGB canvas: filled rectangles, anti-aliased lines and tiny text, enough for a chart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::backtest {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

class Canvas {
  public:
    Canvas(int width, int height, Rgb background);

    int width() const { return width_; }
    int height() const { return height_; }
    const std::vector<std::uint8_t>& pixels() const { return pixels_; }

    /// Blends `c` over the pixel with coverage `alpha` (0..1); outside the canvas nothing.
    void blend(int x, int y, Rgb c, double alpha);
    void fill_rect(int x0, int y0, int x1, int y1, Rgb c);
    /// A line of about `thickness` pixels with soft edges (Wu-style coverage).
    void line(double x0, double y0, double x1, double y1, Rgb c, double thickness = 1.0);
    /// Text in an 8-pixel-high font, top-left at (x, y), drawn at `scale`.
    void text(int x, int y, const std::string& s, Rgb c, int scale = 1);

  private:
    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace ostrel::backtest
