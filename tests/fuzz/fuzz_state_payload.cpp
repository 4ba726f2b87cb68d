// Fuzz target: the state database's payload column, read back into a state and written again.
#include "fuzz_input.hpp"
#include "store/symbol_state_store.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    SymbolState state;
    state.symbol = "AAPL";
    if (!read_state_payload(std::string(ostrel::fuzz::as_text(data, size)), state)) return 0;
    // Whatever was read must survive a save and a second read unchanged.
    SymbolState again;
    again.symbol = "AAPL";
    ostrel::fuzz::check(read_state_payload(state_payload(state), again));
    ostrel::fuzz::check(state_payload(again) == state_payload(state));
    return 0;
}
