// A small HTTP/1.1 server on 127.0.0.1 for tests that download: it answers GET requests from a
// table of canned responses (404 for any other path), one connection at a time, on its own
// thread. On Windows the test program links ws2_32.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kestrelwing::testing {

class LoopbackHttpServer {
 public:
  struct Response {
    int status = 200;
    std::string body;
    std::string headers;  // extra header lines, each ending with \r\n
    bool stall = false;   // announce one byte more than the body, then send nothing until stopped
  };

  explicit LoopbackHttpServer(std::map<std::string, Response> routes) : routes_(std::move(routes)) {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (listener_ == kNoSocket ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }

  ~LoopbackHttpServer() {
    if (thread_.joinable()) {
      stopping_ = true;
      // accept() waits for a connection: one more lets the thread see that it must stop.
      const Socket wake = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address = Loopback(port_);
      ::connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof address);
      Close(wake);
      thread_.join();
    }
    if (listener_ != kNoSocket) Close(listener_);
#ifdef _WIN32
    WSACleanup();
#endif
  }

  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  bool Running() const {
    return port_ != 0;
  }
  std::uint16_t Port() const {
    return port_;
  }
  std::u16string Url(std::string_view path) const {
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
    return std::u16string(url.begin(), url.end());
  }

 private:
#ifdef _WIN32
  using Socket = SOCKET;
  static constexpr Socket kNoSocket = INVALID_SOCKET;
  static void Close(Socket socket) {
    ::closesocket(socket);
  }
  static constexpr int kSendFlags = 0;
#else
  using Socket = int;
  static constexpr Socket kNoSocket = -1;
  static void Close(Socket socket) {
    ::close(socket);
  }
  static constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

  static sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
  }

  void Serve() {
    for (;;) {
      const Socket client = ::accept(listener_, nullptr, nullptr);
      if (client == kNoSocket) {
        if (stopping_) return;
        continue;
      }
      if (stopping_) {
        Close(client);
        return;
      }
      Answer(client);
      Close(client);
    }
  }

  void Answer(Socket client) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      const int got = static_cast<int>(::recv(client, buffer, sizeof buffer, 0));
      if (got <= 0) return;
      request.append(buffer, static_cast<std::size_t>(got));
    }
    // "GET /path HTTP/1.1"
    const std::size_t pathStart = request.find(' ') + 1;
    const std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
    const auto route = routes_.find(path);
    const Response response = route != routes_.end() ? route->second : Response{404, "none", ""};
    const std::size_t announced = response.body.size() + (response.stall ? 1 : 0);
    const std::string reply = "HTTP/1.1 " + std::to_string(response.status) +
                              " Canned\r\nContent-Length: " + std::to_string(announced) +
                              "\r\nConnection: close\r\n" + response.headers + "\r\n" +
                              response.body;
    for (std::size_t sent = 0; sent < reply.size();) {
      const int chunk = static_cast<int>(std::min<std::size_t>(reply.size() - sent, 65536));
      const int put = static_cast<int>(::send(client, reply.data() + sent, chunk, kSendFlags));
      if (put <= 0) return;
      sent += static_cast<std::size_t>(put);
    }
    while (response.stall && !stopping_)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  std::map<std::string, Response> routes_;
  Socket listener_ = kNoSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace kestrelwing::testing
