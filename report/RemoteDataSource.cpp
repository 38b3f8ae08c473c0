#include "report/RemoteDataSource.h"

#include <fmt/format.h>

#include "host/ClientDataset.h"
#include "host/Errors.h"
#include "records/Methods.h"

namespace report {

namespace {

/// Opens transports at the address the report was given, whatever the context says by then.
class FixedAddress final : public remote::TransportFactory {
 public:
  FixedAddress(std::shared_ptr<remote::TransportFactory> base, std::string host, int port)
      : base_(std::move(base)), host_(std::move(host)), port_(port) {}
  std::unique_ptr<remote::Transport> open(const std::string&, int, std::string& error) override {
    if (!base_) {
      error = "nenhum meio de acesso ao serviço foi configurado";
      return nullptr;
    }
    return base_->open(host_, port_, error);
  }

 private:
  std::shared_ptr<remote::TransportFactory> base_;
  std::string host_;
  int port_;
};

}  // namespace

DataTable tableFromPacket(const nlohmann::json& packet) {
  host::ClientDataset ds("report");
  ds.loadPacket(packet);
  DataTable t;
  for (const auto& f : ds.fieldDefs()) t.fields.push_back(f.name);
  t.rows.reserve(ds.recordCount());
  for (size_t r = 1; r <= ds.recordCount(); ++r) {
    std::vector<host::Value> row;
    row.reserve(t.fields.size());
    for (const auto& f : t.fields) row.push_back(ds.valueAt(r, f));
    t.rows.push_back(std::move(row));
  }
  return t;
}

RemoteDataSource::RemoteDataSource(std::shared_ptr<remote::TransportFactory> factory)
    : factory_(std::move(factory)), connection_(rpc::kQRDesign) {}

void RemoteDataSource::open(const std::string& host, int port) {
  connection_.disconnect();
  auto base = factory_ ? factory_ : remote::defaultTransportFactory();
  connection_.setFactory(std::make_shared<FixedAddress>(std::move(base), host, port));
  if (!connection_.connect())
    throw host::OperationError(fmt::format("Não foi possível conectar ao serviço de relatórios "
                                           "em {}:{}: {}",
                                           host, port, connection_.lastError()),
                               "SEM_CONEXAO");
}

void RemoteDataSource::close() noexcept {
  connection_.disconnect();
}

DataTable RemoteDataSource::fetch(const std::string& dataset,
                                  const std::vector<DataBinding>& bindings) {
  if (!connection_.connected())
    throw host::OperationError(
        fmt::format("Conexão de dados fechada ao ler o conjunto {}", dataset), "SEM_CONEXAO");
  std::vector<remote::Variant> pairs;
  pairs.reserve(bindings.size());
  for (const auto& b : bindings)
    pairs.push_back(remote::Variant::array({remote::Variant(b.name), remote::Variant(b.value)}));
  remote::Variant result;
  try {
    result = rpc::call(
        connection_,
        rpc::GetDataSet{.DATASET = dataset, .bindings = remote::Variant::array(std::move(pairs))});
  } catch (const host::ServiceError& e) {
    if (e.key() == "DATASET_DESCONHECIDO")
      throw host::OperationError(
          fmt::format("O serviço não conhece o conjunto de dados {}", dataset), e.key());
    throw host::OperationError(fmt::format("O serviço recusou o conjunto de dados {}: {}", dataset,
                                           e.detail().empty() ? e.key() : e.detail()),
                               e.key());
  } catch (const host::OperationError& e) {
    throw host::OperationError(
        fmt::format("Falha ao ler o conjunto de dados {}: {}", dataset, e.what()), e.key());
  }
  try {
    return tableFromPacket(result.packetJson());
  } catch (const std::invalid_argument& e) {
    throw host::OperationError(
        fmt::format("O serviço devolveu o conjunto de dados {} ilegível: {}", dataset, e.what()));
  }
}

}  // namespace report
