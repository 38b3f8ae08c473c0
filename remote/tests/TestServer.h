#pragma once
// A small handler and authenticator standing in for the service, and the helpers the tests of
// both transports and of the HTTP end share.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "host/Context.h"
#include "host/Host.h"
#include "remote/HttpServer.h"
#include "remote/Wire.h"

namespace remote::testing {

/// Echoes its arguments ("Eco"), changes in-out ones ("Troca"), names the caller ("Quem")
/// and refuses ("Recusa").
class EchoService final : public remote::Handler {
 public:
  remote::Reply handle(const std::string& op, const remote::Request& req) override {
    if (req.object != "Teste.rdmEco")
      return remote::Reply::refused("OBJETO_DESCONHECIDO", req.object);
    remote::Reply r;
    if (req.method == "Eco") {
      r.result = Variant::array(req.args);
    } else if (req.method == "Troca") {
      // Writes every in-out argument: texts get a suffix, the rest become "changed".
      for (size_t i = 0; i < req.args.size(); ++i) {
        if (req.byRef[i]) r.refArgs.emplace_back(i, Variant(req.args[i].asString() + "+"));
      }
      r.result = Variant(int64_t{1});
    } else if (req.method == "Quem") {
      r.result = Variant(op + "@" + req.company);
    } else if (req.method == "Recusa") {
      return remote::Reply::refused("ALT_BLOQ", "changed by someone else");
    } else {
      return remote::Reply::refused("METODO_DESCONHECIDO", req.method);
    }
    return r;
  }
};

/// One operator, "demo" with "segredo", whose session token is always "tok-1".
class OneUser final : public remote::Authenticator {
 public:
  remote::LoginOutcome login(const remote::LoginAttempt& a) override {
    remote::LoginOutcome out;
    if (a.operatorCode == "demo" && a.password == "segredo") out.token = "tok-1";
    return out;
  }
  std::optional<std::string> operatorOf(const std::string& token) override {
    if (token == "tok-1") return "demo";
    return std::nullopt;
  }
  void logout(const std::string&) override {}
};

inline int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

/// Ports whose context points at the server on `port`, company "08".
inline host::Host contextAt(int port) {
  host::ContextSettings s;
  s.company = "08";
  s.webUrl = "127.0.0.1";
  s.webPort = port;
  return {.context = std::make_shared<host::ConfiguredContext>(s)};
}

/// A bare TCP connection to the server, for what no well-behaved client sends.
class RawSocket {
 public:
  explicit RawSocket(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawSocket() { ::close(fd_); }
  RawSocket(const RawSocket&) = delete;
  RawSocket& operator=(const RawSocket&) = delete;

  bool connected() const { return connected_; }
  /// False once the server closed its end.
  bool send(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  /// What the server sent until it closed or `wait` passed without anything new.
  std::string receive(std::chrono::milliseconds wait) {
    std::string text;
    char buf[4096];
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return text;
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) {
        closedByServer_ = true;
        return text;
      }
      text.append(buf, static_cast<size_t>(n));
    }
  }
  bool closedByServer() const { return closedByServer_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool closedByServer_ = false;
};

}  // namespace remote::testing
