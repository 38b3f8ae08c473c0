#pragma once
// The host's context with its access answer taken from the service: the service keeps the
// operators and the companies each may use.

#include <memory>
#include <mutex>

#include "host/Context.h"
#include "remote/Connection.h"

namespace rec {

/// Answers everything from `base` except `AcessoOperEmpresa`, which asks the service's
/// "Host.rdmAcesso" object through the process's default transport (or `factory`). A service
/// that cannot be reached answers no.
class ServiceContext final : public host::Context {
 public:
  explicit ServiceContext(std::shared_ptr<host::Context> base,
                          std::shared_ptr<remote::TransportFactory> factory = {});

  std::string EmprProc() const override { return base_->EmprProc(); }
  std::string FiliProc() const override { return base_->FiliProc(); }
  bool ModuFili() const override { return base_->ModuFili(); }
  host::DateTime DataProc(const std::string& branch = {}) const override {
    return base_->DataProc(branch);
  }
  std::string Operador() const override { return base_->Operador(); }
  std::string ReportDir() const override { return base_->ReportDir(); }
  int WebPort() const override { return base_->WebPort(); }
  std::string WebURL() const override { return base_->WebURL(); }
  bool AcessoOperEmpresa(const std::string& oper, const std::string& company) const override;
  bool DtProcBloq(const std::string& module, const std::string& oper,
                  const host::DateTime& date) const override {
    return base_->DtProcBloq(module, oper, date);
  }
  std::string DispositivoSerial() const override { return base_->DispositivoSerial(); }
  std::string LogDir() const override { return base_->LogDir(); }
  std::string PackageDir() const override { return base_->PackageDir(); }

 private:
  std::shared_ptr<host::Context> base_;
  mutable std::mutex mutex_;
  mutable remote::Connection conn_;
};

}  // namespace rec
