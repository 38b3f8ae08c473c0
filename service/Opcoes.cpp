// The filter screens' saved options: one set per operator and screen, replaced whole at each
// save, so a set never mixes two saves.

#include <fmt/format.h>

#include "host/ClientDataset.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"

namespace service {

void registerOpcoes(Dispatcher& d) {
  // SalvaOpcoes(screen code, packet of NMCHAVE/TXVALOR): the operator's options of the screen.
  using namespace records::fld;
  d.on<rpc::SalvaOpcoes>([](CallContext& ctx, rpc::SalvaOpcoes& a) {
    const std::string& screen = a.CDTELA.value();
    if (screen.empty()) throw Refusal("ARG_INVALIDO", "o código da tela está vazio");
    host::ClientDataset rows("cdsOpcoes");
    try {
      rows.loadPacket(a.cdsOpcoes.value().packetJson());
    } catch (const std::exception& e) {
      throw Refusal("ARG_INVALIDO", fmt::format("pacote de opções malformado: {}", e.what()));
    }
    if (rows.fieldIndex(NMCHAVE) < 0 || rows.fieldIndex(TXVALOR) < 0) {
      throw Refusal("ARG_INVALIDO", "o pacote de opções precisa dos campos NMCHAVE e TXVALOR");
    }
    std::string op = ctx.operatorCode();
    ctx.sql() << "DELETE FROM OPCAOFILTRO WHERE CDOPERADOR = :o AND CDTELA = :t", soci::use(op),
        soci::use(screen);
    for (rows.first(); !rows.eof(); rows.next()) {
      std::string key = rows.valueOf(NMCHAVE).asString();
      std::string value = rows.valueOf(TXVALOR).asString();
      if (key.empty()) throw Refusal("ARG_INVALIDO", "uma opção sem chave");
      ctx.sql() << "INSERT INTO OPCAOFILTRO (CDOPERADOR, CDTELA, NMCHAVE, TXVALOR) "
                   "VALUES (:o, :t, :k, :v)",
          soci::use(op), soci::use(screen), soci::use(key), soci::use(value);
    }
    return remote::Variant(static_cast<int64_t>(rows.recordCount()));
  });
  // CarregaOpcoes(screen code): the operator's saved options (no rows: never saved).
  d.on<rpc::CarregaOpcoes>([](CallContext& ctx, rpc::CarregaOpcoes& a) {
    const std::string& screen = a.CDTELA.value();
    std::string op = ctx.operatorCode();
    soci::rowset<soci::row> rs =
        (ctx.sql().prepare << "SELECT NMCHAVE, TXVALOR FROM OPCAOFILTRO WHERE CDOPERADOR = :o "
                              "AND CDTELA = :t ORDER BY NMCHAVE",
         soci::use(op), soci::use(screen));
    return remote::Variant::packet(packetFromRows(rs, records::cdsOpcoes().fields()));
  });
}

}  // namespace service
