// The import selection of fiscal notes: a customer's notes not imported yet, and the flag
// that says which of them are to be imported into receivables.

#include <fmt/format.h>

#include <optional>

#include "host/Consiste.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Rows.h"

namespace service {

namespace {

using remote::Variant;
namespace fld = records::fld;

// SetSelImpor: each modified note of the change packet gets its new flag when the flag is
// still what the caller read; notes are neither added nor deleted here.
int64_t applyFlags(CallContext& ctx, const nlohmann::json& delta) {
  const auto& fields = delta.at("fields");
  auto column = [&](const records::Field& f) {
    for (size_t i = 0; i < fields.size(); ++i)
      if (fields[i].at("name").get<std::string>() == f.name) return i;
    throw Refusal("ARG_INVALIDO", fmt::format("SetSelImpor: the packet has no {} field", f.name));
  };
  const size_t cf = column(fld::CDFILIAL), cn = column(fld::NRLANCTONF),
               ci = column(fld::IDIMPONFCR);
  auto textAt = [](const nlohmann::json& row, size_t i, const records::Field& f) {
    const auto& v = row.at(i);
    if (v.is_null()) return std::string();
    if (!v.is_string())
      throw Refusal("ARG_TIPO", fmt::format("SetSelImpor: {} must be a text", f.name));
    std::string s = v.get<std::string>();
    if (s.size() > f.width())
      throw Refusal("ARG_TAMANHO",
                    fmt::format("SetSelImpor: {} has more than {} characters", f.name, f.width()));
    return s;
  };
  if (!delta.contains("changes")) return 0;
  const auto& rows = delta.at("rows");
  int64_t applied = 0;
  for (const auto& change : delta.at("changes")) {
    const std::string kind = change.at("kind");
    if (kind != "modify")
      throw Refusal(
          "ARG_INVALIDO",
          fmt::format("SetSelImpor: notas fiscais não são incluídas nem excluídas aqui ({}).",
                      kind));
    const auto& row = rows.at(change.at("row").get<size_t>());
    const auto& original = change.at("original");
    const std::string branch = host::Ajusta(host::AllTrim(textAt(row, cf, fld::CDFILIAL)), 4);
    const std::string entry = host::AllTrim(textAt(row, cn, fld::NRLANCTONF));
    const std::string wanted = textAt(row, ci, fld::IDIMPONFCR);
    const std::string before = textAt(original, ci, fld::IDIMPONFCR);
    if (wanted != "S" && wanted != "N")
      throw Refusal(
          "ARG_INVALIDO",
          fmt::format("SetSelImpor: a seleção da nota fiscal {}/{} deve ser S ou N, não \"{}\".",
                      branch, entry, wanted));
    std::string company, current;
    soci::indicator ei = soci::i_null, fi = soci::i_null;
    ctx.sql() << "SELECT CDEMPRESA, IDIMPONFCR FROM NOTAFISCAL WHERE CDFILIAL = :f AND "
                 "NRLANCTONF = :n",
        soci::use(branch), soci::use(entry), soci::into(company, ei), soci::into(current, fi);
    if (!ctx.sql().got_data())
      throw Refusal("ALT_BLOQ", fmt::format("A nota fiscal {}/{} não existe mais.", branch, entry));
    ctx.requireCompany(company);
    // A blank flag and none are the same to the operator.
    if ((fi == soci::i_ok ? current : std::string()) != before)
      throw Refusal("ALT_BLOQ",
                    fmt::format("A seleção da nota fiscal {}/{} foi alterada por outro usuário.",
                                branch, entry));
    ctx.sql() << "UPDATE NOTAFISCAL SET IDIMPONFCR = :i WHERE CDFILIAL = :f AND NRLANCTONF = :n",
        soci::use(wanted), soci::use(branch), soci::use(entry);
    ++applied;
  }
  return applied;
}

}  // namespace

void registerSelImpor(Dispatcher& d) {
  d.on<rpc::GetSelImpor>([](CallContext& ctx, rpc::GetSelImpor& a) {
    a.CDCLIENTE.set(a.CDCLIENTE.code());
    a.CDEMPRESA.set(a.CDEMPRESA.code());
    const std::string company = a.CDEMPRESA.value();
    ctx.requireCompany(company);
    return packetOf(
        ctx,
        "SELECT C.NRINSJURCLIE, C.NMRAZSOCCLIE, N.DTEMISSAO, N.CDSERIE, N.NRNOTAFISC, "
        "N.CDFILIAL, N.NRLANCTONF, N.VRNOTAFISC, "
        "N.NRNOTAFISC || CASE WHEN N.CDSERIE IS NULL OR N.CDSERIE = '' THEN '' "
        "ELSE '/' || N.CDSERIE END, N.IDIMPONFCR "
        "FROM NOTAFISCAL N JOIN CLIENTE C ON C.CDCLIENTE = N.CDCLIENTE "
        "WHERE N.CDCLIENTE = :c AND N.CDEMPRESA = :e AND COALESCE(N.IDIMPORTADA, 'N') <> 'S' "
        "ORDER BY N.DTEMISSAO, N.CDFILIAL, N.NRLANCTONF",
        {host::Value(a.CDCLIENTE.value()), host::Value(company)}, records::cdsSelImpor().fields());
  });
  d.on<rpc::SetSelImpor>([](CallContext& ctx, rpc::SetSelImpor& a) {
    try {
      return Variant(applyFlags(ctx, a.cdsSelImpor.value().packetJson()));
    } catch (const nlohmann::json::exception& e) {
      throw Refusal("ARG_INVALIDO",
                    fmt::format("SetSelImpor: malformed change packet: {}", e.what()));
    }
  });
}

}  // namespace service
