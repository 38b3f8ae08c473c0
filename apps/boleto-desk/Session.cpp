#include "apps/boleto-desk/Session.h"

#include <stdexcept>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "host/HostDatabase.h"
#include "module/RemoteHostDatabase.h"
#include "module/ServiceContext.h"
#include "remote/Transports.h"
#include "service/Service.h"

namespace desk {

Session::Session(ServiceOptions options) : options_(std::move(options)) {
  if (!options_.server.empty()) {
    remote::ServerAddress::parse(options_.server, 8211);  // refuses a malformed address now
    return;
  }
  auto opened =
      service::openEmbeddedService(options_.db, host::installedHost().clock, !options_.dbNamed);
  embedded_ = opened.service;
  demoPassword_ = opened.demoPassword;
}

Session::~Session() = default;

std::string Session::login(const Login& in) {
  Login who = in;
  who.company = host::Ajusta(in.company, 2);
  who.branch = host::Ajusta(in.branch, 4);
  if (who.operatorCode.empty()) return "Informe o operador.";

  host::ContextSettings settings = options_.context;
  settings.operatorCode = who.operatorCode;
  settings.company = who.company;
  settings.branch = who.branch;

  std::shared_ptr<remote::TransportFactory> transport;
  if (embedded_) {
    if (!embedded_->auth->login(who.operatorCode, who.password)) {
      return "Operador ou senha inválidos.";
    }
    transport = std::make_shared<remote::InProcessTransportFactory>(embedded_->dispatcher,
                                                                    who.operatorCode);
  } else {
    auto where = remote::ServerAddress::parse(options_.server, 8211);
    settings.webUrl = where.scheme == "https" ? "https://" + where.host : where.host;
    settings.webPort = where.port;
    auto http = std::make_shared<remote::HttpTransportFactory>(who.operatorCode, who.password);
    if (!options_.caCert.empty()) http->setCaCertFile(options_.caCert);
    std::string error;
    // Connecting logs in: a refused password or a dead server is known at once.
    if (!http->open(settings.webUrl, settings.webPort, error)) return error;
    transport = http;
  }

  auto context = std::make_shared<rec::ServiceContext>(
      std::make_shared<host::ConfiguredContext>(settings), transport);
  // The connections take the service's address from the process's context when they
  // connect: this login's context is installed while it is checked.
  host::Host ports = host::installedHost();
  ports.context = context;
  host::HostScope checking(ports);
  rec::RemoteHostDatabase queries(transport);
  try {
    const host::QueryParams company{{"P_CDEMPRESA", host::Value(who.company)},
                                    {"P_TCDEMPRESA", host::Value("N")}};
    if (queries.run("qryEmpresa", company)->isEmpty()) return "Empresa não cadastrada";
    if (!context->AcessoOperEmpresa(who.operatorCode, who.company)) {
      return "Empresa não relacionada ao operador logado.";
    }
    auto branches = queries.run("qryFilial", {});
    if (!branches->locate("CDFILIAL", {host::Value(who.branch)})) return "Filial não cadastrada";
  } catch (const host::ServiceError& e) {
    return e.detail().empty() ? e.key() : e.detail();
  } catch (const host::OperationError& e) {
    return e.what();
  }
  user_ = who;
  context_ = std::move(context);
  transport_ = std::move(transport);
  return {};
}

}  // namespace desk
