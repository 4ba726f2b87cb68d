// The program's version, printed by --version (kept equal to project() in CMakeLists.txt).
#pragma once

namespace ostrel {

inline constexpr const char* kVersion = "0.1.0";

}  // namespace ostrel
