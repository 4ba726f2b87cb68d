// Fuzz target: the paper journal (paper_blotter.jsonl) replayed into a paper book.
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "broker/sim_broker.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    const std::string_view text = ostrel::fuzz::as_text(data, size);
    JournalProblems problems;
    for (const PaperFill& f : parse_paper_blotter(text, problems)) {
        ostrel::fuzz::check(f.qty >= 1 && f.price > 0.0 && !f.id.empty());
    }

    // The rebuild reads the real file, so give it one.
    static const std::filesystem::path dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "fuzz-blotter-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()) ? pattern : "/tmp");
    }();
    std::ofstream(dir / "paper_blotter.jsonl", std::ios::binary | std::ios::trunc) << text;
    SimBroker book(dir);
    (void)book.restore_from_blotter();
    const auto snap = book.account_snapshot();
    ostrel::fuzz::check(snap.has_value() && std::isfinite(snap->cash) && snap->cash >= -1e-3);
    for (const BrokerOrder& o : book.open_orders())
        ostrel::fuzz::check(o.quantity >= 1);
    for (const PaperFill& f : book.fills())
        ostrel::fuzz::check(f.qty >= 1);
    return 0;
}
