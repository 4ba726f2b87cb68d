// Text from outside (broker answers, files) made safe to print: no byte of it can move the
// cursor, clear the screen or start a new line that looks like one of ours.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

/// `text` with every control character written as an escape: \n, \r, \t, \\x1b and the like
/// for C0 controls and DEL, \\u0085 and the like for the C1 controls of UTF-8. Everything
/// else, other UTF-8 text included, is unchanged.
std::string printable_text(std::string_view text);

}  // namespace ostrel
