#include "serve/server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include "util/scoped_fd.h"
#include "util/system_calls.h"

namespace trovik::serve {
namespace {

// Answers from fixed texts; the test moves its cursor.
class FakeSource : public LiveSource {
 public:
  std::atomic<uint64_t> current{1};
  mutable std::atomic<int> cursor_reads{0};

  uint64_t cursor() const override {
    ++cursor_reads;
    return current.load();
  }
  Result<std::string> page(std::string_view nonce) const override {
    return "<script nonce=\"" + std::string(nonce) + "\"></script>";
  }
  Result<std::string> changes_since(uint64_t since) const override {
    return "{\"since\":" + std::to_string(since) + ",\"cursor\":" + std::to_string(cursor()) + "}";
  }
  Result<std::string> run_series(std::string_view run_id) const override {
    if (run_id != "known") return Status::NotFound("no such run");
    return std::string("{\"series\":{}}");
  }
};

// Fails the first accept as a full descriptor table would.
class FirstAcceptFails : public FaultInjector {
 public:
  std::optional<int> should_fail(SystemCall call) override {
    if (call != SystemCall::kAccept || failed_) return std::nullopt;
    failed_ = true;
    return EMFILE;
  }

 private:
  std::atomic<bool> failed_{false};
};

class ServerTest : public testing::Test {
 protected:
  void SetUp() override {
    ServeOptions options;
    options.address = parse_listen_address("127.0.0.1").value();
    options.limits.longest_wait = std::chrono::milliseconds(400);
    options.limits.change_poll = std::chrono::milliseconds(20);
    server_ = std::move(Server::open(options, source_).value());
    const std::string url = server_->url();
    cookie_ = "trovik-" + std::to_string(server_->port()) + "=" + url.substr(url.find('=') + 1);
    thread_ = std::thread([this] { (void)server_->run(); });
  }
  void TearDown() override {
    server_->stop();
    thread_.join();
  }

  // Sends one request and reads the whole response, which ends the connection.
  std::string fetch(const std::string& method, const std::string& target) {
    ScopedFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const timeval limit{10, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(server_->port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return "";
    const std::string request = method + " " + target +
                                " HTTP/1.1\r\nHost: localhost:" + std::to_string(server_->port()) +
                                "\r\nCookie: " + cookie_ + "\r\nConnection: close\r\n\r\n";
    if (::write(fd.get(), request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
      return "";
    }
    std::string response;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd.get(), buffer, sizeof buffer)) > 0) response.append(buffer, n);
    return response;
  }

  FakeSource source_;
  std::unique_ptr<Server> server_;
  std::string cookie_;
  std::thread thread_;
};

TEST_F(ServerTest, ChangesWaitForTheCursorToMove) {
  std::string answer;
  std::thread waiting([&] { answer = fetch("GET", "/api/changes?since=1"); });
  // Once the server has looked at the cursor, the request is waiting: then it moves.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (source_.cursor_reads == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  source_.current = 2;
  waiting.join();
  EXPECT_NE(answer.find("\r\n\r\n{\"since\":1,\"cursor\":2}"), std::string::npos) << answer;
}

TEST_F(ServerTest, ChangesAnswerNothingNewAtTheDeadline) {
  const std::string answer = fetch("GET", "/api/changes?since=1");
  EXPECT_NE(answer.find("HTTP/1.1 200"), std::string::npos) << answer;
  EXPECT_NE(answer.find("{\"since\":1,\"cursor\":1}"), std::string::npos) << answer;
}

TEST_F(ServerTest, SourceFailuresBecomeStatuses) {
  EXPECT_EQ(fetch("GET", "/api/series?run=unknown").rfind("HTTP/1.1 404 ", 0), 0u);
  EXPECT_EQ(fetch("GET", "/nothing").rfind("HTTP/1.1 404 ", 0), 0u);
  EXPECT_EQ(fetch("GET", "/api/series?run=a.b").rfind("HTTP/1.1 400 ", 0), 0u);
  const std::string known = fetch("GET", "/api/series?run=known");
  EXPECT_EQ(known.rfind("HTTP/1.1 200 ", 0), 0u);
  EXPECT_NE(known.find("Content-Type: application/json"), std::string::npos);
}

TEST_F(ServerTest, PagePolicyAllowsOnlyItsOwnNonce) {
  const std::string page = fetch("GET", "/");
  const size_t nonce_at = page.find("<script nonce=\"");
  ASSERT_NE(nonce_at, std::string::npos) << page;
  const std::string nonce = page.substr(nonce_at + 15, 32);
  EXPECT_NE(page.find("script-src 'nonce-" + nonce + "'"), std::string::npos) << page;
  for (const char* header : {"X-Content-Type-Options: nosniff", "Referrer-Policy: no-referrer",
                             "Cache-Control: no-store"}) {
    EXPECT_NE(page.find(header), std::string::npos) << header;
  }
  EXPECT_EQ(page.find("Access-Control-"), std::string::npos);
  EXPECT_NE(nonce, fetch("GET", "/").substr(nonce_at + 15, 32));
}

TEST_F(ServerTest, HeadKeepsTheLengthAndDropsTheBody) {
  const std::string head = fetch("HEAD", "/api/series?run=known");
  EXPECT_NE(head.find("Content-Length: 13\r\n"), std::string::npos) << head;
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
}

TEST_F(ServerTest, AFailedAcceptIsTriedAgain) {
  FirstAcceptFails fault;
  FaultInjector* previous = install_fault_injector(&fault);
  const std::string answer = fetch("GET", "/api/series?run=known");
  install_fault_injector(previous);
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 ", 0), 0u) << answer;
}

}  // namespace
}  // namespace trovik::serve
