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

std::vector<ServerAddress> ServerAddress::parseList(const std::string& text, int defaultPort) {
  std::vector<ServerAddress> out;
  size_t from = 0;
  for (;;) {
    const size_t comma = text.find(',', from);
    std::string item = text.substr(from, comma == std::string::npos ? comma : comma - from);
    while (!item.empty() && item.front() == ' ') item.erase(item.begin());
    while (!item.empty() && item.back() == ' ') item.pop_back();
    if (!item.empty()) out.push_back(parse(item, defaultPort));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  if (out.empty()) throw std::invalid_argument(fmt::format("\"{}\" names no server", text));
  return out;
}

namespace {

// Why a request got no answer, as an operator reads it.
std::string why(httplib::Error e) {
  switch (e) {
    case httplib::Error::Connection:
      return "a conexão foi recusada ou o servidor está fora do ar";
    case httplib::Error::ConnectionTimeout:
      return "o servidor não aceitou a conexão a tempo";
    case httplib::Error::Read:
      return "a resposta não chegou: a conexão caiu ou o tempo se esgotou";
    case httplib::Error::Write:
      return "o pedido não pôde ser enviado inteiro";
    case httplib::Error::SSLConnection:
      return "a conexão segura (TLS) não se estabeleceu";
    case httplib::Error::SSLLoadingCerts:
      return "os certificados de confiança não puderam ser lidos";
    case httplib::Error::SSLServerVerification:
      return "o certificado do servidor não é de confiança";
    default:
      return "falha de comunicação (" + httplib::to_string(e) + ")";
  }
}

// The request never reached the server: sending it to another one cannot do it twice.
bool neverDelivered(httplib::Error e) {
  return e == httplib::Error::Connection || e == httplib::Error::ConnectionTimeout ||
         e == httplib::Error::SSLConnection;
}

}  // namespace

/// The session of each service this factory logged in to, by its list of servers: a
/// connection opened later reuses it instead of logging in again (a login checks the
/// password the slow way on purpose, and the report opens a connection for every boleto it
/// draws). And the server of each list that answered last, which connections try first.
struct HttpTransportFactory::Sessions {
  std::string operatorCode, password, caCertFile;
  std::mutex mutex;
  std::map<std::string, std::string> tokens;
  std::map<std::string, size_t> preferred;
  std::map<std::string, std::vector<ServerAddress>> servers;

  std::optional<std::string> cached(const std::string& service) {
    std::lock_guard lock(mutex);
    auto it = tokens.find(service);
    return it == tokens.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  size_t preferredOf(const std::string& service) {
    std::lock_guard lock(mutex);
    auto it = preferred.find(service);
    return it == preferred.end() ? 0 : it->second;
  }
  void prefer(const std::string& service, size_t index) {
    std::lock_guard lock(mutex);
    preferred[service] = index;
  }

  std::unique_ptr<httplib::Client> client(const ServerAddress& where) const {
    auto c = std::make_unique<httplib::Client>(where.url());
    c->set_keep_alive(true);
    // Without it, small requests on a kept-alive connection wait for the delayed ACK.
    c->set_tcp_nodelay(true);
    // Replies are small and mostly on a local network: compressing them costs more CPU than
    // the bytes it saves.
    c->set_decompress(false);
    c->set_connection_timeout(5, 0);
    c->set_read_timeout(120, 0);
    if (!caCertFile.empty()) c->set_ca_cert_path(caCertFile.c_str());
    return c;
  }

  enum class Login { Done, Refused, Unreachable };
  /// Logs in on `client`; the new token replaces the cached one. The reason in `error`.
  Login login(httplib::Client& client, const std::string& url, const std::string& service,
              std::string& token, std::string& error) {
    nlohmann::json body{{"operator", operatorCode}, {"password", password}};
    auto res = client.Post(kLoginPath, body.dump(), "application/json");
    if (!res) {
      error = fmt::format("{} não responde ({})", url, why(res.error()));
      return neverDelivered(res.error()) ? Login::Unreachable : Login::Refused;
    }
    try {
      nlohmann::json reply = nlohmann::json::parse(res->body);
      if (res->status != 200 || !reply.contains("token")) {
        error = fmt::format(
            "{} recusou o login de \"{}\": {}", url, operatorCode,
            reply.value("text", reply.value("key", std::string("sem motivo informado"))));
        // A server too busy to take the login is as good as absent: another may take it.
        return res->status == 503 ? Login::Unreachable : Login::Refused;
      }
      token = reply["token"].get<std::string>();
      std::lock_guard lock(mutex);
      tokens[service] = token;
      return Login::Done;
    } catch (const std::exception& e) {
      error = fmt::format("{} respondeu o login de forma ilegível: {}", url, e.what());
      return Login::Refused;
    }
  }
};

namespace {

class HttpTransport final : public Transport {
 public:
  HttpTransport(std::shared_ptr<HttpTransportFactory::Sessions> sessions, std::string service,
                std::vector<ServerAddress> servers, size_t current,
                std::unique_ptr<httplib::Client> client, std::string token)
      : sessions_(std::move(sessions)),
        service_(std::move(service)),
        servers_(std::move(servers)),
        current_(current),
        client_(std::move(client)),
        token_(std::move(token)) {}

  Reply send(const Request& request) override {
    std::string body;
    try {
      body = writeRequest(request);
    } catch (const std::exception& e) {
      return Reply::refused("ARG_INVALIDO", e.what());
    }
    std::string unreachable;
    for (size_t tried = 0; tried < servers_.size(); ++tried) {
      if (!client_) client_ = sessions_->client(servers_[current_]);
      const std::string url = servers_[current_].url();
      auto res = post(body);
      // A session this server does not know (it expired, or the server restarted without
      // a shared database): the one another connection logged in with meanwhile, else a new
      // login here, and the call once more.
      if (res && res->status == 401) {
        auto cached = sessions_->cached(service_);
        if (cached && *cached != token_) {
          token_ = *cached;
          res = post(body);
        }
      }
      if (res && res->status == 401) {
        std::string error;
        const auto done = sessions_->login(*client_, url, service_, token_, error);
        if (done == HttpTransportFactory::Sessions::Login::Refused)
          return Reply::transportFailed(error);
        if (done == HttpTransportFactory::Sessions::Login::Unreachable) {
          unreachable += (unreachable.empty() ? "" : "; ") + error;
          nextServer();
          continue;
        }
        res = post(body);
      }
      if (!res) {
        const std::string error = fmt::format("{} não responde ({})", url, why(res.error()));
        if (neverDelivered(res.error()) && servers_.size() > 1) {
          unreachable += (unreachable.empty() ? "" : "; ") + error;
          nextServer();
          continue;
        }
        return Reply::transportFailed(error);
      }
      sessions_->prefer(service_, current_);
      try {
        return readReply(res->body);
      } catch (const std::exception& e) {
        return Reply::transportFailed(
            fmt::format("{} respondeu HTTP {} de forma ilegível: {}", url, res->status, e.what()));
      }
    }
    return Reply::transportFailed("nenhum servidor do serviço responde: " + unreachable);
  }

 private:
  httplib::Result post(const std::string& body) {
    httplib::Headers headers{{kTokenHeader, token_}};
    return client_->Post(kCallPath, headers, body, "application/json");
  }
  void nextServer() {
    current_ = (current_ + 1) % servers_.size();
    client_.reset();
  }

  std::shared_ptr<HttpTransportFactory::Sessions> sessions_;
  std::string service_;
  std::vector<ServerAddress> servers_;
  size_t current_;
  std::unique_ptr<httplib::Client> client_;
  std::string token_;
};

}  // namespace

HttpTransportFactory::HttpTransportFactory(std::string operatorCode, std::string password)
    : sessions_(std::make_shared<Sessions>()) {
  sessions_->operatorCode = std::move(operatorCode);
  sessions_->password = std::move(password);
}

HttpTransportFactory::~HttpTransportFactory() = default;

void HttpTransportFactory::setCaCertFile(std::string path) {
  std::lock_guard lock(sessions_->mutex);
  sessions_->caCertFile = std::move(path);
}

std::unique_ptr<Transport> HttpTransportFactory::open(const std::string& address, int port,
                                                      std::string& error) {
  std::vector<ServerAddress> servers;
  try {
    servers = ServerAddress::parseList(address, port);
  } catch (const std::exception& e) {
    error = e.what();
    return nullptr;
  }
  std::string service;
  for (const auto& s : servers) service += (service.empty() ? "" : ",") + s.url();
  {
    std::lock_guard lock(sessions_->mutex);
    sessions_->servers[service] = servers;
  }
  const size_t first = sessions_->preferredOf(service) % servers.size();
  std::string unreachable;
  for (size_t i = 0; i < servers.size(); ++i) {
    const size_t at = (first + i) % servers.size();
    auto client = sessions_->client(servers[at]);
    if (auto token = sessions_->cached(service))
      return std::make_unique<HttpTransport>(sessions_, service, servers, at, std::move(client),
                                             *token);
    std::string token, why;
    switch (sessions_->login(*client, servers[at].url(), service, token, why)) {
      case Sessions::Login::Done:
        sessions_->prefer(service, at);
        return std::make_unique<HttpTransport>(sessions_, service, servers, at, std::move(client),
                                               std::move(token));
      case Sessions::Login::Refused:
        error = why;
        return nullptr;
      case Sessions::Login::Unreachable:
        unreachable += (unreachable.empty() ? "" : "; ") + why;
        break;
    }
  }
  error = servers.size() == 1 ? unreachable : "nenhum servidor do serviço responde: " + unreachable;
  return nullptr;
}

void HttpTransportFactory::logout() {
  std::map<std::string, std::string> tokens;
  std::map<std::string, std::vector<ServerAddress>> servers;
  std::map<std::string, size_t> preferred;
  {
    std::lock_guard lock(sessions_->mutex);
    tokens.swap(sessions_->tokens);
    servers = sessions_->servers;
    preferred = sessions_->preferred;
  }
  for (const auto& [service, token] : tokens) {
    auto list = servers.find(service);
    if (list == servers.end() || list->second.empty()) continue;
    const auto& where = list->second[preferred[service] % list->second.size()];
    auto client = sessions_->client(where);
    client->set_connection_timeout(2, 0);
    client->set_read_timeout(5, 0);
    client->Post(kLogoutPath, httplib::Headers{{kTokenHeader, token}}, "", "application/json");
  }
}

}  // namespace remote
