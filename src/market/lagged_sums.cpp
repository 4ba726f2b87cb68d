// The lagged sums of the Hurst exponent, in vectors of 2, 4 or 8 lags.
//
// A vector of W lags is loaded straight from the closes: the W values c[j - lag] for W
// neighbouring lags are neighbours in memory, newest lag last. Each lane gets exactly the
// operations a plain double would, so the width changes the speed and never a bit of the
// result; the wider bodies are compiled for AVX2 and AVX-512 and chosen from what the processor
// reports.
#include "market/lagged_sums.hpp"

#include <cstring>

#include "market/vector_width.hpp"
#include "market/wide_vector.hpp"

namespace ostrel::kernel {

namespace {

template <std::size_t W>
using Vec = Wide<W>;

/// The lags `first` .. `first + W - 1` in one vector: lane t holds lag index first + W - 1 - t,
/// so that lane reads c[j - back + t] with `back` the longest of the lags.
template <std::size_t W>
struct Group {
    Vec<W> acc;
    Vec<W> mu;
    std::size_t back;

    [[gnu::always_inline]] void load(const std::array<double, kHurstLags>& sum, const double* mean,
                                     std::size_t first) {
        back = 2 + first + (W - 1);
        for (std::size_t t = 0; t < W; ++t) {
            acc[t] = sum[first + W - 1 - t];
            mu[t] = mean == nullptr ? 0.0 : mean[first + W - 1 - t];
        }
    }

    template <bool kSquares>
    [[gnu::always_inline]] void add(const double* c, std::size_t j) {
        Vec<W> cj;
        broadcast<W>(cj, c[j]);
        Vec<W> lagged;
        load_wide<W>(lagged, c + j - back);
        if constexpr (kSquares) {
            const Vec<W> e = (cj - lagged) - mu;
            Vec<W> square = e * e;
            // The square is rounded before it is added: the wide instruction sets have fused
            // multiply-adds, which would round once, and GCC may fuse across statements unasked.
            // Clang fuses only within one expression, and its register constraints do not
            // take every width, so it goes without the barrier.
#if !defined(__clang__)
            asm("" : "+v"(square));
#endif
            acc += square;
        } else {
            acc += cj - lagged;
        }
    }

    [[gnu::always_inline]] void store(std::array<double, kHurstLags>& sum,
                                      std::size_t first) const {
        for (std::size_t t = 0; t < W; ++t)
            sum[first + W - 1 - t] = acc[t];
    }
};

/// Every lag in groups of W, and a pair for the two left over when W does not divide the 18
/// lags; all the groups advance together over j from `begin` on.
template <std::size_t W, bool kSquares>
[[gnu::always_inline]] inline void run_groups(const double* c, std::size_t begin, std::size_t n,
                                              const double* mean,
                                              std::array<double, kHurstLags>& sum) {
    constexpr std::size_t kGroups = kHurstLags / W;
    constexpr std::size_t kRest = kHurstLags - kGroups * W;  // 0 or 2
    static_assert(kRest == 0 || kRest == 2);
    Group<W> groups[kGroups];
    for (std::size_t g = 0; g < kGroups; ++g)
        groups[g].load(sum, mean, g * W);
    Group<2> rest;
    rest.load(sum, mean, kHurstLags - 2);
    for (std::size_t j = begin; j < n; ++j) {
#pragma GCC unroll 9
        for (std::size_t g = 0; g < kGroups; ++g)
            groups[g].template add<kSquares>(c, j);
        if constexpr (kRest == 2) rest.template add<kSquares>(c, j);
    }
    for (std::size_t g = 0; g < kGroups; ++g)
        groups[g].store(sum, g * W);
    if constexpr (kRest == 2) rest.store(sum, kHurstLags - 2);
}

template <std::size_t W>
[[gnu::always_inline]] inline void sum_groups(const double* c, std::size_t begin, std::size_t n,
                                              const double* mean,
                                              std::array<double, kHurstLags>& sum) {
    if (mean == nullptr) {
        run_groups<W, false>(c, begin, n, mean, sum);
    } else {
        run_groups<W, true>(c, begin, n, mean, sum);
    }
}

void sum_groups_sse2(const double* c, std::size_t begin, std::size_t n, const double* mean,
                     std::array<double, kHurstLags>& sum) {
    sum_groups<2>(c, begin, n, mean, sum);
}

#ifdef OSTREL_WIDE_VECTORS
__attribute__((target("avx2"))) void sum_groups_avx2(const double* c, std::size_t begin,
                                                     std::size_t n, const double* mean,
                                                     std::array<double, kHurstLags>& sum) {
    sum_groups<4>(c, begin, n, mean, sum);
}
__attribute__((target("avx512f"))) void sum_groups_avx512(const double* c, std::size_t begin,
                                                          std::size_t n, const double* mean,
                                                          std::array<double, kHurstLags>& sum) {
    sum_groups<8>(c, begin, n, mean, sum);
}
#endif

}  // namespace

void sum_lagged(const double* c, std::size_t n, const double* mean,
                std::array<double, kHurstLags>& out, std::size_t width) {
    std::array<double, kHurstLags> sum{};
    auto term = [mean](double d, std::size_t l) {
        if (mean == nullptr) return d;
        const double e = d - mean[l];
        return e * e;
    };
    // The first terms of the short lags come before the longest lag has any.
    const std::size_t head = n < kHurstLags + 1 ? n : kHurstLags + 1;
    for (std::size_t j = 2; j < head; ++j) {
        for (std::size_t l = 0; l + 1 < j; ++l)
            sum[l] += term(c[j] - c[j - l - 2], l);
    }
    switch (usable_width(width)) {
#ifdef OSTREL_WIDE_VECTORS
        case 8:
            sum_groups_avx512(c, head, n, mean, sum);
            break;
        case 4:
            sum_groups_avx2(c, head, n, mean, sum);
            break;
#endif
        default:
            sum_groups_sse2(c, head, n, mean, sum);
            break;
    }
    out = sum;
}

}  // namespace ostrel::kernel
