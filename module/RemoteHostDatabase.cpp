#include "module/RemoteHostDatabase.h"

#include <fmt/format.h>

#include "host/Errors.h"
#include "queries/DirectQueries.h"
#include "records/Methods.h"

namespace rec {

RemoteHostDatabase::RemoteHostDatabase(std::shared_ptr<remote::TransportFactory> factory)
    : conn_(rpc::kQuery, std::move(factory)) {}

std::unique_ptr<host::ClientDataset> RemoteHostDatabase::run(const std::string& name,
                                                             const host::QueryParams& params) {
  std::vector<remote::Variant> pairs;
  for (const auto& [n, v] : params)
    pairs.push_back(remote::Variant::array({remote::Variant(n), remote::Variant(v)}));
  if (!conn_.connected()) conn_.connect();
  remote::Variant packet = rpc::call(
      conn_, rpc::Consulta{.name = name, .parameters = remote::Variant::array(std::move(pairs))});
  auto ds = std::make_unique<host::ClientDataset>(name);
  ds->loadPacket(packet.packetJson());
  ds->first();
  return ds;
}

std::vector<std::string> RemoteHostDatabase::parameterNames(const std::string& name) const {
  const auto* q = queries::find(name);
  if (!q) throw host::OperationError(fmt::format("There is no direct query named {}.", name));
  return q->parameters;
}

}  // namespace rec
