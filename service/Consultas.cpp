// The host's direct queries answered by the service: the caller names a declared query and
// sends parameter values; the SQL is the service's own copy of the declaration.

#include <fmt/format.h>

#include <algorithm>

#include "queries/DirectQueries.h"
#include "service/Areas.h"
#include "service/DirectQueryRunner.h"
#include "service/Dispatcher.h"

namespace service {

namespace {

host::QueryParams paramsOf(const remote::Variant& v, const queries::DirectQuery& q) {
  host::QueryParams out;
  if (v.isNull()) return out;
  if (!v.isArray())
    throw Refusal("ARG_TIPO",
                  "Consulta: o argumento 2 (parâmetros) deve ser uma lista de pares [nome, valor]");
  for (const auto& pair : v.items()) {
    if (!pair.isArray() || pair.items().size() != 2 ||
        pair.items()[0].kind() != remote::Variant::Kind::Text || !pair.items()[1].isScalar())
      throw Refusal("ARG_TIPO", "Consulta: cada parâmetro deve ser um par [nome, valor]");
    std::string name = pair.items()[0].asString();
    if (std::find(q.parameters.begin(), q.parameters.end(), name) == q.parameters.end())
      throw Refusal("CONSULTA_PARAMETRO",
                    fmt::format("a consulta {} não tem o parâmetro {}", q.name, name));
    out.emplace_back(std::move(name), pair.items()[1].value());
  }
  return out;
}

// The company listing ("T" for every company) names only the companies the caller may use: a
// look-up of one company by its code still answers, so that a screen can tell a company that
// does not exist from one the operator may not use.
void keepUsableCompanies(CallContext& ctx, const queries::DirectQuery& q,
                         const host::QueryParams& params, nlohmann::json& packet) {
  if (q.name != "qryEmpresa") return;
  const bool listing = std::any_of(params.begin(), params.end(), [](const auto& p) {
    return p.first == "P_TCDEMPRESA" && p.second.asString() == "T";
  });
  if (!listing) return;
  const auto& fields = packet.at("fields");
  size_t column = fields.size();
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].at("name") == "CDEMPRESA") column = i;
  if (column == fields.size()) return;
  nlohmann::json kept = nlohmann::json::array();
  for (auto& row : packet.at("rows")) {
    const auto& code = row.at(column);
    if (code.is_string() &&
        operatorMayUse(ctx.database(), ctx.operatorCode(), code.get<std::string>()))
      kept.push_back(std::move(row));
  }
  packet["rows"] = std::move(kept);
}

}  // namespace

void registerConsultas(Dispatcher& d) {
  // Company look-ups answer before the register has checked the operator's access (the
  // company search lists every company); a query restricted to the session's company checks
  // it itself.
  // Consulta(query name, [[parameter, value], ...]): the query's rows as a packet.
  d.on<rpc::Consulta>([](CallContext& ctx, rpc::Consulta& a) {
    const std::string& name = a.name.value();
    const auto* q = queries::find(name);
    if (!q)
      throw Refusal("CONSULTA_DESCONHECIDA",
                    fmt::format("não há consulta direta chamada \"{}\"", name));
    host::QueryParams params = paramsOf(a.parameters.value(), *q);
    std::string company;
    if (q->companyScoped) {
      company = ctx.company();
      ctx.requireCompany(company);
    }
    auto rows = runDirectQuery(ctx.sql(), ctx.dialect(), *q, params, company);
    keepUsableCompanies(ctx, *q, params, rows);
    return remote::Variant::packet(std::move(rows));
  });
}

}  // namespace service
