// Fuzz target: the order list reader.
#include "broker/tradier_parse.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto body = ostrel::fuzz::as_text(data, size);
    auto orders = parse_orders(body);
    if (orders) {
        for (const auto& o : *orders)
            check(!o.id.empty() || !o.raw_status.empty() || o.type != OrderType::other ||
                  o.status != OrderStatus::none);
    }
    return 0;
}
