// Fuzz target: the balances reader.
#include "broker/tradier_parse.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto body = ostrel::fuzz::as_text(data, size);
    auto snap = parse_balances(body);
    if (snap) check(snap->buying_power > 0.0 || snap->buying_power == snap->cash);
    return 0;
}
