// The block quotients of the sweep, in vectors of 2, 4 or 8 bars.
//
// Division is the slow part of the directional movement, and on the processors at hand a
// division of 8 doubles costs what a division of 2 does; the bars of a block do not depend on
// one another here, so they are divided as many at a time as the processor allows. Each lane
// gets exactly the operations of the one-bar recursion (market/kernels.hpp, Dmi and Macd).
#include "market/sweep_quotients.hpp"

#include "market/vector_width.hpp"
#include "market/wide_vector.hpp"

namespace ostrel::kernel {

namespace {

template <std::size_t W>
[[gnu::always_inline]] inline void lines_body(const double* fast_totals, const double* fast_weights,
                                              const double* slow_totals, const double* slow_weights,
                                              std::size_t m, double* lines) {
    for (std::size_t j = 0; j < m; j += W) {
        Wide<W> ft;
        Wide<W> fw;
        Wide<W> st;
        Wide<W> sw;
        load_wide<W>(ft, fast_totals + j);
        load_wide<W>(fw, fast_weights + j);
        load_wide<W>(st, slow_totals + j);
        load_wide<W>(sw, slow_weights + j);
        const Wide<W> line = ft / fw - st / sw;
        store_wide<W>(lines + j, line);
    }
}

template <std::size_t W>
[[gnu::always_inline]] inline DiLines dx_body(const double* range_totals, const double* plus_totals,
                                              const double* minus_totals, const double* weights,
                                              std::size_t m, double* dxs) {
    Wide<W> zero;
    Wide<W> one;
    Wide<W> hundred;
    Wide<W> tiny;
    broadcast<W>(zero, 0.0);
    broadcast<W>(one, 1.0);
    broadcast<W>(hundred, 100.0);
    broadcast<W>(tiny, 1e-9);
    double plus_last[W];
    double minus_last[W];
    std::size_t last = 0;
    for (std::size_t j = 0; j < m; j += W) {
        Wide<W> weight;
        Wide<W> range;
        Wide<W> plus;
        Wide<W> minus;
        load_wide<W>(weight, weights + j);
        load_wide<W>(range, range_totals + j);
        load_wide<W>(plus, plus_totals + j);
        load_wide<W>(minus, minus_totals + j);
        Wide<W> a = range / weight;
        replace_where<W>(a, a == zero, tiny);
        const Wide<W> plus_di = (hundred * (plus / weight)) / a;
        const Wide<W> minus_di = (hundred * (minus / weight)) / a;
        const Wide<W> sum = plus_di + minus_di;
        const WideMask<W> flat = sum == zero;
        Wide<W> spread = plus_di - minus_di;
        abs_in_place<W>(spread);
        spread = hundred * spread;
        Wide<W> divisor = sum;
        replace_where<W>(divisor, flat, one);
        Wide<W> dx = spread / divisor;
        replace_where<W>(dx, flat, zero);
        store_wide<W>(dxs + j, dx);
        store_wide<W>(plus_last, plus_di);
        store_wide<W>(minus_last, minus_di);
        last = m - 1 - j;
    }
    return {plus_last[last], minus_last[last]};
}

void lines_sse2(const double* ft, const double* fw, const double* st, const double* sw,
                std::size_t m, double* lines) {
    lines_body<2>(ft, fw, st, sw, m, lines);
}

DiLines dx_sse2(const double* range, const double* plus, const double* minus, const double* w,
                std::size_t m, double* dxs) {
    return dx_body<2>(range, plus, minus, w, m, dxs);
}

#ifdef OSTREL_WIDE_VECTORS
__attribute__((target("avx2"))) void lines_avx2(const double* ft, const double* fw,
                                                const double* st, const double* sw, std::size_t m,
                                                double* lines) {
    lines_body<4>(ft, fw, st, sw, m, lines);
}
__attribute__((target("avx512f"))) void lines_avx512(const double* ft, const double* fw,
                                                     const double* st, const double* sw,
                                                     std::size_t m, double* lines) {
    lines_body<8>(ft, fw, st, sw, m, lines);
}
__attribute__((target("avx2"))) DiLines dx_avx2(const double* range, const double* plus,
                                                const double* minus, const double* w, std::size_t m,
                                                double* dxs) {
    return dx_body<4>(range, plus, minus, w, m, dxs);
}
__attribute__((target("avx512f"))) DiLines dx_avx512(const double* range, const double* plus,
                                                     const double* minus, const double* w,
                                                     std::size_t m, double* dxs) {
    return dx_body<8>(range, plus, minus, w, m, dxs);
}
#endif

}  // namespace

void macd_lines(const double* fast_totals, const double* fast_weights, const double* slow_totals,
                const double* slow_weights, std::size_t m, double* lines, std::size_t width) {
    switch (usable_width(width)) {
#ifdef OSTREL_WIDE_VECTORS
        case 8:
            return lines_avx512(fast_totals, fast_weights, slow_totals, slow_weights, m, lines);
        case 4:
            return lines_avx2(fast_totals, fast_weights, slow_totals, slow_weights, m, lines);
#endif
        default:
            return lines_sse2(fast_totals, fast_weights, slow_totals, slow_weights, m, lines);
    }
}

DiLines dmi_dx(const double* range_totals, const double* plus_totals, const double* minus_totals,
               const double* weights, std::size_t m, double* dxs, std::size_t width) {
    switch (usable_width(width)) {
#ifdef OSTREL_WIDE_VECTORS
        case 8:
            return dx_avx512(range_totals, plus_totals, minus_totals, weights, m, dxs);
        case 4:
            return dx_avx2(range_totals, plus_totals, minus_totals, weights, m, dxs);
#endif
        default:
            return dx_sse2(range_totals, plus_totals, minus_totals, weights, m, dxs);
    }
}

}  // namespace ostrel::kernel
