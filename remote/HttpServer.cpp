#include "remote/HttpServer.h"

#include <fmt/format.h>
#include <httplib.h>

#include <stdexcept>

#include "remote/Transports.h"

namespace remote {

using nlohmann::json;

struct HttpServer::Impl {
  std::shared_ptr<Handler> handler;
  std::shared_ptr<Authenticator> auth;
  std::unique_ptr<httplib::Server> owned;
  httplib::Server& server() { return *owned; }
};

namespace {
void reply(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump(), "application/json");
}
}  // namespace

HttpServer::HttpServer(std::shared_ptr<Handler> handler, std::shared_ptr<Authenticator> auth)
    : d_(std::make_unique<Impl>()) {
  d_->handler = std::move(handler);
  d_->auth = std::move(auth);
  d_->owned = std::make_unique<httplib::Server>();
  install();
}

HttpServer::HttpServer(std::shared_ptr<Handler> handler, std::shared_ptr<Authenticator> auth,
                       const std::string& certFile, const std::string& keyFile)
    : d_(std::make_unique<Impl>()) {
  d_->handler = std::move(handler);
  d_->auth = std::move(auth);
  auto tls = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
  if (!tls->is_valid())
    throw std::runtime_error(
        fmt::format("cannot serve HTTPS with certificate {} and key {}", certFile, keyFile));
  d_->owned = std::move(tls);
  install();
}

void HttpServer::install() {
  Impl* d = d_.get();
  d->server().set_tcp_nodelay(true);
  // The largest call is a packet of a few hundred thousand boleto rows; anything beyond this
  // is refused before it is read into memory.
  d->server().set_payload_max_length(size_t{256} << 20);

  d->server().Post(kLoginPath, [d](const httplib::Request& req, httplib::Response& res) {
    try {
      json body = json::parse(req.body);
      auto token = d->auth->login(body.at("operator").get<std::string>(),
                                  body.at("password").get<std::string>());
      if (!token) {
        reply(res, 401, {{"key", "LOGIN_INVALIDO"}, {"text", "wrong operator or password"}});
        return;
      }
      reply(res, 200, {{"token", *token}});
    } catch (const std::exception& e) {
      reply(res, 400, {{"key", "LOGIN_INVALIDO"}, {"text", e.what()}});
    }
  });

  d->server().Post(kCallPath, [d](const httplib::Request& req, httplib::Response& res) {
    auto op = d->auth->operatorOf(req.get_header_value(kTokenHeader));
    if (!op) {
      reply(res, 401,
            encodeReply(
                Reply::refused("SESSAO_INVALIDA", "the call carries no valid session token")));
      return;
    }
    Request call;
    try {
      call = decodeRequest(json::parse(req.body));
    } catch (const std::exception& e) {
      reply(
          res, 400,
          encodeReply(Reply::refused("ARG_INVALIDO", fmt::format("malformed call: {}", e.what()))));
      return;
    }
    Reply r;
    try {
      r = d->handler->handle(*op, call);
    } catch (const std::exception& e) {
      r = Reply::refused("ERRO_SERVICO", e.what());
    }
    std::string out;
    try {
      out = writeReply(r);
    } catch (const std::exception& e) {
      out = writeReply(Reply::refused("ERRO_SERVICO", e.what()));
    }
    res.status = 200;
    res.set_content(std::move(out), "application/json");
  });
}

HttpServer::~HttpServer() {
  stop();
}

int HttpServer::bind(const std::string& address, int port) {
  int bound = port == 0 ? d_->server().bind_to_any_port(address)
                        : (d_->server().bind_to_port(address, port) ? port : -1);
  if (bound <= 0) throw std::runtime_error(fmt::format("cannot listen on {}:{}", address, port));
  return bound;
}

void HttpServer::serve() {
  d_->server().listen_after_bind();
}

void HttpServer::stop() {
  if (d_) d_->server().stop();
}

}  // namespace remote
