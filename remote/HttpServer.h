#pragma once
// The HTTP end of the service: decodes calls, checks the session token and hands each call to
// a Handler. The service supplies the handler and the authenticator.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "remote/Wire.h"

namespace remote {

/// One login: who, with what, from where (the caller's address, for throttling).
struct LoginAttempt {
  std::string operatorCode;
  std::string password;
  std::string address;
};

/// A login's answer: a session token, or the refusal's key ("LOGIN_INVALIDO",
/// "LOGIN_BLOQUEADO") and a readable text.
struct LoginOutcome {
  std::optional<std::string> token;
  std::string key;
  std::string text;
};

/// Logs operators in and recognises their session tokens.
class Authenticator {
 public:
  virtual ~Authenticator() = default;
  virtual LoginOutcome login(const LoginAttempt& attempt) = 0;
  /// The operator of a session token, or nothing when the token is not (or no longer) valid.
  virtual std::optional<std::string> operatorOf(const std::string& token) = 0;
  /// Ends a session; an unknown token is no error.
  virtual void logout(const std::string& token) = 0;
};

/// What the server allows its callers. Connections hold a thread each while they are open;
/// those that hold no session yet ("anonymous": a login, or a connection that has not sent its
/// first request) are capped apart, so they can never take the threads logged-in callers use.
struct ServerLimits {
  /// A login is a few hundred bytes; a caller without a session never sends more than this.
  size_t loginBody = 4 << 10;
  /// The largest call the module sends is its boleto list with a change log: about 600 bytes
  /// a row, so 64 MB carries 100,000 rows with room to spare.
  size_t callBody = 64 << 20;
  /// A request's head (request line and headers) arrives whole within this time, or the
  /// connection is closed: sending a header line now and then holds nothing open.
  std::chrono::milliseconds headerTimeout{10'000};
  /// A body arrives at least this fast (bytes a second), beyond the head's time.
  size_t minBodyRate = 16 << 10;
  /// An idle kept-alive connection is closed after this time.
  std::chrono::milliseconds idleTimeout{60'000};
  /// A reply that the caller does not take for this long ends its connection.
  std::chrono::milliseconds writeTimeout{30'000};
  size_t maxConnections = 1024;
  size_t maxPerAddress = 256;
  /// Anonymous connections, in all and from one address, served at once; more wait up to
  /// headerTimeout for a place, then are closed.
  size_t maxAnonymous = 128;
  size_t maxAnonymousPerAddress = 16;
};

/// How the server runs: TLS, limits, the call log and the health check.
struct ServerOptions {
  /// Both set: serve HTTPS with this PEM certificate (chain) and key.
  std::string certFile, keyFile;
  ServerLimits limits;
  /// One line per call (time, address, operator, method, duration, result key) and per
  /// refused login; nothing is logged when empty.
  std::function<void(const std::string& line)> log;
  /// The service's own check for GET /health: empty when it can serve, else why not.
  std::function<std::string()> health;
};

class HttpServer {
 public:
  HttpServer(std::shared_ptr<Handler> handler, std::shared_ptr<Authenticator> auth,
             ServerOptions options = {});
  /// Serves HTTPS with the PEM certificate and key files; throws std::runtime_error when
  /// they cannot be loaded.
  HttpServer(std::shared_ptr<Handler> handler, std::shared_ptr<Authenticator> auth,
             const std::string& certFile, const std::string& keyFile);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  /// Binds `address`:`port` (port 0 picks a free one); returns the bound port, or throws
  /// std::runtime_error when the address cannot be bound.
  int bind(const std::string& address, int port);
  /// Serves until `stop` (blocks).
  void serve();
  void stop();

  /// Connections open now, and those of them without a session.
  size_t openConnections() const;
  size_t anonymousConnections() const;

 private:
  struct Impl;
  void install();
  std::unique_ptr<Impl> d_;
};

}  // namespace remote
