#include "remote/Connection.h"

#include "host/Context.h"
#include "host/Host.h"

namespace remote {

Arg Arg::ref(std::string& s) {
  Arg a{Variant(s)};
  a.target_ = &s;
  return a;
}

Arg Arg::ref(Variant& v) {
  Arg a(v);
  a.target_ = &v;
  return a;
}

void Arg::writeBack(const Variant& v) const {
  if (auto* s = std::get_if<std::string*>(&target_)) {
    **s = v.asString();
  } else if (auto* p = std::get_if<Variant*>(&target_)) {
    **p = v;
  }
}

Connection::Connection(std::string serverName, std::shared_ptr<TransportFactory> factory)
    : serverName_(std::move(serverName)), factory_(std::move(factory)) {}

void Connection::setFactory(std::shared_ptr<TransportFactory> factory) {
  disconnect();
  factory_ = std::move(factory);
}

bool Connection::connect() {
  if (transport_) return true;
  auto factory = factory_ ? factory_ : defaultTransportFactory();
  if (!factory) {
    lastError_ = "nenhuma forma de alcançar o serviço de aplicação foi configurada";
    return false;
  }
  std::string address;
  int port = 0;
  try {
    address = host::WebURL();
    port = host::WebPort();
  } catch (const std::exception& e) {
    lastError_ = std::string("o contexto não informa o endereço do serviço: ") + e.what();
    return false;
  }
  std::string error;
  transport_ = factory->open(address, port, error);
  lastError_ = transport_ ? std::string() : error;
  return transport_ != nullptr;
}

void Connection::disconnect() {
  transport_.reset();
}

Result Connection::call(const std::string& method, const std::vector<Arg>& args) {
  if (!transport_) {
    return Result{Reply::transportFailed("sem conexão com o serviço de aplicação" +
                                         (lastError_.empty() ? std::string() : ": " + lastError_))};
  }
  Request req;
  req.object = serverName_;
  req.method = method;
  if (!company_.empty()) {
    req.company = company_;
  } else {
    try {
      req.company = host::EmprProc();
    } catch (const std::exception&) {
      // A caller without a context (a tool, a test) works on no particular company.
    }
  }
  req.args.reserve(args.size());
  req.byRef.reserve(args.size());
  for (const auto& a : args) {
    req.args.push_back(a.value());
    req.byRef.push_back(a.byRef());
  }
  Result result{transport_->send(req)};
  // A service that went away, or forgot the session (restarted), leaves the connection down,
  // so that the next screen that finds it disconnected connects (and logs in) again.
  if (result.reply.failure == Failure::Transport || result.reply.key == "SESSAO_INVALIDA") {
    lastError_ = result.reply.text;
    transport_.reset();
  }
  if (result.reply.ok()) {
    for (const auto& [pos, value] : result.reply.refArgs) {
      if (pos < args.size() && args[pos].byRef()) args[pos].writeBack(value);
    }
  }
  return result;
}

std::shared_ptr<TransportFactory> defaultTransportFactory() {
  return host::installedHost().transport;
}

}  // namespace remote
