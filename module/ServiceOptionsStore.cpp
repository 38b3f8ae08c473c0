#include "module/ServiceOptionsStore.h"

#include "host/ClientDataset.h"
#include "records/Methods.h"
#include "records/Tables.h"

namespace rec {

ServiceOptionsStore::ServiceOptionsStore(std::shared_ptr<remote::TransportFactory> factory)
    : conn_(rpc::kOpcoes, std::move(factory)) {}

void ServiceOptionsStore::save(const std::string& /*oper*/, const std::string& screenCode,
                               const std::map<std::string, std::string>& options) {
  using namespace records::fld;
  host::ClientDataset rows("cdsOpcoes");
  rows.setFieldDefs(records::cdsOpcoes().fields());
  rows.createDataset();
  for (const auto& [key, value] : options) {
    rows.append();
    rows.fieldByName(NMCHAVE).setString(key);
    rows.fieldByName(TXVALOR).setString(value);
    rows.post();
  }
  if (!conn_.connected()) conn_.connect();
  rpc::call(conn_, rpc::SalvaOpcoes{.CDTELA = screenCode,
                                    .cdsOpcoes = remote::Variant::packet(rows.toPacket())});
}

std::optional<std::map<std::string, std::string>> ServiceOptionsStore::load(
    const std::string& /*oper*/, const std::string& screenCode) {
  if (!conn_.connected()) conn_.connect();
  remote::Variant packet = rpc::call(conn_, rpc::CarregaOpcoes{.CDTELA = screenCode});
  host::ClientDataset rows("cdsOpcoes");
  rows.loadPacket(packet.packetJson());
  if (rows.isEmpty()) return std::nullopt;
  std::map<std::string, std::string> out;
  for (rows.first(); !rows.eof(); rows.next()) {
    out[rows.valueOf(records::fld::NMCHAVE).asString()] =
        rows.valueOf(records::fld::TXVALOR).asString();
  }
  return out;
}

}  // namespace rec
