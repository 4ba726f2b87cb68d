// Fuzz target: the positions reader.
#include "broker/tradier_parse.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto body = ostrel::fuzz::as_text(data, size);
    auto positions = parse_positions(body);
    if (positions) {
        for (const auto& p : *positions) {
            check(!p.symbol.empty());
            if (p.quantity == 0) check(p.average_price == 0.0);
        }
    }
    return 0;
}
