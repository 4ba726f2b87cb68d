// The widest vector of doubles the processor offers.
#include "market/vector_width.hpp"

namespace ostrel::kernel {

namespace {

std::size_t detect() {
#ifdef OSTREL_WIDE_VECTORS
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return 8;
    if (__builtin_cpu_supports("avx2")) return 4;
#endif
    return 2;
}

}  // namespace

std::size_t widest_vector() {
    static const std::size_t width = detect();
    return width;
}

std::size_t usable_width(std::size_t width) {
    const std::size_t widest = widest_vector();
    if ((width == 2 || width == 4 || width == 8) && width <= widest) return width;
    return widest;
}

}  // namespace ostrel::kernel
