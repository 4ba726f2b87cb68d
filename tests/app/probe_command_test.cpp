// `ostrel probe` as a user runs it: against a simulated broker, and without a token.
#include <gtest/gtest.h>

#include <fstream>

#include "child_process.hpp"
#include "sim/simulator.hpp"

namespace ostrel {
namespace {

using testing::ChildProcess;
using testing::ScratchDir;

TEST(ProbeCommand, PrintsTheProbeLineOrTheError) {
    sim::Simulator simulator;
    ASSERT_TRUE(simulator.start(0));
    simulator.set_clock_state(sim::ClockState::open);
    ScratchDir data;
    ScratchDir out;
    // A settings file of our own, so no settings.json near the program can lend a token.
    std::ofstream(data.path() + "settings.json") << "{\"production\": true}";
    const std::vector<std::string> env = {"OSTREL_DATA_DIR=" + data.path(),
                                          "OSTREL_REST_URL=" + simulator.base_url(),
                                          "TRADIER_ACCESS_TOKEN=sim"};

    ChildProcess ok({OSTREL_EXE, "probe", "--sandbox"}, env, out.path());
    ASSERT_EQ(ok.wait(), 0) << ok.err();
    EXPECT_EQ(ok.out().rfind("sandbox | market=open | quotes=2 | SPY 5m bars=", 0), 0u) << ok.out();
    EXPECT_NE(ok.out().find(" | AAPL last="), std::string::npos);

    ChildProcess no_token({OSTREL_EXE, "probe"},
                          {"OSTREL_DATA_DIR=" + data.path(),
                           "OSTREL_REST_URL=" + simulator.base_url(), "TRADIER_ACCESS_TOKEN"},
                          out.path());
    ASSERT_EQ(no_token.wait(), 2);
    EXPECT_EQ(no_token.err(), "Tradier token is empty\n");
    EXPECT_EQ(no_token.out(), "");

    ChildProcess bad({OSTREL_EXE, "probe", "--bogus"}, env, out.path());
    EXPECT_EQ(bad.wait(), 2);
}

}  // namespace
}  // namespace ostrel
