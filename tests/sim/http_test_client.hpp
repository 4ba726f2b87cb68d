// A small synchronous HTTP client for talking to the simulator in tests.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ostrel::sim::testing {

struct Reply {
    int status = 0;
    std::string body;
    std::map<std::string, std::string> headers;  ///< names lower case
    std::string error;                           ///< transport or framing failure
};

using Headers = std::vector<std::pair<std::string, std::string>>;

/// One request on a fresh connection.
Reply call(std::uint16_t port, const std::string& method, const std::string& target,
           const std::string& body = "", const Headers& headers = {});

/// A broker-style request: bearer token, JSON accepted, form content type when there is a body.
Reply broker(std::uint16_t port, const std::string& method, const std::string& target,
             const std::string& body = "");

}  // namespace ostrel::sim::testing
