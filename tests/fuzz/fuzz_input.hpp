// Shared helpers of the parser fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace ostrel::fuzz {

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// Stops the run like a sanitizer report would when a parser breaks one of its promises.
inline void check(bool promise) {
    if (!promise) std::abort();
}

}  // namespace ostrel::fuzz
