// The intro splash: the clip carried in the program, played before the main window opens.
#pragma once

namespace ostrel {

/// Plays the intro in its own borderless window and returns when it ended or was dismissed;
/// returns at once when there is no clip or no display. Main thread, before the main window.
void play_intro();

}  // namespace ostrel
