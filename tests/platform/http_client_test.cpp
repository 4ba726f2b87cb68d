// The libcurl HttpClient against a raw loopback server that records exactly what arrives.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/http_client.hpp"

namespace ostrel {
namespace {

/// Answers each connection with the next canned reply (raw bytes) and keeps the raw requests.
class RawServer {
  public:
    explicit RawServer(std::vector<std::string> replies) : replies_(std::move(replies)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd_, 8) != 0)
            throw std::runtime_error("bind");
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~RawServer() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    std::string url(const std::string& path = "") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    void serve() {
        for (const std::string& reply : replies_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            std::string in = read_request(c);
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(std::move(in));
            }
            std::size_t sent = 0;
            while (sent < reply.size()) {
                const ssize_t n = ::send(c, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<std::size_t>(n);
            }
            ::shutdown(c, SHUT_WR);
            char sink[256];
            while (::recv(c, sink, sizeof sink, 0) > 0) {
            }
            ::close(c);
        }
    }
    static std::string read_request(int c) {
        std::string in;
        char buf[4096];
        std::size_t need = std::string::npos;
        while (need == std::string::npos || in.size() < need) {
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            in.append(buf, static_cast<std::size_t>(n));
            const auto head_end = in.find("\r\n\r\n");
            if (need == std::string::npos && head_end != std::string::npos) {
                std::size_t length = 0;
                const auto cl = in.find("Content-Length: ");
                if (cl != std::string::npos && cl < head_end)
                    length = std::stoul(in.substr(cl + 16));
                need = head_end + 4 + length;
            }
        }
        return in;
    }

    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::vector<std::string> replies_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

std::string reply(int status, const std::string& extra_headers, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
           extra_headers + "\r\n" + body;
}

TEST(RateLimitValue, ReadLikeStrtol) {
    EXPECT_EQ(parse_ratelimit_value("120"), 120);
    EXPECT_EQ(parse_ratelimit_value("42abc"), 42);
    EXPECT_EQ(parse_ratelimit_value("  +7"), 7);
    EXPECT_EQ(parse_ratelimit_value("0"), 0);
    EXPECT_EQ(parse_ratelimit_value("-5"), -5);
    EXPECT_EQ(parse_ratelimit_value("abc"), -1);
    EXPECT_EQ(parse_ratelimit_value(""), -1);
    EXPECT_EQ(parse_ratelimit_value("-"), -1);
    EXPECT_EQ(parse_ratelimit_value("2147483647"), 2147483647);
    EXPECT_EQ(parse_ratelimit_value("2147483648"), -1);
    EXPECT_EQ(parse_ratelimit_value("99999999999999999999999"), -1);
}

TEST(CurlHttpClient, RequestLineHeadersAndBodies) {
    RawServer server(
        {reply(200, "", "a"), reply(200, "", "b"), reply(200, "", "c"), reply(200, "", "d")});
    auto http = make_http_client();

    auto r1 = http->request("GET", server.url(), {}, "");
    ASSERT_TRUE(r1) << r1.error();
    EXPECT_EQ(r1->body, "a");
    auto r2 = http->request("GET", server.url("/v1/markets/quotes?symbols=SPY,AAPL&greeks=false"),
                            {{"Authorization", "Bearer t"}, {"Accept", "application/json"}}, "");
    ASSERT_TRUE(r2);
    auto r3 = http->request("POST", server.url("/v1/markets/events/session"), {}, "");
    ASSERT_TRUE(r3);
    const std::string body("k=v&x=\x01\x00z", 9);
    auto r4 = http->request("PUT", server.url("/v1/o/1"),
                            {{"Content-Type", "application/x-www-form-urlencoded"}}, body);
    ASSERT_TRUE(r4);

    const auto req = server.requests();
    ASSERT_EQ(req.size(), 4u);
    EXPECT_EQ(req[0].rfind("GET / HTTP/1.1\r\n", 0), 0u) << req[0];
    EXPECT_NE(req[0].find("User-Agent: Ostrel/1.0\r\n"), std::string::npos);
    EXPECT_EQ(req[1].rfind("GET /v1/markets/quotes?symbols=SPY,AAPL&greeks=false HTTP/1.1\r\n", 0),
              0u);
    EXPECT_NE(req[1].find("Authorization: Bearer t\r\n"), std::string::npos);
    EXPECT_NE(req[1].find("Accept: application/json\r\n"), std::string::npos);
    EXPECT_EQ(req[2].rfind("POST /v1/markets/events/session HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(req[2].find("Content-Length: 0\r\n"), std::string::npos);
    EXPECT_EQ(req[2].find("Content-Type"), std::string::npos);  // none was given
    EXPECT_EQ(req[3].rfind("PUT /v1/o/1 HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(req[3].find("Expect:"), std::string::npos);
    EXPECT_EQ(req[3].substr(req[3].size() - body.size()), body);
}

TEST(CurlHttpClient, RateLimitHeadersAndErrorStatuses) {
    RawServer server({
        reply(200, "", "{}"),
        reply(
            200,
            "X-Ratelimit-Allowed: 120\r\nx-ratelimit-used: 42abc\r\nX-Ratelimit-Available: 78\r\n",
            ""),
        reply(404,
              "X-Ratelimit-Allowed: -3\r\nX-Ratelimit-Used: \r\nX-Ratelimit-Available: abc\r\n",
              "nope"),
        reply(500, "X-Ratelimit-Available: " + std::string(80, '9') + "\r\n", "fault"),
    });
    auto http = make_http_client();
    auto none = http->request("GET", server.url("/"), {}, "");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->ratelimit_allowed, 0);
    EXPECT_EQ(none->ratelimit_used, 0);
    EXPECT_EQ(none->ratelimit_available, -1);

    auto all = http->request("GET", server.url("/"), {}, "");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->ratelimit_allowed, 120);
    EXPECT_EQ(all->ratelimit_used, 42);
    EXPECT_EQ(all->ratelimit_available, 78);

    auto not_found = http->request("GET", server.url("/"), {}, "");
    ASSERT_TRUE(not_found);
    EXPECT_EQ(not_found->status, 404);
    EXPECT_EQ(not_found->body, "nope");
    EXPECT_EQ(not_found->ratelimit_allowed, 0);
    EXPECT_EQ(not_found->ratelimit_used, 0);
    EXPECT_EQ(not_found->ratelimit_available, -1);

    auto fault = http->request("DELETE", server.url("/x"), {}, "");
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->status, 500);
    EXPECT_EQ(fault->ratelimit_available, -1);
}

TEST(CurlHttpClient, CutBodyIsStillAResponse) {
    RawServer server({"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"quotes\":"});
    auto r = make_http_client()->request("GET", server.url("/"), {}, "");
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, "{\"quotes\":");
}

TEST(CurlHttpClient, FailuresBeforeAResponseAreTexts) {
    auto http = make_http_client();
    int port = 0;
    {
        RawServer closed({});
        port = std::stoi(closed.url().substr(17));
    }
    auto unreachable =
        http->request("GET", "http://127.0.0.1:" + std::to_string(port) + "/", {}, "");
    ASSERT_FALSE(unreachable);
    EXPECT_EQ(unreachable.error(), "HTTP send/receive failed");

    RawServer dropper({""});  // accepts, then closes without a word
    auto dropped = http->request("GET", dropper.url("/"), {}, "");
    ASSERT_FALSE(dropped);
    EXPECT_EQ(dropped.error(), "HTTP send/receive failed");

    for (const std::string& bad :
         {std::string("not a url"), std::string("ftp://example.com/x"), std::string(""),
          "http://" + std::string(256, 'h') + "/", "http://h/" + std::string(2047, 'p')}) {
        auto r = http->request("GET", bad, {}, "");
        ASSERT_FALSE(r) << bad;
        EXPECT_EQ(r.error(), "Invalid URL") << bad;
    }
}

}  // namespace
}  // namespace ostrel
