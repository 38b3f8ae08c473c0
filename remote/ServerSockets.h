#pragma once
// The connections of the HTTP end (internal to remote/): who may connect and how many at
// once, how long a request may take to arrive, TLS, and the threads that serve them. httplib
// parses the requests and runs the routes; everything before that is ours, so that a caller
// who sends slowly, or sends too much, or has no session, costs the others nothing.

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "remote/HttpServer.h"

namespace remote::sockets {

/// What the head of a request says, read before httplib parses it.
struct Head {
  std::string method, path, token;
  std::optional<size_t> contentLength;
  bool chunked = false;
};

/// The gate's answer for one request: let it through with a body limit, or answer it at once
/// with `status` and `body` (JSON) and close the connection, its body unread.
struct Verdict {
  int status = 0;
  std::string body;
  size_t bodyLimit = 0;
  /// The request carries a valid session: the connection no longer counts as anonymous.
  bool loggedIn = false;
  /// The operator of that session, for the route (see currentOperator).
  std::string operatorCode;
};

using Gate = std::function<Verdict(const Head&, const std::string& address)>;

/// An httplib server whose connections pass our limits first. Plain HTTP, or TLS once
/// useTls() loaded a certificate.
class GuardedServer final : public httplib::Server {
 public:
  GuardedServer(ServerLimits limits, Gate gate);
  ~GuardedServer() override;

  /// Serves TLS with the PEM certificate (chain) and key; throws std::runtime_error saying
  /// which file could not be used, and why.
  void useTls(const std::string& certFile, const std::string& keyFile);
  /// Wakes every connection waiting for its next request, so that stop() ends at once.
  void halt();
  /// Connections being served now, and how many of them hold no session yet.
  size_t openConnections() const;
  size_t anonymousConnections() const;

 private:
  struct Admission;
  bool process_and_close_socket(socket_t sock) override;
  bool admit(const std::string& address, std::shared_ptr<Admission>& admission);

  ServerLimits limits_;
  Gate gate_;
  std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> tls_{nullptr, SSL_CTX_free};
  int stopFd_ = -1;

  mutable std::mutex mutex_;
  std::condition_variable anonymousFree_;
  size_t total_ = 0, anonymous_ = 0;
  std::map<std::string, size_t> perAddress_, anonymousPerAddress_;
};

/// The operator whose session the gate found for the request served on this thread.
const std::string& currentOperator();
/// Tells the connection serving this thread's request that it now holds a session (a login
/// went through on it): it no longer counts as anonymous.
void sessionOpened();

}  // namespace remote::sockets
