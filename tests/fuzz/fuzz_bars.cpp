// Fuzz target: the time-and-sales and history reader.
#include "broker/tradier_parse.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto body = ostrel::fuzz::as_text(data, size);
    auto bars = parse_bars(body);
    if (bars) {
        for (const Bar& bar : *bars)
            // A bar's time is the time-and-sales stamp or the history date, never before 1970.
            check(bar.close > 0.0 && bar.time >= 0);
    }
    return 0;
}
