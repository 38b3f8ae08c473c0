// Boleto rows: the register's list.

#include <fmt/format.h>

#include <cctype>
#include <map>
#include <optional>

#include "host/Consiste.h"
#include "queries/DirectQueries.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/DirectQueryRunner.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"

namespace service {

namespace {

// Columns of the boleto record that are not stored with the boleto: the customer's, the
// account's, names of codes, and the list's columns taken from the first receivable.
std::string boletoExpr(const std::string& field) {
  static const std::map<std::string, std::string> joined = {
      {"NMFANTCLIE", "C.NMFANTCLIE"},
      {"NMRAZSOCCLIE", "C.NMRAZSOCCLIE"},
      {"DSEMAILCLIE", "C.DSEMAILCLIE"},
      {"DSEMAILCLIECOP", "C.DSEMAILCLIECOP"},
      {"NRINSJURCLIE", "C.NRINSJURCLIE"},
      {"IDTPIJURCLIE", "C.IDTPIJURCLIE"},
      {"CDBANCO", "K.CDBANCO"},
      {"CDAGENCIA", "K.CDAGENCIA"},
      {"CDCONTCORR", "K.CDCONTCORR"},
      {"DSCONTCORR", "K.DSCONTCORR"},
      {"CDPICTCONT", "K.CDPICTCONT"},
      {"CDPICTAGEN", "K.CDPICTAGEN"},
      {"CDBANCCNAB", "K.CDBANCCNAB"},
      {"DSARQBOLCOMP", "K.DSARQBOLCOMP"},
      {"DSARQBOLPREI", "K.DSARQBOLPREI"},
      {"DSCHAVEPIX", "K.DSCHAVEPIX"},
      {"NMTPBAIXAREC", "T.NMTPBAIXAREC"},
      {"NMFILIAL", "F.NMFILIAL"},
      {"IDMARCADO", "NULL"},
      {"FTR_PARCNUM", "B.NRPARCBOLREC"},
      {"NRPARCBOLRECVISU", "B.NRPARCBOLREC"},
      {"FTR_DTVENBOLREC", "B.DTVENBOLREC"},
      {"FTR_NMRAZSOCCLIE", "C.NMRAZSOCCLIE"},
      {"FTR_NRPARCBOLREC", "B.NRPARCBOLREC"},
      {"FTR_VRFINALBREC", "B.VRFINALBREC"},
      {"FTR_IDSTATBREC", "B.IDSTATBREC"},
      {"FTR_NRLICENCAUSO", "B.NRLICENCAUSO"},
      {"FTR_CDFILIAL", "B.CDFILIAL"},
      {"FTR_DTEMISSAO", "B.DTEMISSAO"},
      {"FTR_IDPROTESTREC", "B.IDPROTESTREC"},
      {"FTR_IDSITUCNABR", "B.IDSITUCNABR"},
      {"FTR_NRCNABRECRET", "B.NRCNABRECRET"},
      {"FTR_NRCNABRECREM", "B.NRCNABRECREM"},
      {"FTR_DSBOLETREC", "B.DSBOLETREC"},
  };
  static const std::map<std::string, std::string> fromReceivable = {
      {"FTR_NRDUPLICATA", "NRDUPLICATA"},
      {"FTR_NRNOTAFISC", "NRNOTAFISC"},
      {"FTR_CDFILIEMIT", "CDFILIEMIT"},
      {"FTR_CDVIATURA", "CDVIATURA"},
  };
  if (auto it = joined.find(field); it != joined.end()) return it->second;
  if (auto it = fromReceivable.find(field); it != fromReceivable.end()) {
    return "P." + it->second;
  }
  return "B." + field;
}

const std::string& boletoSelect() {
  static const std::string select = fmt::format(
      "SELECT {} FROM BOLRECEBER B "
      "LEFT JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE "
      "LEFT JOIN CONTCORR K ON K.CDEMPRESA = B.CDEMPRESA AND K.CDREDUCONT = B.CDREDUCONT "
      "LEFT JOIN TIPOBAIXA T ON T.CDTPBAIXAREC = B.CDTPBAIXAREC "
      "LEFT JOIN FILIAL F ON F.CDFILIAL = B.CDFILIAL "
      // One pass over the receivables, grouped along their boleto index, instead of a
      // lookup per boleto and column: the columns' minimums are taken independently, as
      // before, and a boleto without receivables still lists with them empty.
      "LEFT JOIN (SELECT CDFILBOLREC, NRLANBOLREC, MIN(NRDUPLICATA) AS NRDUPLICATA, "
      "MIN(NRNOTAFISC) AS NRNOTAFISC, MIN(CDFILIEMIT) AS CDFILIEMIT, "
      "MIN(CDVIATURA) AS CDVIATURA FROM CTRECEBER "
      "WHERE CDFILBOLREC IS NOT NULL GROUP BY CDFILBOLREC, NRLANBOLREC) P "
      "ON P.CDFILBOLREC = B.CDFILIAL AND P.NRLANBOLREC = B.NRLANBOLREC ",
      selectList(records::BoletoRecord().fields(), boletoExpr));
  return select;
}

// Codes of a list text ("0001,0002") or of the "_"-prefixed codes the client search appends
// ("_0001_0002"), blanks trimmed and empty items dropped.
std::vector<std::string> codesOf(const std::string& text, char separator) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(start, end - start);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back()))) item.pop_back();
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front())))
      item.erase(0, 1);
    if (!item.empty()) out.push_back(item);
    start = end + 1;
  }
  return out;
}

