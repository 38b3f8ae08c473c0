#pragma once
// The two ways to reach the application service: in the same process (the embedded default)
// and over HTTP (several users, several machines).

#include <memory>
#include <string>

#include "remote/Wire.h"

namespace remote {

/// Calls the service's handler directly, as the operator it was given.
class InProcessTransportFactory final : public TransportFactory {
 public:
  InProcessTransportFactory(std::shared_ptr<Handler> handler, std::string operatorCode);
  std::unique_ptr<Transport> open(const std::string& address, int port,
                                  std::string& error) override;

 private:
  std::shared_ptr<Handler> handler_;
  std::string operatorCode_;
};

/// HTTP (or HTTPS when the address starts with "https://"): logs in when it connects and
/// sends the session token with every call.
class HttpTransportFactory final : public TransportFactory {
 public:
  HttpTransportFactory(std::string operatorCode, std::string password);
  ~HttpTransportFactory() override;
  /// Logs in at the first connection to a server; later connections to it reuse that
  /// session, and log in again only when the server no longer knows it.
  std::unique_ptr<Transport> open(const std::string& address, int port,
                                  std::string& error) override;
  /// Over HTTPS, trusts the certificates of this PEM file (a private authority, or the
  /// server's own self-signed certificate) instead of the system's authorities.
  void setCaCertFile(std::string path) { caCertFile_ = std::move(path); }

  struct Sessions;

 private:
  std::shared_ptr<Sessions> sessions_;
  std::string caCertFile_;
};

/// Paths and header of the HTTP form, shared by client and server.
inline constexpr const char* kLoginPath = "/login";
inline constexpr const char* kCallPath = "/call";
inline constexpr const char* kLogoutPath = "/logout";
/// Answers without a session: whether the server and its database can serve.
inline constexpr const char* kHealthPath = "/health";
inline constexpr const char* kTokenHeader = "X-Boleto-Token";

/// Splits "http://host:port", "host:port" or "host" with a default port into scheme, host
/// and port; throws std::invalid_argument for a malformed address.
struct ServerAddress {
  std::string scheme = "http";
  std::string host;
  int port = 0;
  std::string url() const;
  static ServerAddress parse(const std::string& text, int defaultPort);
};

}  // namespace remote
