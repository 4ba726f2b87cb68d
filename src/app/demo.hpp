// The built-in demo: the market simulator on loopback, a throw-away data folder and a demo token.
#pragma once

#include <expected>
#include <memory>
#include <optional>
#include <string>

namespace ostrel {

class Engine;
namespace sim {
class Simulator;
}

/// A running simulated brokerage for --demo. Stops the simulator when destroyed.
class DemoMarket {
  public:
    DemoMarket();
    ~DemoMarket();
    DemoMarket(const DemoMarket&) = delete;
    DemoMarket& operator=(const DemoMarket&) = delete;

    /// Starts the simulator on a free loopback port and makes the demo data folder (never the
    /// user's own) the data folder of this process, seeding its Monitor list. A folder named
    /// on the command line (`data_dir`) is used as it is instead.
    std::expected<void, std::string> start(const std::optional<std::string>& data_dir = {});
    /// Points the engine's client at the simulator with the demo token.
    void attach(Engine& engine) const;
    const std::string& data_dir() const { return data_dir_; }
    std::string base_url() const;

  private:
    std::unique_ptr<sim::Simulator> sim_;
    std::string data_dir_;
};

/// The demo data folder: "ostrel-demo-<uid>/" under the system's temporary folder.
std::string demo_data_directory();

}  // namespace ostrel
