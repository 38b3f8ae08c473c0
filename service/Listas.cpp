// Selection lists: named lists of boleto keys that batch work refers to by number.

#include <fmt/format.h>

#include "host/DateTime.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"
#include "service/Sequences.h"

namespace service {

namespace {

constexpr int kListaSize = records::fld::NRLISTA.size;
constexpr int kCdListaSize = records::fld::CDLISTA.size;

/// The CDLISTA values of a packet with a CDLISTA field; refused when it has none or a value
/// is too long.
std::vector<std::string> keysOf(const nlohmann::json& packet) {
  const auto& fields = packet.at("fields");
  int column = -1;
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].at("name") == "CDLISTA") column = static_cast<int>(i);
  if (column < 0) throw Refusal("ARG_INVALIDO", "o pacote da lista não tem o campo CDLISTA");
  std::vector<std::string> keys;
  for (const auto& row : packet.at("rows")) {
    const auto& v = row.at(static_cast<size_t>(column));
    if (v.is_null()) continue;
    if (!v.is_string()) throw Refusal("ARG_TIPO", "os valores de CDLISTA devem ser textos");
    std::string key = v.get<std::string>();
    if (key.size() > static_cast<size_t>(kCdListaSize))
      throw Refusal("ARG_TAMANHO",
                    fmt::format("CDLISTA \"{}\" tem mais de {} caracteres", key, kCdListaSize));
    keys.push_back(std::move(key));
  }
  return keys;
}

}  // namespace

void registerListas(Dispatcher& d) {
  // CriaLista(packet of NRLISTA/CDLISTA rows, branch): a new list holding the packet's keys.
  // Result: [number of keys, packet of (NRLISTA, CDLISTA)].
  d.on<rpc::CriaLista>([](CallContext& ctx, rpc::CriaLista& a) {
    std::vector<std::string> keys;
    try {
      keys = keysOf(a.cdsCriaLista.value().packetJson());
    } catch (const nlohmann::json::exception& e) {
      throw Refusal("ARG_INVALIDO", fmt::format("pacote de lista malformado: {}", e.what()));
    }
    std::string nr = fmt::format("{:0>{}}", nextSequence(ctx.sql(), "", "LISTA"), kListaSize);
    std::string op = ctx.operatorCode();
    std::string now = ctx.now().iso();
    ctx.sql() << "INSERT INTO LISTA (NRLISTA, CDOPERADOR, DTCRIACAO) VALUES (:n, :o, :d)",
        soci::use(nr), soci::use(op), soci::use(now);
    nlohmann::json packet{{"fields", packetFields(records::cdsCriaLista().fields())},
                          {"rows", nlohmann::json::array()}};
    for (auto& key : keys) {
      int present = 0;
      ctx.sql() << "SELECT COUNT(*) FROM LISTAITEM WHERE NRLISTA = :n AND CDLISTA = :c",
          soci::use(nr), soci::use(key), soci::into(present);
      if (present) continue;
      ctx.sql() << "INSERT INTO LISTAITEM (NRLISTA, CDLISTA) VALUES (:n, :c)", soci::use(nr),
          soci::use(key);
      packet["rows"].push_back({nr, key});
    }
    return remote::Variant::array({remote::Variant(static_cast<int64_t>(packet["rows"].size())),
                                   remote::Variant::packet(packet)});
  });
  // ApagaLista(NRLISTA) and DelLista(NRLISTA): the list and its keys are deleted. Emptying
  // it only would leave one LISTA row behind per emission run; nothing reads an empty list
  // back. A list already gone is no error: the emission deletes its list whatever happened.
  const auto deleteList = [](CallContext& ctx, std::string nr) {
    ctx.sql() << "DELETE FROM LISTAITEM WHERE NRLISTA = :n", soci::use(nr);
    ctx.sql() << "DELETE FROM LISTA WHERE NRLISTA = :n", soci::use(nr);
    return remote::Variant(int64_t{1});
  };
  d.on<rpc::ApagaLista>([deleteList](CallContext& ctx, rpc::ApagaLista& a) {
    return deleteList(ctx, a.NRLISTA.value());
  });
  d.on<rpc::DelLista>([deleteList](CallContext& ctx, rpc::DelLista& a) {
    return deleteList(ctx, a.NRLISTA.value());
  });
}

}  // namespace service
