#include "remote/HttpServer.h"

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <httplib.h>

#include <stdexcept>

#include "remote/ServerSockets.h"
#include "remote/Transports.h"

namespace remote {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

struct HttpServer::Impl {
  std::shared_ptr<Handler> handler;
  std::shared_ptr<Authenticator> auth;
  ServerOptions options;
  std::unique_ptr<sockets::GuardedServer> server;

  // One line per call: when, from where, who, what, how long, and how it ended.
  void log(const std::string& address, const std::string& op, const std::string& what,
           Clock::time_point started, const std::string& key) const {
    if (!options.log) return;
    const auto ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    const auto now =
        std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
    options.log(fmt::format("{:%Y-%m-%dT%H:%M:%S}Z {} {} {} {:.1f}ms {}", now, address,
                            op.empty() ? "-" : op, what, ms, key.empty() ? "OK" : key));
  }
};

namespace {

// A body that can always be written: a text that is not UTF-8 is mended, never a reason to
// fail the answer.
std::string text(const json& body) {
  return body.dump(-1, ' ', false, json::error_handler_t::replace);
}

void reply(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(text(body), "application/json");
}

json refusal(const std::string& key, const std::string& why) {
  return encodeReply(Reply::refused(key, why));
}

}  // namespace

HttpServer::HttpServer(std::shared_ptr<Handler> handler, std::shared_ptr<Authenticator> auth,
                       ServerOptions options)
    : d_(std::make_unique<Impl>()) {
  d_->handler = std::move(handler);
  d_->auth = std::move(auth);
  d_->options = std::move(options);
  Impl* d = d_.get();
  d->server = std::make_unique<sockets::GuardedServer>(
      d->options.limits, [d](const sockets::Head& head, const std::string&) {
        sockets::Verdict v;
        const ServerLimits& limits = d->options.limits;
        if (head.method == "GET" && head.path == kHealthPath) return v;
        if (head.method == "POST" && head.path == kLoginPath) {
          v.bodyLimit = limits.loginBody;
          return v;
        }
        if (head.method == "POST" && (head.path == kCallPath || head.path == kLogoutPath)) {
          // The session is known before a byte of the body is read: without one, the body
          // is never read at all.
          auto op = head.token.empty() ? std::nullopt : d->auth->operatorOf(head.token);
          if (!op) {
            v.status = 401;
            v.body = text(
                refusal("SESSAO_INVALIDA", "A chamada não traz uma sessão válida: entre de novo."));
            return v;
          }
          v.loggedIn = true;
          v.operatorCode = *op;
          v.bodyLimit = head.path == kCallPath ? limits.callBody : limits.loginBody;
          return v;
        }
        v.status = 404;
        v.body = text(refusal("METODO_DESCONHECIDO",
                              fmt::format("O serviço não atende {} {}.", head.method, head.path)));
        return v;
      });
  if (!d->options.certFile.empty() || !d->options.keyFile.empty())
    d->server->useTls(d->options.certFile, d->options.keyFile);
  install();
}

HttpServer::HttpServer(std::shared_ptr<Handler> handler, std::shared_ptr<Authenticator> auth,
                       const std::string& certFile, const std::string& keyFile)
    : HttpServer(std::move(handler), std::move(auth), [&] {
        ServerOptions o;
        o.certFile = certFile;
        o.keyFile = keyFile;
        return o;
      }()) {}

void HttpServer::install() {
  Impl* d = d_.get();
  httplib::Server& server = *d->server;

  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        reply(res, 500, refusal("ERRO_SERVICO", "O serviço falhou ao atender a chamada."));
      });

  server.Get(kHealthPath, [d](const httplib::Request&, httplib::Response& res) {
    const std::string trouble = d->options.health ? d->options.health() : std::string();
    if (trouble.empty()) {
      reply(res, 200, {{"status", "ok"}});
    } else {
      reply(res, 503, {{"status", "erro"}, {"text", trouble}});
    }
  });

  server.Post(kLoginPath, [d](const httplib::Request& req, httplib::Response& res) {
    const auto started = Clock::now();
    LoginAttempt attempt;
    attempt.address = req.remote_addr;
    try {
      const json body = parseMessage(req.body);
      if (!body.is_object() || !body.contains("operator") || !body.contains("password") ||
          !body["operator"].is_string() || !body["password"].is_string())
        throw std::invalid_argument("o login leva \"operator\" e \"password\"");
      attempt.operatorCode = body["operator"].get<std::string>();
      attempt.password = body["password"].get<std::string>();
    } catch (const std::exception& e) {
      reply(res, 400, {{"key", "LOGIN_INVALIDO"}, {"text", e.what()}});
      d->log(attempt.address, "", "login", started, "LOGIN_INVALIDO");
      return;
    }
    LoginOutcome out = d->auth->login(attempt);
    if (!out.token) {
      const std::string key = out.key.empty() ? "LOGIN_INVALIDO" : out.key;
      reply(res, 401,
            {{"key", key}, {"text", out.text.empty() ? "Operador ou senha inválidos." : out.text}});
      d->log(attempt.address, attempt.operatorCode, "login", started, key);
      return;
    }
    reply(res, 200, {{"token", *out.token}});
    sockets::sessionOpened();
    d->log(attempt.address, attempt.operatorCode, "login", started, "");
  });

  server.Post(kLogoutPath, [d](const httplib::Request& req, httplib::Response& res) {
    const auto started = Clock::now();
    d->auth->logout(req.get_header_value(kTokenHeader));
    reply(res, 200, {{"ok", true}});
    d->log(req.remote_addr, sockets::currentOperator(), "logout", started, "");
  });

  server.Post(kCallPath, [d](const httplib::Request& req, httplib::Response& res) {
    const auto started = Clock::now();
    const std::string& op = sockets::currentOperator();
    Request call;
    try {
      call = readRequest(req.body);
    } catch (const std::exception& e) {
      reply(res, 400, refusal("ARG_INVALIDO", fmt::format("Chamada malformada: {}", e.what())));
      d->log(req.remote_addr, op, "?", started, "ARG_INVALIDO");
      return;
    }
    Reply r;
    try {
      r = d->handler->handle(op, call);
    } catch (const std::exception& e) {
      r = Reply::refused("ERRO_SERVICO", e.what());
    }
    std::string out;
    try {
      out = writeReply(r);
    } catch (const std::exception& e) {
      r = Reply::refused("ERRO_SERVICO", fmt::format("A resposta de {} não pôde ser escrita: {}",
                                                     call.method, e.what()));
      out = text(encodeReply(r));
    }
    res.status = 200;
    res.set_content(std::move(out), "application/json");
    d->log(req.remote_addr, op, call.object + "." + call.method, started, r.ok() ? "" : r.key);
  });
}

HttpServer::~HttpServer() {
  stop();
}

int HttpServer::bind(const std::string& address, int port) {
  int bound = port == 0 ? d_->server->bind_to_any_port(address)
                        : (d_->server->bind_to_port(address, port) ? port : -1);
  if (bound <= 0) throw std::runtime_error(fmt::format("cannot listen on {}:{}", address, port));
  return bound;
}

void HttpServer::serve() {
  d_->server->listen_after_bind();
}

void HttpServer::stop() {
  if (!d_) return;
  d_->server->halt();
  d_->server->stop();
}

size_t HttpServer::openConnections() const {
  return d_->server->openConnections();
}

size_t HttpServer::anonymousConnections() const {
  return d_->server->anonymousConnections();
}

}  // namespace remote
