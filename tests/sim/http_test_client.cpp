// Beast's synchronous client, kept to this one file of the tests.
#include "http_test_client.hpp"

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cctype>

namespace ostrel::sim::testing {

namespace beast = boost::beast;
namespace http = beast::http;
namespace asio = boost::asio;

Reply call(std::uint16_t port, const std::string& method, const std::string& target,
           const std::string& body, const Headers& headers) {
    Reply reply;
    try {
        asio::io_context ioc;
        beast::tcp_stream stream(ioc);
        stream.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
        stream.expires_after(std::chrono::seconds(20));
        http::request<http::string_body> req{http::string_to_verb(method), target, 11};
        req.set(http::field::host, "127.0.0.1");
        for (const auto& [name, value] : headers)
            req.set(name, value);
        req.body() = body;
        req.prepare_payload();
        http::write(stream, req);
        beast::flat_buffer buffer;
        http::response_parser<http::string_body> parser;
        parser.body_limit(64 * 1024 * 1024);
        beast::error_code ec;
        http::read(stream, buffer, parser, ec);
        const auto& res = parser.get();
        reply.status = static_cast<int>(res.result_int());
        reply.body = res.body();
        for (const auto& field : res) {
            std::string name(field.name_string());
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            reply.headers[name] = std::string(field.value());
        }
        if (ec) reply.error = ec.message();
        stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    } catch (const std::exception& e) {
        reply.error = e.what();
    }
    return reply;
}

Reply broker(std::uint16_t port, const std::string& method, const std::string& target,
             const std::string& body) {
    Headers headers = {{"Authorization", "Bearer test-token"}, {"Accept", "application/json"}};
    if (method == "POST" || method == "PUT") {
        headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
    }
    return call(port, method, target, body, headers);
}

}  // namespace ostrel::sim::testing
