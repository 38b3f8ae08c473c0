#pragma once
// The direct-query port answered by the application service: only the query's name and its
// parameter values travel; the service runs its own copy of the declaration.

#include <memory>
#include <string>

#include "host/HostDatabase.h"
#include "remote/Connection.h"

namespace rec {

class RemoteHostDatabase final : public host::HostDatabase {
 public:
  /// Reaches the "Host.rdmQuery" server object through `factory` (the process's default
  /// transport when null), connecting on first use.
  explicit RemoteHostDatabase(std::shared_ptr<remote::TransportFactory> factory = {});

  /// Refusals of the service arrive as host::ServiceError with its key
  /// ("CONSULTA_DESCONHECIDA", "CONSULTA_PARAMETRO", ...); a dead connection as
  /// host::OperationError.
  std::unique_ptr<host::ClientDataset> run(const std::string& name,
                                           const host::QueryParams& params) override;
  /// From the module's copy of the declarations, without a call.
  std::vector<std::string> parameterNames(const std::string& name) const override;

 private:
  remote::Connection conn_;
};

}  // namespace rec
