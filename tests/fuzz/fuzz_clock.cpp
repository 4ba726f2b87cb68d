// Fuzz target: the market clock reader.
#include "broker/tradier_parse.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto body = ostrel::fuzz::as_text(data, size);
    auto clock = parse_clock(body);
    if (clock) check(!clock->state.empty() && clock->state != "unknown");
    if (!clock) check(clock.error() == "Tradier clock missing state");
    return 0;
}
