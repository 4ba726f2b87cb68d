// The loops compiled at several vector widths give the same bits at every width the processor
// has, and the same as a plain loop over one value at a time.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "market/lagged_sums.hpp"
#include "market/sweep_quotients.hpp"
#include "market/vector_width.hpp"

namespace ostrel {
namespace {

using kernel::kHurstLags;

std::vector<std::size_t> widths() {
    std::vector<std::size_t> out;
    for (std::size_t w : {2u, 4u, 8u}) {
        if (w <= kernel::widest_vector()) out.push_back(w);
    }
    return out;
}

std::uint64_t bits(double v) {
    return std::bit_cast<std::uint64_t>(v);
}

/// The lagged sums one lag at a time.
std::array<double, kHurstLags> plain_lagged(const std::vector<double>& c, const double* mean) {
    std::array<double, kHurstLags> out{};
    for (std::size_t l = 0; l < kHurstLags; ++l) {
        const std::size_t lag = l + 2;
        double sum = 0.0;
        for (std::size_t j = lag; j < c.size(); ++j) {
            const double d = c[j] - c[j - lag];
            if (mean == nullptr) {
                sum += d;
            } else {
                const double e = d - mean[l];
                sum += e * e;
            }
        }
        out[l] = sum;
    }
    return out;
}

TEST(VectorWidth, WidestIsOneOfTheKnownWidthsAndNarrowerOnesAreHonoured) {
    const std::size_t widest = kernel::widest_vector();
    EXPECT_TRUE(widest == 2 || widest == 4 || widest == 8);
    EXPECT_EQ(kernel::usable_width(0), widest);
    EXPECT_EQ(kernel::usable_width(3), widest);
    EXPECT_EQ(kernel::usable_width(2), 2u);
    EXPECT_EQ(kernel::usable_width(16), widest);
}

TEST(VectorWidth, LaggedSumsMatchOneLagAtATimeAtEveryWidth) {
    std::mt19937 rng(7);
    std::normal_distribution<double> step(0.0, 1.0);
    // Lengths around the point where the longest lag starts, and long ones.
    for (std::size_t n : {0u, 1u, 2u, 3u, 19u, 20u, 21u, 22u, 100u, 257u, 1000u}) {
        std::vector<double> c(n);
        double price = 100.0;
        for (double& v : c) {
            price += step(rng);
            v = price;
        }
        if (n == 257) c[130] = std::nan("");
        if (n == 1000) c[500] = HUGE_VAL;
        std::array<double, kHurstLags> mean{};
        for (std::size_t l = 0; l < kHurstLags; ++l)
            mean[l] = 0.1 * static_cast<double>(l) - 0.7;
        const auto plain_sums = plain_lagged(c, nullptr);
        const auto plain_squares = plain_lagged(c, mean.data());
        for (std::size_t w : widths()) {
            std::array<double, kHurstLags> sums{};
            std::array<double, kHurstLags> squares{};
            kernel::sum_lagged(c.data(), n, nullptr, sums, w);
            kernel::sum_lagged(c.data(), n, mean.data(), squares, w);
            for (std::size_t l = 0; l < kHurstLags; ++l) {
                EXPECT_EQ(bits(sums[l]), bits(plain_sums[l])) << "n " << n << " width " << w;
                EXPECT_EQ(bits(squares[l]), bits(plain_squares[l])) << "n " << n << " width " << w;
            }
        }
    }
}

TEST(VectorWidth, BlockQuotientsMatchTheOneBarRulesAtEveryWidth) {
    constexpr std::size_t kBlock = kernel::kSweepBlock;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::array<double, kBlock> range{}, plus{}, minus{}, weight{}, fast{}, slow{}, fw{}, sw{};
    for (std::size_t j = 0; j < kBlock; ++j) {
        weight[j] = 1.0 + 13.0 * unit(rng);
        range[j] = unit(rng) * 5.0;
        plus[j] = unit(rng) * 2.0;
        minus[j] = unit(rng) * 2.0;
        fast[j] = 100.0 * unit(rng);
        slow[j] = 100.0 * unit(rng);
        fw[j] = 1.0 + 5.0 * unit(rng);
        sw[j] = 1.0 + 12.0 * unit(rng);
    }
    // The special cases: an ATR of 0 (also -0), no movement at all, a missing sum.
    range[3] = 0.0;
    range[9] = -0.0;
    plus[5] = 0.0;
    minus[5] = 0.0;
    plus[12] = std::nan("");
    fast[17] = std::nan("");
    for (std::size_t m : {1u, 2u, 3u, 7u, 8u, 9u, 31u, 63u, 64u}) {
        std::array<double, kBlock> dx_plain{}, lines_plain{};
        double plus_last = 0.0;
        double minus_last = 0.0;
        for (std::size_t j = 0; j < m; ++j) {
            const double a0 = range[j] / weight[j];
            const double a = a0 == 0.0 ? 1e-9 : a0;
            const double pdi = 100.0 * (plus[j] / weight[j]) / a;
            const double mdi = 100.0 * (minus[j] / weight[j]) / a;
            const double sum = pdi + mdi;
            dx_plain[j] = sum == 0.0 ? 0.0 : 100.0 * std::fabs(pdi - mdi) / sum;
            plus_last = pdi;
            minus_last = mdi;
            lines_plain[j] = fast[j] / fw[j] - slow[j] / sw[j];
        }
        for (std::size_t w : widths()) {
            std::array<double, kBlock> dx{}, lines{};
            const kernel::DiLines di = kernel::dmi_dx(range.data(), plus.data(), minus.data(),
                                                      weight.data(), m, dx.data(), w);
            kernel::macd_lines(fast.data(), fw.data(), slow.data(), sw.data(), m, lines.data(), w);
            EXPECT_EQ(bits(di.plus), bits(plus_last)) << "m " << m << " width " << w;
            EXPECT_EQ(bits(di.minus), bits(minus_last)) << "m " << m << " width " << w;
            for (std::size_t j = 0; j < m; ++j) {
                EXPECT_EQ(bits(dx[j]), bits(dx_plain[j])) << j << " m " << m << " width " << w;
                EXPECT_EQ(bits(lines[j]), bits(lines_plain[j]))
                    << j << " m " << m << " width " << w;
            }
        }
    }
}

}  // namespace
}  // namespace ostrel
