#pragma once
// The two ways to reach the application service: in the same process (the embedded default)
// and over HTTP (several users, several machines).

#include <memory>
#include <string>
#include <vector>

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
/// sends the session token with every call. The address may list several servers of one
/// service, separated by commas ("http://a:8211,http://b:8211"): a server that does not
/// answer is passed over for the next, and a call that never reached it is sent to the next
/// one. A call that reached a server which then died is not sent again (it may have been
/// done): it fails, and the next connection goes to a server that answers.
class HttpTransportFactory final : public TransportFactory {
 public:
  HttpTransportFactory(std::string operatorCode, std::string password);
  ~HttpTransportFactory() override;
  /// Logs in at the first connection to a service; later connections to it reuse that
  /// session (every server of one database accepts it), and log in again only when a server
  /// no longer knows it.
  std::unique_ptr<Transport> open(const std::string& address, int port,
                                  std::string& error) override;
  /// Ends the sessions this factory opened (best effort: a server that is gone has nothing
  /// to end).
  void logout();
  /// Over HTTPS, trusts the certificates of this PEM file (a private authority, or the
  /// server's own self-signed certificate) instead of the system's authorities.
  void setCaCertFile(std::string path);

  struct Sessions;

 private:
  std::shared_ptr<Sessions> sessions_;
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
  /// Every address of a list separated by commas; throws for an empty list or a malformed
  /// address.
  static std::vector<ServerAddress> parseList(const std::string& text, int defaultPort);
};

}  // namespace remote
