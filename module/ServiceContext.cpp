#include "module/ServiceContext.h"

#include "host/Errors.h"
#include "records/Methods.h"

namespace rec {

ServiceContext::ServiceContext(std::shared_ptr<host::Context> base,
                               std::shared_ptr<remote::TransportFactory> factory)
    : base_(std::move(base)), conn_(rpc::kAcesso, std::move(factory)) {}

bool ServiceContext::AcessoOperEmpresa(const std::string& oper, const std::string& company) const {
  std::lock_guard lock(mutex_);
  if (!conn_.connected()) conn_.connect();
  try {
    return rpc::call(conn_, rpc::AcessoOperEmpresa{.CDOPERADOR = oper, .CDEMPRESA = company})
        .asBoolean();
  } catch (const host::OperationError&) {
    // Access that cannot be confirmed is access refused.
    return false;
  }
}

}  // namespace rec
