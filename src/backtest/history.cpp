// Loading the bars of a backtest: CSV folders in the analyze format, and the demo market.
#include "backtest/history.hpp"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "market/bar_csv.hpp"
#include "sim/calendar.hpp"

namespace ostrel::backtest {

namespace {

constexpr int kCloseSeconds = 16 * 3600;
constexpr std::int64_t kBarMs = 15 * 60 * 1000;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '"'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '"'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> split(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        out.push_back(trim(line.substr(start, comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return out;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::optional<std::string> read_text(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::int64_t ms_of(sim::DayNumber day, int seconds) {
    return sim::from_eastern(day, seconds) * 1000;
}

}  // namespace

std::optional<std::int64_t> daily_close_ms(const std::string& date) {
    const auto day = sim::parse_date(date.substr(0, 10));
    if (!day) return std::nullopt;
    const std::int64_t ms = ms_of(*day, kCloseSeconds);
    if (ms <= 0) return std::nullopt;  // before 1970: a time the rest of the program reads as none
    return ms;
}

std::optional<std::int64_t> intraday_close_ms(const std::string& start) {
    if (start.size() < 16 || (start[10] != 'T' && start[10] != ' ')) return std::nullopt;
    const auto day = sim::parse_date(start.substr(0, 10));
    const auto secs =
        sim::parse_time_of_day(start.substr(11, start.size() >= 19 && start[16] == ':' ? 8 : 5));
    if (!day || !secs) return std::nullopt;
    const std::int64_t ms = ms_of(*day, *secs) + kBarMs;
    if (ms <= 0) return std::nullopt;
    return ms;
}

std::string date_text(std::int64_t ms) {
    return sim::format_date(sim::to_eastern(ms / 1000).date);
}

std::string time_text(std::int64_t ms) {
    const sim::EasternTime e = sim::to_eastern(ms / 1000);
    std::string text = sim::eastern_local_text(e.date, e.seconds).substr(0, 16);
    text[10] = ' ';
    return text;
}

std::expected<BarSeries, std::string> parse_timed_bars(const std::string& text,
                                                       const std::string& time_column,
                                                       bool intraday) {
    std::string_view all(text);
    if (all.starts_with("\xEF\xBB\xBF")) all.remove_prefix(3);
    // Each row goes through the bar reader on its own, under the header, so a bar and its time
    // always come from the same row, whichever rows the reader drops.
    std::string header;
    std::size_t time_at = 0;
    BarSeries bars;
    std::size_t line_no = 0, pos = 0;
    while (pos < all.size()) {
        const std::size_t nl = all.find('\n', pos);
        const std::string_view line = all.substr(pos, nl == std::string_view::npos ? nl : nl - pos);
        pos = nl == std::string_view::npos ? all.size() : nl + 1;
        ++line_no;
        if (trim(line).empty()) continue;
        const auto fields = split(line);
        if (header.empty()) {
            time_at = fields.size();
            for (std::size_t i = 0; i < fields.size() && time_at == fields.size(); ++i) {
                if (lower(fields[i]) == time_column) time_at = i;
            }
            if (time_at == fields.size()) {
                return std::unexpected("the header has no '" + time_column + "' column");
            }
            header = std::string(line) + "\n";
            if (auto check = parse_bar_csv(header); !check) return std::unexpected(check.error());
            continue;
        }
        const std::string where = "line " + std::to_string(line_no) + ": ";
        auto row = parse_bar_csv(header + std::string(line));
        if (!row) {
            // The reader counts the header as line 1 and this row as line 2.
            const std::string_view message(row.error());
            const std::string_view own = "line 2: ";
            return std::unexpected(where + std::string(message.starts_with(own)
                                                           ? message.substr(own.size())
                                                           : message));
        }
        if (row->empty()) continue;  // a close not above 0: dropped, as the reader does
        if (time_at >= fields.size()) return std::unexpected(where + "no " + time_column);
        const std::string stamp(fields[time_at]);
        const auto ms = intraday ? intraday_close_ms(stamp) : daily_close_ms(stamp);
        if (!ms) {
            return std::unexpected(where + "'" + stamp + "' is not a " +
                                   (intraday ? "date and time" : "date"));
        }
        if (!bars.empty() && *ms <= bars.back().time) {
            return std::unexpected(where + "bars must be oldest first, one per time");
        }
        Bar bar = row->front();
        bar.time = *ms;
        bars.push_back(bar);
    }
    if (header.empty()) return std::unexpected(std::string("no header line"));
    return bars;
}

std::int64_t replay_start(const History& h, int days) {
    std::set<std::int64_t> closes;
    for (const SymbolHistory& s : h.symbols) {
        for (const Bar& b : s.daily)
            closes.insert(b.time);
    }
    if (closes.empty()) return 0;
    const std::vector<std::int64_t> all(closes.begin(), closes.end());
    const std::size_t n = all.size();
    std::size_t first = 0;
    if (days > 0) {
        first = n > static_cast<std::size_t>(days) ? n - static_cast<std::size_t>(days) : 0;
    } else {
        first = std::min<std::size_t>(n - 1, 60);  // the rules need some bars before trading
    }
    // The replay starts with the first bar of that day: its open.
    return all[first] - (kCloseSeconds - 9 * 3600 - 30 * 60) * std::int64_t{1000} + 1;
}

std::expected<History, std::string> load_csv_history(const std::filesystem::path& dir,
                                                     std::vector<std::string> symbols, int days) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        return std::unexpected("no such folder: " + dir.string());
    }
    const std::string suffix = ".daily.csv";
    bool listed = !symbols.empty();
    if (!listed) {
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > suffix.size() && name.ends_with(suffix)) {
                symbols.push_back(name.substr(0, name.size() - suffix.size()));
            }
        }
    }
    std::sort(symbols.begin(), symbols.end());
    symbols.erase(std::unique(symbols.begin(), symbols.end()), symbols.end());
    const auto load = [&](const std::string& sym) -> std::expected<SymbolHistory, std::string> {
        SymbolHistory h;
        h.symbol = sym;
        const auto daily_file = dir / (sym + suffix);
        const auto daily = read_text(daily_file);
        if (!daily) return std::unexpected("cannot read " + daily_file.string());
        auto bars = parse_timed_bars(*daily, "date", false);
        if (!bars) return std::unexpected(daily_file.string() + ": " + bars.error());
        h.daily = std::move(*bars);
        const auto intraday_file = dir / (sym + ".15min.csv");
        if (const auto intraday = read_text(intraday_file)) {
            auto ib = parse_timed_bars(*intraday, "time", true);
            if (!ib) return std::unexpected(intraday_file.string() + ": " + ib.error());
            h.intraday = std::move(*ib);
        }
        return h;
    };
    History out;
    for (const std::string& sym : symbols) {
        if (!listed && sym == "SPY") continue;  // the benchmark, not a traded symbol
        auto h = load(sym);
        if (!h) return std::unexpected(h.error());
        out.symbols.push_back(std::move(*h));
    }
    if (out.symbols.empty()) return std::unexpected("no SYMBOL.daily.csv in " + dir.string());
    if (std::filesystem::exists(dir / ("SPY" + suffix), ec)) {
        auto spy = load("SPY");
        if (!spy) return std::unexpected(spy.error());
        out.benchmark = std::move(*spy);
    }
    out.first_ms = replay_start(out, days);
    return out;
}

}  // namespace ostrel::backtest
