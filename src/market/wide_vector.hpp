// Vectors of 2, 4 or 8 doubles for the loops compiled at several widths (see vector_width.hpp),
// with the few lane-wise helpers they share. Every lane gets exactly the operation a plain
// double would. The helpers take and give vectors by reference: passing a 32- or 64-byte
// vector by value is not the same call in every instruction set.
#pragma once

#include <cstddef>
#include <cstring>

namespace ostrel::kernel {

template <std::size_t W>
struct WideOf;
template <>
struct WideOf<2> {
    typedef double type __attribute__((vector_size(16)));
    typedef long long mask __attribute__((vector_size(16)));
};
template <>
struct WideOf<4> {
    typedef double type __attribute__((vector_size(32)));
    typedef long long mask __attribute__((vector_size(32)));
};
template <>
struct WideOf<8> {
    typedef double type __attribute__((vector_size(64)));
    typedef long long mask __attribute__((vector_size(64)));
};

/// W doubles side by side, and the lane mask of comparing two of them.
template <std::size_t W>
using Wide = typename WideOf<W>::type;
template <std::size_t W>
using WideMask = typename WideOf<W>::mask;

/// W doubles from `p` on (no alignment needed).
template <std::size_t W>
[[gnu::always_inline]] inline void load_wide(Wide<W>& out, const double* p) {
    std::memcpy(&out, p, sizeof out);
}

template <std::size_t W>
[[gnu::always_inline]] inline void store_wide(double* p, const Wide<W>& v) {
    std::memcpy(p, &v, sizeof v);
}

/// Each lane of `out` set to `v`.
template <std::size_t W>
[[gnu::always_inline]] inline void broadcast(Wide<W>& out, double v) {
    for (std::size_t t = 0; t < W; ++t)
        out[t] = v;
}

/// out = v where `mask` is set, else out unchanged.
template <std::size_t W>
[[gnu::always_inline]] inline void replace_where(Wide<W>& out, const WideMask<W>& mask,
                                                 const Wide<W>& v) {
    WideMask<W> a;
    WideMask<W> b;
    std::memcpy(&a, &out, sizeof a);
    std::memcpy(&b, &v, sizeof b);
    a = (b & mask) | (a & ~mask);
    std::memcpy(&out, &a, sizeof a);
}

/// The magnitude of each lane (the sign bit cleared, as std::fabs does).
template <std::size_t W>
[[gnu::always_inline]] inline void abs_in_place(Wide<W>& v) {
    WideMask<W> bits;
    std::memcpy(&bits, &v, sizeof bits);
    WideMask<W> magnitude;
    for (std::size_t t = 0; t < W; ++t)
        magnitude[t] = 0x7fffffffffffffffLL;
    bits &= magnitude;
    std::memcpy(&v, &bits, sizeof bits);
}

}  // namespace ostrel::kernel
