// Fuzz target: the Scout's scout_universe.json cache and the universe rules over what it holds.
#include "fuzz_input.hpp"
#include "scout/universe.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    constexpr std::int64_t now = 1'700'000'000'000;
    const auto names = parse_universe_cache(ostrel::fuzz::as_text(data, size), now);
    for (const std::string& name : normalise_universe(names)) {
        ostrel::fuzz::check(!name.empty() && name.size() <= 5 && !is_toxic(name));
    }
    return 0;
}
