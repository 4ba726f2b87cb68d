// Control characters are escaped before a log line is stored; ordinary text is unchanged.
#include "log/printable_text.hpp"

#include <gtest/gtest.h>

#include "log/activity_log.hpp"

namespace ostrel {
namespace {

TEST(PrintableText, EscapesControlsAndKeepsText) {
    EXPECT_EQ(printable_text("PAPER BUY 10 AAPL @ 187.5  | trail stop"),
              "PAPER BUY 10 AAPL @ 187.5  | trail stop");
    EXPECT_EQ(printable_text("Resting \xE2\x80\x94 caf\xC3\xA9 \xF0\x9F\x93\x88"),
              "Resting \xE2\x80\x94 caf\xC3\xA9 \xF0\x9F\x93\x88");
    EXPECT_EQ(printable_text("a\r\nb\tc\x1b[31m\x7f"), "a\\r\\nb\\tc\\x1b[31m\\x7f");
    EXPECT_EQ(printable_text(std::string_view("nul\0end", 7)), "nul\\x00end");
    // C1 controls: as UTF-8 (U+009B) and as a bare byte; a cut-off sequence too.
    EXPECT_EQ(printable_text("x\xC2\x9B"
                             "2J"),
              "x\\u009b2J");
    EXPECT_EQ(printable_text("x\x9b"
                             "2J"),
              "x\\x9b2J");
    EXPECT_EQ(printable_text("end\xE2\x80"), "end\\xe2\\x80");
}

TEST(PrintableText, TheLogStoresEveryLineEscaped) {
    log_error("TRADIER", "Tradier HTTP 500: a\nb\x1b]0;title\x07");
    const auto entries = ActivityLog::instance().snapshot();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().text, "Tradier HTTP 500: a\\nb\\x1b]0;title\\x07");
}

}  // namespace
}  // namespace ostrel
