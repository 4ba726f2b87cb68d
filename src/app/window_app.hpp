// The windowed program: GLFW window and GL 3.3 context, Dear ImGui, the engine, the frame loop.
#pragma once

#include <optional>
#include <string>

namespace ostrel {

/// Opens the 1600 x 900 "Ostrel" window and runs until it is closed (or SIGTERM/SIGINT).
/// Returns 1 when GLFW or the window cannot be created, 0 after a normal shutdown. With `demo`
/// the built-in market simulator starts first and the engine connects to it at once. With
/// `intro` the intro splash plays before the window opens.
int run_window(bool demo = false, const std::optional<std::string>& data_dir = {},
               bool intro = false);

}  // namespace ostrel
