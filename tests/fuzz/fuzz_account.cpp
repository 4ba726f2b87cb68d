// Fuzz target: the account discovery reader (profile and accounts answers).
#include "broker/tradier_parse.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto body = ostrel::fuzz::as_text(data, size);
    (void)parse_account_number(body, "profile");
    (void)parse_account_number(body, "accounts");
    return 0;
}
