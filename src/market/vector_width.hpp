// How many doubles the processor adds or divides in one instruction, for the few loops that
// are compiled for the wider instruction sets as well and pick a body at run time.
#pragma once

#include <cstddef>

// Only 64-bit x86 outside Windows gets the wider bodies: the Windows 64-bit stack is only
// 16-byte aligned, which GCC's spills of 32- and 64-byte vectors do not allow for.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) && !defined(_WIN32)
#define OSTREL_WIDE_VECTORS 1
#endif

namespace ostrel::kernel {

/// 8 with AVX-512, 4 with AVX2, else 2 (SSE2); worked out once.
std::size_t widest_vector();

/// `width` when the processor has it and it is one of 2, 4 and 8, else the widest it has.
std::size_t usable_width(std::size_t width);

}  // namespace ostrel::kernel
