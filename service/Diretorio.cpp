// The directory an operator exports the generated text files to, kept per operator and
// program so that the next generation proposes it again.

#include <fmt/format.h>

#include "host/ClientDataset.h"
#include "host/Consiste.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"

namespace service {

void registerDiretorio(Dispatcher& d) {
  using namespace records::fld;
  d.on<rpc::GetDiretorio>([](CallContext& ctx, rpc::GetDiretorio&) {
    std::string op = ctx.operatorCode();
    soci::rowset<soci::row> rs =
        (ctx.sql().prepare << "SELECT CDPROGRAMA, DSDIRETORIO FROM DIRETORIOOPER "
                              "WHERE CDOPERADOR = :o ORDER BY CDPROGRAMA",
         soci::use(op));
    return remote::Variant::packet(packetFromRows(rs, records::cdsDiretorio().fields()));
  });
  // The packet's rows as they stand replace the operator's saved ones of the same program;
  // a deleted row forgets that program's directory.
  d.on<rpc::SetDiretorio>([](CallContext& ctx, rpc::SetDiretorio& a) {
    host::ClientDataset rows("cdsDiretorio");
    try {
      rows.loadPacket(a.cdsDiretorio.value().packetJson());
    } catch (const std::exception& e) {
      throw Refusal("ARG_INVALIDO", fmt::format("pacote de diretório malformado: {}", e.what()));
    }
    if (rows.fieldIndex(CDPROGRAMA) < 0 || rows.fieldIndex(DSDIRETORIO) < 0)
      throw Refusal("ARG_INVALIDO", "o pacote de diretório precisa de CDPROGRAMA e DSDIRETORIO");
    std::string op = ctx.operatorCode();
    int64_t saved = 0;
    for (rows.first(); !rows.eof(); rows.next()) {
      std::string program = host::AllTrim(rows.valueOf(CDPROGRAMA).asString());
      std::string dir = rows.valueOf(DSDIRETORIO).asString();
      if (program.empty()) throw Refusal("ARG_INVALIDO", "um diretório sem o código do programa");
      if (program.size() > CDPROGRAMA.width() || dir.size() > DSDIRETORIO.width())
        throw Refusal("ARG_TAMANHO",
                      fmt::format("o diretório tem mais de {} caracteres", DSDIRETORIO.width()));
      ctx.sql() << "DELETE FROM DIRETORIOOPER WHERE CDOPERADOR = :o AND CDPROGRAMA = :p",
          soci::use(op), soci::use(program);
      ctx.sql() << "INSERT INTO DIRETORIOOPER (CDOPERADOR, CDPROGRAMA, DSDIRETORIO) "
                   "VALUES (:o, :p, :d)",
          soci::use(op), soci::use(program), soci::use(dir);
      ++saved;
    }
    return remote::Variant(saved);
  });
}

}  // namespace service
