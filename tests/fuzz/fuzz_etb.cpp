// Fuzz target: the easy-to-borrow list reader.
#include "broker/tradier_parse.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto body = ostrel::fuzz::as_text(data, size);
    auto names = parse_etb(body);
    if (names) {
        check(!names->empty());
        for (const auto& name : *names)
            check(!name.empty());
    } else {
        check(names.error() == "Empty ETB universe");
    }
    return 0;
}
