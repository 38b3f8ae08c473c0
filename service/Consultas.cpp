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
                  "Consulta: argument 2 (parameters) must be an array of [name, value]");
  for (const auto& pair : v.items()) {
    if (!pair.isArray() || pair.items().size() != 2 ||
        pair.items()[0].kind() != remote::Variant::Kind::Text || !pair.items()[1].isScalar())
      throw Refusal("ARG_TIPO", "Consulta: each parameter must be a [name, value] pair");
    std::string name = pair.items()[0].asString();
    if (std::find(q.parameters.begin(), q.parameters.end(), name) == q.parameters.end())
      throw Refusal("CONSULTA_PARAMETRO",
                    fmt::format("query {} has no parameter {}", q.name, name));
    out.emplace_back(std::move(name), pair.items()[1].value());
  }
  return out;
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
                    fmt::format("there is no direct query named \"{}\"", name));
    host::QueryParams params = paramsOf(a.parameters.value(), *q);
    std::string company;
    if (q->companyScoped) {
      company = ctx.company();
      ctx.requireCompany(company);
    }
    return remote::Variant::packet(runDirectQuery(ctx.sql(), ctx.dialect(), *q, params, company));
  });
}

}  // namespace service
