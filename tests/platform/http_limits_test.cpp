// The HttpClient's bounds: answer size, overall deadline and cancel, against peers that misbehave
// on purpose (endless chunked bodies, a byte now and then, an answer that never comes).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/http_client.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;

/// Accepts connections one after another, reads the request head and hands the socket to
/// `talk`, which writes whatever it likes until a send fails or the server closes.
class MisbehavingServer {
  public:
    explicit MisbehavingServer(std::function<void(int fd, const std::atomic<bool>& stop)> talk)
        : talk_(std::move(talk)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd_, 8) != 0)
            throw std::runtime_error("bind");
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~MisbehavingServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v1/x"; }

  private:
    void serve() {
        while (!stop_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            std::string head;
            char buf[1024];
            while (head.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                head.append(buf, static_cast<std::size_t>(n));
            }
            talk_(c, stop_);
            ::close(c);
        }
    }

    std::function<void(int, const std::atomic<bool>&)> talk_;
    std::atomic<bool> stop_{false};
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

bool send_all(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void endless_chunks(int fd, const std::atomic<bool>& stop) {
    if (!send_all(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")) return;
    const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
    while (!stop && send_all(fd, chunk)) {
    }
}

// A byte every 100 ms: inside the head (a header line that never ends) or inside the body.
void trickle(int fd, const std::atomic<bool>& stop, bool head_first) {
    const std::string start = head_first ? "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n"
                                         : "HTTP/1.1 200 OK\r\nX-Pad: ";
    if (!send_all(fd, start)) return;
    while (!stop && send_all(fd, "a"))
        std::this_thread::sleep_for(100ms);
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

TEST(HttpLimits, AnswersPastTheCapFailWhateverTheirFraming) {
    HttpLimits limits;
    limits.max_body_bytes = 1 << 20;
    auto http = make_http_client(limits);

    MisbehavingServer endless(endless_chunks);
    auto chunked = http->request("GET", endless.url(), {}, "");
    ASSERT_FALSE(chunked);
    EXPECT_EQ(chunked.error(), kHttpTooLarge);

    // A declared length over the cap fails the same way; one just under it is read whole.
    for (const std::size_t size : {std::size_t{(1 << 20) + 1}, std::size_t{(1 << 20) - 10}}) {
        MisbehavingServer big([size](int fd, const std::atomic<bool>&) {
            send_all(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n" +
                             std::string(size, 'y'));
        });
        auto r = http->request("GET", big.url(), {}, "");
        if (size > limits.max_body_bytes) {
            ASSERT_FALSE(r);
            EXPECT_EQ(r.error(), kHttpTooLarge);
        } else {
            ASSERT_TRUE(r) << r.error();
            EXPECT_EQ(r->body.size(), size);
        }
    }
}

TEST(HttpLimits, TricklingPeerIsCutAtTheDeadline) {
    HttpLimits limits;
    limits.deadline = 1500ms;
    auto http = make_http_client(limits);
    for (const bool head_first : {false, true}) {
        MisbehavingServer slow(
            [head_first](int fd, const std::atomic<bool>& stop) { trickle(fd, stop, head_first); });
        const auto t0 = std::chrono::steady_clock::now();
        auto r = http->request("GET", slow.url(), {}, "");
        const double took = seconds_since(t0);
        ASSERT_FALSE(r) << "head first " << head_first;
        EXPECT_EQ(r.error(), kHttpTimedOut);
        EXPECT_GE(took, 1.4);
        EXPECT_LT(took, 5.0);
    }
}

TEST(HttpLimits, CancelEndsAnExchangeInFlightAndRefusesNewOnes) {
    auto http = make_http_client();  // production deadline: only the cancel can end it soon
    MisbehavingServer silent([](int, const std::atomic<bool>& stop) {
        while (!stop)
            std::this_thread::sleep_for(20ms);
    });
    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);
        http->set_cancelled(true);
    });
    const auto t0 = std::chrono::steady_clock::now();
    auto r = http->request("GET", silent.url(), {}, "");
    const double took = seconds_since(t0);
    canceller.join();
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), kHttpCancelled);
    EXPECT_LT(took, 3.0);

    auto refused = http->request("GET", silent.url(), {}, "");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), kHttpCancelled);
    http->set_cancelled(false);
}

}  // namespace
}  // namespace ostrel
