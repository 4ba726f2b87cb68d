// Fuzz target: the quotes answer reader.
#include "broker/tradier_parse.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto body = ostrel::fuzz::as_text(data, size);
    std::size_t sunk = 0;
    auto quotes = parse_quotes(body, 1, [&](const Quote&) { ++sunk; });
    if (quotes) check(quotes->size() == sunk);
    if (!quotes) check(!quotes.error().empty());
    return 0;
}
