// `ostrel probe`: configure the broker client from the settings and the environment (the token,
// production or sandbox, OSTREL_REST_URL), run the connection probe and print what it says.
#include "app/probe_command.hpp"

#include <cstdio>
#include <optional>

#include "broker/tradier_client.hpp"
#include "config/settings_file.hpp"

namespace ostrel {

namespace {

constexpr const char* kUsage =
    "usage: ostrel probe [--sandbox | --production] [--rest-url URL]\n"
    "Connects with the token of settings.json (or TRADIER_ACCESS_TOKEN) and prints one line:\n"
    "the account kind, the market state, quotes and bars received.\n";

}  // namespace

int run_probe_command(const std::vector<std::string>& args) {
    std::optional<bool> production;
    std::string rest_url;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::string problem;
        if (arg == "--sandbox") {
            production = false;
        } else if (arg == "--production") {
            production = true;
        } else if (arg == "--rest-url") {
            if (i + 1 < args.size()) {
                rest_url = args[++i];
            } else {
                problem = "--rest-url needs a value";
            }
        } else {
            problem =
                (arg.rfind('-', 0) == 0 ? "unknown option '" : "unexpected argument '") + arg + "'";
        }
        if (!problem.empty()) {
            std::fprintf(stderr, "ostrel probe: %s\nTry 'ostrel probe --help'.\n", problem.c_str());
            return 2;
        }
    }

    // Read only now: asking for help must not create a data folder.
    Settings settings = load_settings();

    TradierClient client;  // takes OSTREL_REST_URL from the environment
    if (!rest_url.empty()) client.set_rest_url_override(rest_url);
    client.configure(settings.tradier_token, production.value_or(settings.production));
    auto text = client.probe();
    if (!text) {
        std::fprintf(stderr, "%s\n", text.error().c_str());
        return 2;
    }
    std::printf("%s\n", text->c_str());
    return 0;
}

}  // namespace ostrel
