// Fuzz target: the single order reader.
#include "broker/tradier_parse.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto body = ostrel::fuzz::as_text(data, size);
    auto order = parse_order_status(body, "42");
    if (order) check(!order->id.empty());
    if (!order) check(order.error() == "Could not parse order 42");
    return 0;
}
