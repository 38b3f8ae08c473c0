// Advances and returns open for a customer: asked before a boleto is marked, and for a whole
// list before mark all.

#include "service/Marcacao.h"

#include <set>
#include <utility>

#include "records/Tables.h"
#include "service/Areas.h"
#include "service/DirectQueryRunner.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"
#include "service/Rows.h"

namespace service {

namespace {

using host::Value;
using remote::Variant;

// An advance or a return is open while something of it is left (the returns are listed with
// the other credits, service/Creditos.cpp).
const char* const kOpenAdvances =
    "SELECT CDFILIAL, NRADIANTREC, CDEMPRESA, CDCLIENTE, DTADIANTREC, VRADIANTREC, "
    "VRSALDOADIANT FROM ADIANTAMENTO WHERE CDCLIENTE = :c AND CDEMPRESA = :e AND "
    "VRSALDOADIANT > 0 ORDER BY CDFILIAL, NRADIANTREC";

// Column of `name` in a packet's fields (case-insensitive), or -1.
int columnOf(const nlohmann::json& packet, std::string_view name) {
  const auto& fields = packet.at("fields");
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string n = fields[i].value("name", "");
    for (auto& ch : n) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (n == name) return static_cast<int>(i);
  }
  return -1;
}

std::string textAt(const nlohmann::json& row, int col) {
  const auto& v = row.at(static_cast<size_t>(col));
  return v.is_string() ? v.get<std::string>() : std::string();
}

// GetBolCliDevoAdian(list packet, IDUTLNFDEVOLREC): the rows of the list whose customer has an
// open advance in the row's company, or an open return when returns are discounted ("S").
Variant bolCliDevoAdian(CallContext& ctx, const rpc::GetBolCliDevoAdian& a) {
  using namespace records::fld;
  const nlohmann::json& list = a.boletos.value().packetJson();
  const std::string& withReturns = a.IDUTLNFDEVOLREC.value();
  if (!list.contains("fields") || !list.contains("rows")) {
    throw Refusal("ARG_INVALIDO", "GetBolCliDevoAdian: o pacote da lista não tem campos ou linhas");
  }
  const int branch = columnOf(list, CDFILIAL);
  const int number = columnOf(list, NRLANBOLREC);
  const int company = columnOf(list, CDEMPRESA);
  const int customer = columnOf(list, CDCLIENTE);
  if (branch < 0 || number < 0 || company < 0 || customer < 0) {
    throw Refusal("ARG_INVALIDO",
                  "GetBolCliDevoAdian: o pacote da lista precisa de CDFILIAL, NRLANBOLREC, "
                  "CDEMPRESA e CDCLIENTE");
  }
  // The customers with something open are few: read them once, then walk the list.
  std::set<std::pair<std::string, std::string>> open;
  std::set<std::string> companies;
  for (const auto& row : list.at("rows")) companies.insert(textAt(row, company));
  for (const auto& e : companies) {
    ctx.requireCompany(e);
    std::string comp = e, cust;
    soci::statement adv = (ctx.sql().prepare << "SELECT DISTINCT CDCLIENTE FROM ADIANTAMENTO "
                                                "WHERE CDEMPRESA = :e AND VRSALDOADIANT > 0",
                           soci::use(comp), soci::into(cust));
    adv.execute();
    while (adv.fetch()) open.emplace(e, cust);
    if (withReturns == "S") {
      soci::statement ret = (ctx.sql().prepare << "SELECT DISTINCT CDCLIENTE FROM DEVOLUCAO "
                                                  "WHERE CDEMPRESA = :e AND VRSALDODEVOL > 0",
                             soci::use(comp), soci::into(cust));
      ret.execute();
      while (ret.fetch()) open.emplace(e, cust);
    }
  }
  nlohmann::json out;
  out["fields"] = packetFields(records::cdsBolCliDevoAdian().fields());
  out["rows"] = nlohmann::json::array();
  if (open.empty()) return Variant::packet(out);
  for (const auto& row : list.at("rows")) {
    if (open.count({textAt(row, company), textAt(row, customer)}) == 0) continue;
    out["rows"].push_back(nlohmann::json::array(
        {row.at(static_cast<size_t>(branch)), row.at(static_cast<size_t>(number))}));
  }
  return Variant::packet(out);
}

}  // namespace

void registerMarcacao(Dispatcher& d) {
  // GetAdiantamento(CDCLIENTE, CDEMPRESA): the customer's open advances in the company.
  d.on<rpc::GetAdiantamento>([](CallContext& ctx, rpc::GetAdiantamento& a) {
    const std::string customer = a.CDCLIENTE.code();
    const std::string company = a.CDEMPRESA.code();
    ctx.requireCompany(company);
    return Variant::packet(runBound(ctx.sql(), kOpenAdvances, {Value(customer), Value(company)},
                                    records::cdsAdiantamento().fields()));
  });
  d.on<rpc::GetBolCliDevoAdian>(bolCliDevoAdian);
}

void loadMarkingDemo(soci::session& sql) {
  // Company 04 discounts returns; João Pereira has one open, and the emitted boleto of the
  // customer with an advance is of receivable type "2" (marked even by mark all).
  sql << "UPDATE PARAMGERAL SET IDUTLNFDEVOLREC = 'S' WHERE CDEMPRESA = '04'";
  sql << "UPDATE BOLRECEBER SET IDTPCTRECEBER = '2' WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
         "'0000000007'";
  sql << "INSERT INTO DEVOLUCAO (CDFILIAL, NRDEVOLREC, CDEMPRESA, CDCLIENTE, DTDEVOLREC, "
         "VRDEVOLREC) SELECT '0002', '0000000001', '04', '000000000000000000105', DTEMISSAO, "
         "45.00 FROM BOLRECEBER WHERE CDFILIAL = '0002' AND NRLANBOLREC = '0000000003'";
}

}  // namespace service
