// Fuzz target: the live fill journal (day_trades.jsonl) and the day-trade count over it.
#include "broker/fill_journal.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    JournalProblems problems;
    const auto events = parse_fill_events(ostrel::fuzz::as_text(data, size), problems);
    for (const FillEvent& e : events) {
        ostrel::fuzz::check(!e.symbol.empty() && !e.side.empty() && e.ts_ms > 0);
    }
    ostrel::fuzz::check(problems.bad_lines >= 0 &&
                        (problems.bad_lines == 0) == (problems.first_bad_line == 0));
    return 0;
}
