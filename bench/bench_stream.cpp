// Stream messages applied per second: received texts handled into a real client's quote cache
// (data mutex included), one message per text and four lines to a frame.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "broker/stream_message.hpp"
#include "broker/tradier_client.hpp"

namespace {

using ostrel::Quote;
using ostrel::QuoteWriter;
using ostrel::TradierClient;

/// Quote, trade, tradex and summary lines for 20 symbols, as the broker spells them.
std::vector<std::string> sample_lines() {
    std::vector<std::string> lines;
    for (int i = 0; i < 20; ++i) {
        const std::string s = "SYM" + std::to_string(i);
        const std::string p = std::to_string(100 + i) + ".25";
        lines.push_back(R"({"type":"quote","symbol":")" + s + R"(","bid":)" + p +
                        R"(,"bidsz":60,"bidexch":"M","biddate":"1557757189000","ask":)" + p +
                        R"(,"asksz":6,"askexch":"Z","askdate":"1557757190000"})");
        lines.push_back(R"({"type":"trade","symbol":")" + s + R"(","exch":"J","price":")" + p +
                        R"(","size":"100","cvol":"27978993","date":"1557757190000","last":")" + p +
                        R"("})");
        lines.push_back(R"({"type":"tradex","symbol":")" + s + R"(","exch":"J","price":")" + p +
                        R"(","size":"100","cvol":"27978993","date":"1557757190000","last":")" + p +
                        R"("})");
        lines.push_back(R"({"type":"summary","symbol":")" + s +
                        R"(","open":"282.42","high":"283.49","low":"281.07","prevClose":"288.1"})");
    }
    return lines;
}

QuoteWriter writer_into(TradierClient& client) {
    return [&client](const std::string& symbol, const std::function<void(Quote&)>& update) {
        client.update_cached_quote(symbol, update);
    };
}

void BM_StreamOneMessagePerText(benchmark::State& state) {
    TradierClient client;
    const QuoteWriter write = writer_into(client);
    std::vector<std::string> texts;
    for (const std::string& line : sample_lines())
        texts.push_back(line + "\n");
    std::size_t i = 0;
    for (auto _ : state) {
        auto failures = ostrel::handle_stream_text(texts[i], write, 1);
        benchmark::DoNotOptimize(failures);
        i = (i + 1) % texts.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StreamOneMessagePerText);

void BM_StreamFourLinesPerFrame(benchmark::State& state) {
    TradierClient client;
    const QuoteWriter write = writer_into(client);
    const std::vector<std::string> lines = sample_lines();
    std::vector<std::string> frames;
    for (std::size_t i = 0; i + 4 <= lines.size(); i += 4)
        frames.push_back(lines[i] + "\n" + lines[i + 1] + "\r\n" + lines[i + 2] + "\n" +
                         lines[i + 3] + "\n");
    std::size_t i = 0;
    for (auto _ : state) {
        auto failures = ostrel::handle_stream_text(frames[i], write, 1);
        benchmark::DoNotOptimize(failures);
        i = (i + 1) % frames.size();
    }
    state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_StreamFourLinesPerFrame);

}  // namespace

BENCHMARK_MAIN();
