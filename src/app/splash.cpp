// Playing the intro splash.
#include "app/splash.hpp"

namespace ostrel {

void play_intro() {}

}  // namespace ostrel
