// Drawing and writing the equity chart.
#include "backtest/chart_png.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace ostrel::backtest {

namespace {

constexpr Rgb kBackground{255, 255, 255};
constexpr Rgb kGrid{226, 228, 232};
constexpr Rgb kAxisText{70, 74, 82};
constexpr Rgb kEquity{31, 94, 200};
constexpr Rgb kSpy{230, 126, 34};
constexpr Rgb kDrawdown{200, 48, 48};
constexpr Rgb kDrawdownFill{240, 190, 190};

/// "$25,000": whole dollars with thousands separators.
std::string dollars(double v) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.0f", std::fabs(v));
    std::string text = digits;
    for (int at = static_cast<int>(text.size()) - 3; at > 0; at -= 3)
        text.insert(at, ",");
    return (v < 0 ? "-$" : "$") + text;
}

/// A round step (1, 2, 2.5 or 5 times a power of ten) giving about `count` grid lines.
double nice_step(double range, int count) {
    const double raw = range / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (m * power >= raw) return m * power;
    }
    return 10.0 * power;
}

struct Panel {
    int left, top, right, bottom;
    double lo, hi;
    double y(double v) const { return bottom - (v - lo) / (hi - lo) * (bottom - top); }
};

}  // namespace

Canvas draw_chart(const Report& r, int width, int height) {
    Canvas c(width, height, kBackground);
    const int left = 90, right = width - 24, top = 48, bottom = height - 44;
    const int split = top + static_cast<int>((bottom - top) * 0.68);
    const std::size_t n = r.curve.size();
    std::string title = "Equity";
    for (std::size_t i = 0; i < r.symbols.size() && i < 8; ++i) {
        title += (i == 0 ? "  " : ",") + r.symbols[i];
    }
    if (r.symbols.size() > 8) title += ",...";
    c.text(left, 14, title, kAxisText, 2);
    if (n == 0) return c;

    double lo = r.figures.start_equity, hi = r.figures.start_equity;
    for (const EquityPoint& p : r.curve) {
        lo = std::min(lo, p.equity);
        hi = std::max(hi, p.equity);
    }
    for (double v : r.spy_equity) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    const double pad = std::max((hi - lo) * 0.06, 1.0);
    const Panel eq{left, top, right, split - 16, lo - pad, hi + pad};
    std::vector<double> dd(n);
    double peak = r.figures.start_equity, worst = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        peak = std::max(peak, r.curve[i].equity);
        dd[i] = peak > 0.0 ? (r.curve[i].equity - peak) / peak : 0.0;
        worst = std::min(worst, dd[i]);
    }
    const Panel ddp{left, split + 8, right, bottom, std::min(worst * 1.1, -0.01), 0.0};
    const auto x = [&](std::size_t i) {
        return n > 1 ? left + static_cast<double>(i) * (right - left) / (n - 1)
                     : (left + right) / 2.0;
    };

    // Grids and axis labels.
    const double step = nice_step(eq.hi - eq.lo, 5);
    for (double v = std::ceil(eq.lo / step) * step; v <= eq.hi; v += step) {
        const int yy = static_cast<int>(eq.y(v));
        c.fill_rect(left, yy, right, yy + 1, kGrid);
        c.text(8, yy - 4, dollars(v), kAxisText);
    }
    for (int k = 0; k <= 2; ++k) {
        const double v = k == 0 ? 0.0 : ddp.lo * k / 2.0;  // no "-0.0%" at the top
        const int yy = static_cast<int>(ddp.y(v));
        c.fill_rect(left, yy, right, yy + 1, kGrid);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.1f%%", v * 100.0);
        c.text(8, yy - 4, buf, kAxisText);
    }
    const std::size_t ticks = std::min<std::size_t>(6, n);
    for (std::size_t k = 0; k < ticks; ++k) {
        const std::size_t i = ticks > 1 ? k * (n - 1) / (ticks - 1) : 0;
        const int xx = static_cast<int>(x(i));
        c.fill_rect(xx, top, xx + 1, bottom, kGrid);
        c.text(std::clamp(xx - 28, 0, width - 64), bottom + 10, date_text(r.curve[i].time_ms),
               kAxisText);
    }

    // Drawdown: a filled area under zero with its edge drawn over it.
    const double zero = ddp.y(0.0);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const int x0 = static_cast<int>(x(i)), x1 = std::max(static_cast<int>(x(i + 1)), x0 + 1);
        c.fill_rect(x0, static_cast<int>(zero), x1, static_cast<int>(ddp.y(dd[i])) + 1,
                    kDrawdownFill);
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
        c.line(x(i), ddp.y(dd[i]), x(i + 1), ddp.y(dd[i + 1]), kDrawdown, 1.5);
    }
    for (std::size_t i = 0; i + 1 < r.spy_equity.size() && i + 1 < n; ++i) {
        c.line(x(i), eq.y(r.spy_equity[i]), x(i + 1), eq.y(r.spy_equity[i + 1]), kSpy, 1.5);
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
        c.line(x(i), eq.y(r.curve[i].equity), x(i + 1), eq.y(r.curve[i + 1].equity), kEquity, 2.0);
    }
    if (n == 1)
        c.fill_rect(static_cast<int>(x(0)) - 2, static_cast<int>(eq.y(r.curve[0].equity)) - 2,
                    static_cast<int>(x(0)) + 2, static_cast<int>(eq.y(r.curve[0].equity)) + 2,
                    kEquity);

    // Legend.
    int lx = right - 420;
    const int ly = 18;
    c.fill_rect(lx, ly + 3, lx + 24, ly + 6, kEquity);
    c.text(lx + 30, ly, "account equity", kAxisText);
    lx += 140;
    if (!r.spy_equity.empty()) {
        c.fill_rect(lx, ly + 3, lx + 24, ly + 6, kSpy);
        c.text(lx + 30, ly, "SPY buy and hold", kAxisText);
        lx += 150;
    }
    c.fill_rect(lx, ly + 3, lx + 24, ly + 6, kDrawdown);
    c.text(lx + 30, ly, "drawdown", kAxisText);
    return c;
}

std::expected<void, std::string> write_png(const Canvas& canvas,
                                           const std::filesystem::path& file) {
    const int ok = stbi_write_png(file.string().c_str(), canvas.width(), canvas.height(), 3,
                                  canvas.pixels().data(), canvas.width() * 3);
    if (!ok) return std::unexpected("cannot write " + file.string());
    return {};
}

}  // namespace ostrel::backtest
