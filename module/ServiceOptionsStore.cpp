#include "module/ServiceOptionsStore.h"

#include "host/ClientDataset.h"

namespace rec {

ServiceOptionsStore::ServiceOptionsStore(std::shared_ptr<remote::TransportFactory> factory)
    : conn_("Host.rdmOpcoes", std::move(factory)) {}

void ServiceOptionsStore::save(const std::string& /*oper*/, const std::string& screenCode,
                               const std::map<std::string, std::string>& options) {
  host::ClientDataset rows("cdsOpcoes");
  rows.setFieldDefs({{.name = "NMCHAVE", .type = host::FieldType::String, .size = 60},
                     {.name = "TXVALOR", .type = host::FieldType::Memo}});
  rows.createDataset();
  for (const auto& [key, value] : options) {
    rows.append();
    rows.fieldByName("NMCHAVE").setString(key);
    rows.fieldByName("TXVALOR").setString(value);
    rows.post();
  }
  if (!conn_.connected()) conn_.connect();
  remote::CheckResultServ(
      conn_.call("SalvaOpcoes", {screenCode, remote::Variant::packet(rows.toPacket())}));
}

std::optional<std::map<std::string, std::string>> ServiceOptionsStore::load(
    const std::string& /*oper*/, const std::string& screenCode) {
  if (!conn_.connected()) conn_.connect();
  remote::Variant packet = remote::CheckResultServ(conn_.call("CarregaOpcoes", {screenCode}));
  host::ClientDataset rows("cdsOpcoes");
  rows.loadPacket(packet.packetJson());
  if (rows.isEmpty()) return std::nullopt;
  std::map<std::string, std::string> out;
  for (rows.first(); !rows.eof(); rows.next()) {
    out[rows.valueOf("NMCHAVE").asString()] = rows.valueOf("TXVALOR").asString();
  }
  return out;
}

}  // namespace rec
