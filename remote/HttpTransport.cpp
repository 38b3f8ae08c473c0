#include <stdexcept>

#include <fmt/format.h>
#include <httplib.h>

#include "remote/Transports.h"

namespace remote {

using nlohmann::json;

std::string ServerAddress::url() const { return fmt::format("{}://{}:{}", scheme, host, port); }

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

namespace {

class HttpTransport final : public Transport {
 public:
  HttpTransport(std::unique_ptr<httplib::Client> client, std::string where, std::string token)
      : client_(std::move(client)), where_(std::move(where)), token_(std::move(token)) {}

  Reply send(const Request& request) override {
    std::string body;
    try {
      body = writeRequest(request);
    } catch (const std::exception& e) {
      return Reply::refused("ARG_INVALIDO", e.what());
    }
    httplib::Headers headers{{kTokenHeader, token_}};
    auto res = client_->Post(kCallPath, headers, body, "application/json");
    if (!res) {
      return Reply::transportFailed(
          fmt::format("{} does not answer ({})", where_, httplib::to_string(res.error())));
    }
    try {
      return readReply(res->body);
    } catch (const std::exception& e) {
      return Reply::transportFailed(
          fmt::format("{} answered HTTP {} with an unreadable reply: {}", where_, res->status,
                      e.what()));
    }
  }

 private:
  std::unique_ptr<httplib::Client> client_;
  std::string where_;
  std::string token_;
};

}  // namespace

HttpTransportFactory::HttpTransportFactory(std::string operatorCode, std::string password)
    : operatorCode_(std::move(operatorCode)), password_(std::move(password)) {}

std::unique_ptr<Transport> HttpTransportFactory::open(const std::string& address, int port,
                                                      std::string& error) {
  ServerAddress where;
  try {
    where = ServerAddress::parse(address, port);
  } catch (const std::exception& e) {
    error = e.what();
    return nullptr;
  }
  auto client = std::make_unique<httplib::Client>(where.url());
  client->set_keep_alive(true);
  // Without it, small requests on a kept-alive connection wait for the delayed ACK.
  client->set_tcp_nodelay(true);
  // Replies are small and mostly on a local network: compressing them costs more CPU than
  // the bytes it saves.
  client->set_decompress(false);
  client->set_connection_timeout(5, 0);
  client->set_read_timeout(120, 0);
  json login{{"operator", operatorCode_}, {"password", password_}};
  auto res = client->Post(kLoginPath, login.dump(), "application/json");
  if (!res) {
    error = fmt::format("{} does not answer ({})", where.url(), httplib::to_string(res.error()));
    return nullptr;
  }
  try {
    json reply = json::parse(res->body);
    if (res->status != 200 || !reply.contains("token")) {
      error = fmt::format("{} refused the login of \"{}\": {}", where.url(), operatorCode_,
                          reply.value("text", reply.value("key", std::string("no reason given"))));
      return nullptr;
    }
    return std::make_unique<HttpTransport>(std::move(client), where.url(),
                                           reply["token"].get<std::string>());
  } catch (const std::exception& e) {
    error = fmt::format("{} answered the login with an unreadable reply: {}", where.url(), e.what());
    return nullptr;
  }
}

}  // namespace remote
