// Fuzz target: the order placement answer reader.
#include "broker/tradier_parse.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto body = ostrel::fuzz::as_text(data, size);
    (void)parse_place_response(body);
    (void)parse_errors_member(body);
    return 0;
}
