// ostrel-sim: runs the market simulator on loopback until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/simulator.hpp"

#ifdef _WIN32
#include <atomic>
#include <chrono>
#include <thread>
#endif

namespace {

#ifdef _WIN32
// No sigwait on Windows: the handler only raises a flag the main thread polls.
std::atomic<bool> g_stop{false};

extern "C" void on_stop(int) {
    g_stop = true;
}
#endif

void usage() {
    std::fprintf(
        stderr,
        "usage: ostrel-sim [--port N] [--seed S] [--symbols K] [--account cash|margin|pdt]\n"
        "                  [--cash DOLLARS] [--token T] [--position-lag POLLS]\n");
}

bool parse_long(const char* text, long long min, long long max, long long& out) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    ostrel::sim::SimConfig config;
    long long port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        }
        if (i + 1 >= argc) {
            usage();
            return 2;
        }
        const char* value = argv[++i];
        long long n = 0;
        bool good = true;
        if (arg == "--port") {
            good = parse_long(value, 0, 65535, port);
        } else if (arg == "--seed") {
            good = parse_long(value, 0, INT64_MAX, n);
            config.seed = static_cast<std::uint64_t>(n);
        } else if (arg == "--symbols") {
            good = parse_long(value, 1, 200000, n);
            config.symbol_count = static_cast<int>(n);
        } else if (arg == "--position-lag") {
            good = parse_long(value, 0, 1000, n);
            config.position_lag_polls = static_cast<int>(n);
        } else if (arg == "--cash") {
            good = parse_long(value, 0, 1000000000000LL, n);
            config.starting_cash = static_cast<double>(n);
        } else if (arg == "--token") {
            config.token = value;
        } else if (arg == "--account") {
            const auto type = ostrel::sim::parse_account_type(value);
            good = type.has_value();
            if (type) config.account_type = *type;
        } else {
            good = false;
        }
        if (!good) {
            std::fprintf(stderr, "ostrel-sim: bad argument %s %s\n", arg.c_str(), value);
            usage();
            return 2;
        }
    }

#ifndef _WIN32
    // Block the stop signals before the server thread starts so that only sigwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
#endif

    ostrel::sim::Simulator simulator(config);
    const auto bound = simulator.start(static_cast<std::uint16_t>(port));
    if (!bound) {
        std::fprintf(stderr, "ostrel-sim: %s\n", bound.error().c_str());
        return 1;
    }
    std::printf("%u\n", static_cast<unsigned>(*bound));
    std::fflush(stdout);
    std::fprintf(stderr, "ostrel-sim listening on %s (%d symbols, seed %llu)\n",
                 simulator.base_url().c_str(), config.symbol_count,
                 static_cast<unsigned long long>(config.seed));

#ifdef _WIN32
    std::signal(SIGINT, on_stop);
    std::signal(SIGTERM, on_stop);
    while (!g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
#else
    int received = 0;
    sigwait(&signals, &received);
#endif
    simulator.stop();
    return 0;
}
