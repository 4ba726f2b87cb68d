// A scratch data folder for engine tests: the engine reads and writes its files there.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "config/data_locations.hpp"

namespace ostrel::testing {

class EngineFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ostrel-engine-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern + "/";
        set_data_directory_override(dir_);
        ::unsetenv("TRADIER_ACCESS_TOKEN");
    }
    void TearDown() override {
        set_data_directory_override(std::nullopt);
        std::filesystem::remove_all(dir_);
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ + name, std::ios::binary) << text;
    }
    std::string read(const std::string& name) {
        std::ifstream in(dir_ + name, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    std::string dir_;
};

}  // namespace ostrel::testing
