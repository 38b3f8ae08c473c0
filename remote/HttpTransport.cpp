#include <fmt/format.h>
#include <httplib.h>

#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "remote/Transports.h"

namespace remote {

using nlohmann::json;

std::string ServerAddress::url() const {
  return fmt::format("{}://{}:{}", scheme, host, port);
}

ServerAddress ServerAddress::parse(const std::string& text, int defaultPort) {
  ServerAddress a;
  std::string rest = text;
  if (auto p = rest.find("://"); p != std::string::npos) {
    a.scheme = rest.substr(0, p);
    rest = rest.substr(p + 3);
    if (a.scheme != "http" && a.scheme != "https")
      throw std::invalid_argument(fmt::format("\"{}\": only http and https are served", text));
  }
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  a.port = defaultPort;
  if (auto p = rest.rfind(':'); p != std::string::npos) {
    try {
      size_t used = 0;
      a.port = std::stoi(rest.substr(p + 1), &used);
      if (used != rest.size() - p - 1) throw std::invalid_argument("port");
    } catch (const std::exception&) {
      throw std::invalid_argument(fmt::format("\"{}\" has no valid port", text));
    }
    rest = rest.substr(0, p);
  }
  if (rest.empty()) throw std::invalid_argument(fmt::format("\"{}\" names no host", text));
  if (a.port < 0 || a.port > 65535)
    throw std::invalid_argument(fmt::format("\"{}\": port out of range", text));
  a.host = rest;
  return a;
}

/// The session of each server this factory logged in to: a connection opened later reuses
/// it instead of logging in again (a login checks the password the slow way on purpose, and
/// the report opens a connection for every boleto it draws).
struct HttpTransportFactory::Sessions {
  std::string operatorCode, password;
  std::mutex mutex;
  std::map<std::string, std::string> tokens;

  std::optional<std::string> cached(const std::string& url) {
    std::lock_guard lock(mutex);
    auto it = tokens.find(url);
    return it == tokens.end() ? std::nullopt : std::optional<std::string>(it->second);
  }

  /// Logs in on `client`; the new token replaces the cached one. Empty on failure, with
  /// the reason in `error`.
  std::string login(httplib::Client& client, const std::string& url, std::string& error) {
    json body{{"operator", operatorCode}, {"password", password}};
    auto res = client.Post(kLoginPath, body.dump(), "application/json");
    if (!res) {
      error = fmt::format("{} does not answer ({})", url, httplib::to_string(res.error()));
      return {};
    }
    try {
      json reply = json::parse(res->body);
      if (res->status != 200 || !reply.contains("token")) {
        error =
            fmt::format("{} refused the login of \"{}\": {}", url, operatorCode,
                        reply.value("text", reply.value("key", std::string("no reason given"))));
        return {};
      }
      std::string token = reply["token"].get<std::string>();
      std::lock_guard lock(mutex);
      tokens[url] = token;
      return token;
    } catch (const std::exception& e) {
      error = fmt::format("{} answered the login with an unreadable reply: {}", url, e.what());
      return {};
    }
  }
};

namespace {

class HttpTransport final : public Transport {
 public:
  HttpTransport(std::unique_ptr<httplib::Client> client, std::string where, std::string token,
                std::shared_ptr<HttpTransportFactory::Sessions> sessions, bool reused)
      : client_(std::move(client)),
        where_(std::move(where)),
        token_(std::move(token)),
        sessions_(std::move(sessions)),
        reused_(reused) {}

  Reply send(const Request& request) override {
    std::string body;
    try {
      body = writeRequest(request);
    } catch (const std::exception& e) {
      return Reply::refused("ARG_INVALIDO", e.what());
    }
    auto res = post(body);
    // A reused session the server no longer knows (it restarted, or expired it): log in
    // once more and send the call again, as a fresh connection would have.
    if (res && res->status == 401 && reused_) {
      reused_ = false;
      std::string error;
      std::string token = sessions_->login(*client_, where_, error);
      if (token.empty()) return Reply::transportFailed(error);
      token_ = std::move(token);
      res = post(body);
    }
    if (!res) {
      return Reply::transportFailed(
          fmt::format("{} does not answer ({})", where_, httplib::to_string(res.error())));
    }
    try {
      return readReply(res->body);
    } catch (const std::exception& e) {
      return Reply::transportFailed(fmt::format("{} answered HTTP {} with an unreadable reply: {}",
                                                where_, res->status, e.what()));
    }
  }

 private:
  httplib::Result post(const std::string& body) {
    httplib::Headers headers{{kTokenHeader, token_}};
    return client_->Post(kCallPath, headers, body, "application/json");
  }

  std::unique_ptr<httplib::Client> client_;
  std::string where_;
  std::string token_;
  std::shared_ptr<HttpTransportFactory::Sessions> sessions_;
  bool reused_;
};

}  // namespace

HttpTransportFactory::HttpTransportFactory(std::string operatorCode, std::string password)
    : sessions_(std::make_shared<Sessions>()) {
  sessions_->operatorCode = std::move(operatorCode);
  sessions_->password = std::move(password);
}

HttpTransportFactory::~HttpTransportFactory() = default;

std::unique_ptr<Transport> HttpTransportFactory::open(const std::string& address, int port,
                                                      std::string& error) {
  ServerAddress where;
  try {
    where = ServerAddress::parse(address, port);
  } catch (const std::exception& e) {
    error = e.what();
    return nullptr;
  }
  const std::string url = where.url();
  auto client = std::make_unique<httplib::Client>(url);
  client->set_keep_alive(true);
  // Without it, small requests on a kept-alive connection wait for the delayed ACK.
  client->set_tcp_nodelay(true);
  // Replies are small and mostly on a local network: compressing them costs more CPU than
  // the bytes it saves.
  client->set_decompress(false);
  client->set_connection_timeout(5, 0);
  client->set_read_timeout(120, 0);
  if (!caCertFile_.empty()) client->set_ca_cert_path(caCertFile_.c_str());
  if (auto token = sessions_->cached(url))
    return std::make_unique<HttpTransport>(std::move(client), url, *token, sessions_, true);
  std::string token = sessions_->login(*client, url, error);
  if (token.empty()) return nullptr;
  return std::make_unique<HttpTransport>(std::move(client), url, std::move(token), sessions_,
                                         false);
}

}  // namespace remote