std::string joined(const std::vector<std::string>& codes) {
  std::string out;
  for (const auto& c : codes) out += (out.empty() ? "" : ",") + c;
  return out;
}

// A number typed in the filter, brought to `width` with leading zeros as the screen does.
std::string padded(std::string s, size_t width) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  if (!s.empty() && s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

// The WHERE clause of Filtro, built from the criteria in force only (so that the company and
// due-date index serves the common case); every value is bound, in the order of its ":v".
class Criteria {
 public:
  explicit Criteria(Dialect dialect) : pg_(dialect == Dialect::PostgreSQL) {}
  void add(const std::string& condition, std::vector<host::Value> values = {}) {
    sql_ += sql_.empty() ? "WHERE " : " AND ";
    sql_ += condition;
    for (auto& v : values) values_.push_back(std::move(v));
  }
  /// `column` is one of the codes of a bound list text.
  std::string inList(const std::string& column) const {
    return pg_ ? fmt::format("{} = ANY (string_to_array(CAST(:v AS TEXT), ','))", column)
               : fmt::format("instr(',' || :v || ',', ',' || {} || ',') > 0", column);
  }
  /// A number stored as text compared as the screen pads it (leading zeros to `width`).
  std::string paddedColumn(const std::string& column, int width) const {
    std::string zeros(static_cast<size_t>(width), '0');
    return pg_ ? fmt::format("CASE WHEN length({0}) >= {1} THEN {0} ELSE lpad({0}, {1}, '0') END",
                             column, width)
               : fmt::format(
                     "CASE WHEN length({0}) >= {1} THEN {0} ELSE substr('{2}' || {0}, -{1}) END",
                     column, width, zeros);
  }
  const std::string& sql() const { return sql_; }
  const std::vector<host::Value>& values() const { return values_; }

 private:
  bool pg_;
  std::string sql_;
  std::vector<host::Value> values_;
};

// A receivable of the boleto satisfying `condition`.
std::string receivableWhere(const std::string& condition) {
  return "EXISTS (SELECT 1 FROM CTRECEBER R WHERE R.CDFILBOLREC = B.CDFILIAL AND "
         "R.NRLANBOLREC = B.NRLANBOLREC AND " +
         condition + ")";
}

Criteria filtroCriteria(CallContext& ctx, const rpc::Filtro& a, const std::string& company) {
  Criteria w(ctx.dialect());
  w.add("B.CDEMPRESA = :v", {host::Value(company)});
  // A nosso número finds that boleto alone: the other criteria still arrive and are ignored.
  const std::string& nossoNumero = a.CDNOSNUMREC.value();
  if (!nossoNumero.empty()) {
    w.add("B.CDNOSNUMREC = :v", {host::Value(nossoNumero)});
    return w;
  }
  auto list = [](const auto& arg) { return codesOf(arg.value(), ','); };

  // Clients: the chosen list and the clients found by the search key.
  std::vector<std::string> clients;
  const bool clientList = a.clientListOn.value();
  if (clientList) clients = list(a.clientList);
  for (auto& c : codesOf(a.clientsFound.value(), '_')) clients.push_back(std::move(c));
  if (clientList || !clients.empty())
    w.add(w.inList("B.CDCLIENTE"), {host::Value(joined(clients))});

  std::string docFrom = padded(a.documentFrom.value(), 9);
  std::string docTo = padded(a.documentTo.value(), 9);
  if (docTo.empty()) docTo = docFrom;
  if (!docFrom.empty() || !docTo.empty()) {
    std::string nr = w.paddedColumn("R.NRDUPLICATA", 9);
    if (!docFrom.empty() && !docTo.empty())
      w.add(receivableWhere(nr + " >= :v AND " + nr + " <= :v"),
            {host::Value(docFrom), host::Value(docTo)});
    else
      w.add(receivableWhere(nr + " <= :v"), {host::Value(docTo)});
  }

  if (a.postingBranchListOn.value())
    w.add(w.inList("B.CDFILIAL"), {host::Value(joined(list(a.postingBranchList)))});

  // With the branch module on, the operator sees the boletos its branch issues.
  auto origins = list(a.originBranchList);
  if (origins.empty() && a.ModuFili.value()) {
    const std::string& branch = a.FiliProc.value();
    if (!branch.empty()) origins.push_back(branch);
  }
  if (!origins.empty()) w.add(w.inList("B.CDFILORIG"), {host::Value(joined(origins))});

  auto day = [](const std::optional<host::DateTime>& d) { return d->dateOnly().iso(); };
  if (const auto& d = a.dueFrom.value()) w.add("B.DTVENBOLREC >= :v", {host::Value(day(d))});
  // Dates may carry a time: the whole last day counts.
  if (const auto& d = a.dueTo.value())
    w.add("B.DTVENBOLREC < :v", {host::Value(d->dateOnly().addDays(1).iso())});
  if (const auto& d = a.emissionFrom.value()) w.add("B.DTEMISSAO >= :v", {host::Value(day(d))});
  if (const auto& d = a.emissionTo.value())
    w.add("B.DTEMISSAO < :v", {host::Value(d->dateOnly().addDays(1).iso())});

  if (a.writeOffTypeListOn.value())
    w.add(w.inList("B.CDTPBAIXAREC"), {host::Value(joined(list(a.writeOffTypeList)))});

  const double valueFrom = a.valueFrom.value();
  const double valueTo = a.valueTo.value();
  if (valueFrom > 0)
    w.add("B.VRFINALBREC >= :v", {host::Value(host::RoundDec(2, valueFrom) - 0.005)});
  if (valueTo > 0) w.add("B.VRFINALBREC < :v", {host::Value(host::RoundDec(2, valueTo) + 0.005)});

  // Invoices: the selection list InsLista filled, or the list text itself when there is none.
  if (a.invoiceListOn.value()) {
    const std::string& stLista = a.stLista.value();
    if (!stLista.empty())
      w.add(receivableWhere(
                "R.NRDUPLICATA IN (SELECT L.CDLISTA FROM LISTAITEM L WHERE L.NRLISTA = :v)"),
            {host::Value(stLista)});
    else
      w.add(receivableWhere(w.inList("R.NRDUPLICATA")), {host::Value(joined(list(a.invoiceList)))});
  }
  if (a.accountListOn.value())
    w.add(w.inList("B.CDREDUCONT"), {host::Value(joined(list(a.accountList)))});

  switch (a.statusIndex.value()) {
    case 0:
      break;
    case 1:
      w.add("B.IDSTATBREC = 'E'");
      break;
    case 2:
      w.add("B.IDSTATBREC <> 'E'");
      break;
    default:
      throw Refusal("ARG_INVALIDO",
                    "Filtro: o argumento 26 (índice da situação) deve ser 0, 1 ou 2");
  }
  switch (a.protestIndex.value()) {
    case 0:
      break;
    case 1:
      w.add("B.IDPROTESTREC = 'S'");
      break;
    case 2:
      w.add("COALESCE(B.IDPROTESTREC, 'N') <> 'S'");
      break;
    default:
      throw Refusal("ARG_INVALIDO",
                    "Filtro: o argumento 27 (índice do protesto) deve ser 0, 1 ou 2");
  }

  std::string budgetFrom = padded(a.budgetFrom.value(), 10);
  std::string budgetTo = padded(a.budgetTo.value(), 10);
  if (budgetTo.empty()) budgetTo = budgetFrom;
  if (!budgetFrom.empty() || !budgetTo.empty()) {
    std::string nr = w.paddedColumn("B.NRORCAEVENTO", 10);
    if (!budgetFrom.empty()) w.add(nr + " >= :v", {host::Value(budgetFrom)});
    w.add(nr + " <= :v", {host::Value(budgetTo)});
  }

  auto groups = list(a.clientGroupList);
  if (!groups.empty()) w.add(w.inList("C.CDGRUPCLIE"), {host::Value(joined(groups))});

  // "_00_10": the situations checked. A boleto never sent has no situation yet: "00".
  auto situations = codesOf(a.situation.value(), '_');
  if (!situations.empty())
    w.add(w.inList("COALESCE(B.IDSITUCNABR, '00')"), {host::Value(joined(situations))});

  std::string remessa = padded(a.NRCNABRECREM.value(), 10);
  if (!remessa.empty()) w.add("B.NRCNABRECREM = :v", {host::Value(remessa)});
  std::string retorno = padded(a.NRCNABRECRET.value(), 10);
  if (!retorno.empty()) w.add("B.NRCNABRECRET = :v", {host::Value(retorno)});

  auto vehicles = list(a.vehicleList);
  if (!vehicles.empty())
    w.add(receivableWhere(w.inList("R.CDVIATURA")), {host::Value(joined(vehicles))});
  return w;
}

}  // namespace

void registerBoletos(Dispatcher& d) {
  // Filtro: the boletos of a company that match the register filter's criteria, as rows of
  // the boleto record. List criteria travel as list texts ("0001,0002"); a "Lista" flag that
  // is off leaves its criterion out.
  d.on<rpc::Filtro>([](CallContext& ctx, rpc::Filtro& a) {
    std::string company = a.CDEMPRESA.value();
    if (company.empty()) company = ctx.company();
    ctx.requireCompany(company);
    Criteria w = filtroCriteria(ctx, a, company);
    auto pos = queries::positional(boletoSelect() + w.sql() +
                                   " ORDER BY B.DTVENBOLREC, B.CDFILIAL, B.NRLANBOLREC");
    return remote::Variant::packet(
        runBoundPacked(ctx.sql(), pos.sql, w.values(), records::BoletoRecord().fields()));
  });
}

}  // namespace service
