#pragma once
// The HTTP end of the service: decodes calls, checks the session token and hands each call to
// a Handler. The service supplies the handler and the authenticator.

#include <memory>
#include <optional>
#include <string>

#include "remote/Wire.h"

namespace remote {

/// Logs operators in and recognises their session tokens.
class Authenticator {
 public:
  virtual ~Authenticator() = default;
  /// A new session token, or nothing when the operator or password is wrong.
  virtual std::optional<std::string> login(const std::string& operatorCode,
                                           const std::string& password) = 0;
  /// The operator of a session token, or nothing when the token is not valid.
  virtual std::optional<std::string> operatorOf(const std::string& token) = 0;
};

class HttpServer {
 public:
  HttpServer(std::shared_ptr<Handler> handler, std::shared_ptr<Authenticator> auth);
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

 private:
  struct Impl;
  void install();
  std::unique_ptr<Impl> d_;
};

}  // namespace remote
