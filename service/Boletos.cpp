// Boleto rows: the register's list.

#include <fmt/format.h>

#include <cctype>
#include <map>
#include <optional>

#include "host/Consiste.h"
#include "module/Records.h"
#include "queries/DirectQueries.h"
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
      selectList(rec::BoletoRecord(), boletoExpr));
  return select;
}

enum class K { Text, Ref, Bool, Date, Double, Int, Packet };

// The 37 arguments of Filtro, in order, with the size of the text ones (0: no limit).
struct FiltroArg {
  K kind;
  const char* name;
  int size;
};
constexpr FiltroArg kFiltroArgs[37] = {
    {K::Text, "CDEMPRESA", 2},
    {K::Text, "FiliProc", 4},
    {K::Text, "CDNOSNUMREC", 20},
    {K::Ref, "client list", 0},
    {K::Bool, "client Lista", 0},
    {K::Ref, "clients found", 0},
    {K::Ref, "client search key", 0},
    {K::Text, "document from", 10},
    {K::Text, "document to", 10},
    {K::Bool, "posting branch Lista", 0},
    {K::Ref, "posting branch list", 0},
    {K::Date, "due from", 0},
    {K::Date, "due to", 0},
    {K::Bool, "write-off type Lista", 0},
    {K::Ref, "write-off type list", 0},
    {K::Double, "value from", 0},
    {K::Double, "value to", 0},
    {K::Ref, "filter mark", 0},
    {K::Bool, "invoice Lista", 0},
    {K::Bool, "account Lista", 0},
    {K::Ref, "invoice list", 0},
    {K::Ref, "account list", 0},
    {K::Packet, "grid layout", 0},
    {K::Ref, "stLista", 0},
    {K::Ref, "origin branch list", 0},
    {K::Int, "status index", 0},
    {K::Int, "protest index", 0},
    {K::Text, "budget from", 10},
    {K::Text, "budget to", 10},
    {K::Bool, "ModuFili", 0},
    {K::Ref, "client group list", 0},
    {K::Ref, "situation", 0},
    {K::Text, "NRCNABRECREM", 10},
    {K::Text, "NRCNABRECRET", 10},
    {K::Date, "emission from", 0},
    {K::Date, "emission to", 0},
    {K::Ref, "vehicle list", 0},
};

void checkFiltroArgs(const CallContext& ctx) {
  for (size_t i = 0; i < 37; ++i) {
    const auto& a = kFiltroArgs[i];
    switch (a.kind) {
      case K::Text:
        ctx.text(i, a.name, a.size);
        break;
      case K::Ref:
        ctx.text(i, a.name, 0);
        break;
      case K::Bool:
        ctx.boolean(i, a.name);
        break;
      case K::Date:
        ctx.date(i, a.name);
        break;
      case K::Double:
        ctx.number(i, a.name);
        break;
      case K::Int:
        ctx.integer(i, a.name);
        break;
      case K::Packet:
        if (!ctx.arg(i).isNull()) ctx.packet(i, a.name);
        break;
    }
  }
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

Criteria filtroCriteria(CallContext& ctx, const std::string& company) {
  Criteria w(ctx.dialect());
  w.add("B.CDEMPRESA = :v", {host::Value(company)});
  // A nosso número finds that boleto alone: the other criteria still arrive and are ignored.
  std::string nossoNumero = ctx.text(2, "CDNOSNUMREC", 20);
  if (!nossoNumero.empty()) {
    w.add("B.CDNOSNUMREC = :v", {host::Value(nossoNumero)});
    return w;
  }
  auto list = [&](size_t i, const char* name) { return codesOf(ctx.text(i, name, 0), ','); };

  // Clients: the chosen list and the clients found by the search key.
  std::vector<std::string> clients;
  bool clientList = ctx.boolean(4, "client Lista");
  if (clientList) clients = list(3, "client list");
  for (auto& c : codesOf(ctx.text(5, "clients found", 0), '_')) clients.push_back(std::move(c));
  if (clientList || !clients.empty())
    w.add(w.inList("B.CDCLIENTE"), {host::Value(joined(clients))});

  std::string docFrom = padded(ctx.text(7, "document from", 10), 9);
  std::string docTo = padded(ctx.text(8, "document to", 10), 9);
  if (docTo.empty()) docTo = docFrom;
  if (!docFrom.empty() || !docTo.empty()) {
    std::string nr = w.paddedColumn("R.NRDUPLICATA", 9);
    if (!docFrom.empty() && !docTo.empty())
      w.add(receivableWhere(nr + " >= :v AND " + nr + " <= :v"),
            {host::Value(docFrom), host::Value(docTo)});
    else
      w.add(receivableWhere(nr + " <= :v"), {host::Value(docTo)});
  }

  if (ctx.boolean(9, "posting branch Lista"))
    w.add(w.inList("B.CDFILIAL"), {host::Value(joined(list(10, "posting branch list")))});

  // With the branch module on, the operator sees the boletos its branch issues.
  auto origins = list(24, "origin branch list");
  if (origins.empty() && ctx.boolean(29, "ModuFili")) {
    std::string branch = ctx.text(1, "FiliProc", 4);
    if (!branch.empty()) origins.push_back(branch);
  }
  if (!origins.empty()) w.add(w.inList("B.CDFILORIG"), {host::Value(joined(origins))});

  auto day = [](const std::optional<host::DateTime>& d) { return d->dateOnly().iso(); };
  if (auto d = ctx.date(11, "due from")) w.add("B.DTVENBOLREC >= :v", {host::Value(day(d))});
  // Dates may carry a time: the whole last day counts.
  if (auto d = ctx.date(12, "due to"))
    w.add("B.DTVENBOLREC < :v", {host::Value(d->dateOnly().addDays(1).iso())});
  if (auto d = ctx.date(34, "emission from")) w.add("B.DTEMISSAO >= :v", {host::Value(day(d))});
  if (auto d = ctx.date(35, "emission to"))
    w.add("B.DTEMISSAO < :v", {host::Value(d->dateOnly().addDays(1).iso())});

  if (ctx.boolean(13, "write-off type Lista"))
    w.add(w.inList("B.CDTPBAIXAREC"), {host::Value(joined(list(14, "write-off type list")))});

  double valueFrom = ctx.number(15, "value from");
  double valueTo = ctx.number(16, "value to");
  if (valueFrom > 0)
    w.add("B.VRFINALBREC >= :v", {host::Value(host::RoundDec(2, valueFrom) - 0.005)});
  if (valueTo > 0) w.add("B.VRFINALBREC < :v", {host::Value(host::RoundDec(2, valueTo) + 0.005)});

  // Invoices: the selection list InsLista filled, or the list text itself when there is none.
  if (ctx.boolean(18, "invoice Lista")) {
    std::string stLista = ctx.text(23, "stLista", 10);
    if (!stLista.empty())
      w.add(receivableWhere(
                "R.NRDUPLICATA IN (SELECT L.CDLISTA FROM LISTAITEM L WHERE L.NRLISTA = :v)"),
            {host::Value(stLista)});
    else
      w.add(receivableWhere(w.inList("R.NRDUPLICATA")),
            {host::Value(joined(list(20, "invoice list")))});
  }
  if (ctx.boolean(19, "account Lista"))
    w.add(w.inList("B.CDREDUCONT"), {host::Value(joined(list(21, "account list")))});

  switch (ctx.integer(25, "status index")) {
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
  switch (ctx.integer(26, "protest index")) {
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

  std::string budgetFrom = padded(ctx.text(27, "budget from", 10), 10);
  std::string budgetTo = padded(ctx.text(28, "budget to", 10), 10);
  if (budgetTo.empty()) budgetTo = budgetFrom;
  if (!budgetFrom.empty() || !budgetTo.empty()) {
    std::string nr = w.paddedColumn("B.NRORCAEVENTO", 10);
    if (!budgetFrom.empty()) w.add(nr + " >= :v", {host::Value(budgetFrom)});
    w.add(nr + " <= :v", {host::Value(budgetTo)});
  }

  auto groups = list(30, "client group list");
  if (!groups.empty()) w.add(w.inList("C.CDGRUPCLIE"), {host::Value(joined(groups))});

  // "_00_10": the situations checked. A boleto never sent has no situation yet: "00".
  auto situations = codesOf(ctx.text(31, "situation", 0), '_');
  if (!situations.empty())
    w.add(w.inList("COALESCE(B.IDSITUCNABR, '00')"), {host::Value(joined(situations))});

  std::string remessa = padded(ctx.text(32, "NRCNABRECREM", 10), 10);
  if (!remessa.empty()) w.add("B.NRCNABRECREM = :v", {host::Value(remessa)});
  std::string retorno = padded(ctx.text(33, "NRCNABRECRET", 10), 10);
  if (!retorno.empty()) w.add("B.NRCNABRECRET = :v", {host::Value(retorno)});

  auto vehicles = list(36, "vehicle list");
  if (!vehicles.empty())
    w.add(receivableWhere(w.inList("R.CDVIATURA")), {host::Value(joined(vehicles))});
  return w;
}

}  // namespace

void registerBoletos(Dispatcher& d) {
  // Filtro: the boletos of a company that match the register filter's criteria, as rows of
  // the boleto record. List criteria travel as list texts ("0001,0002"); a "Lista" flag that
  // is off leaves its criterion out.
  d.add(kHabContRec, "Filtro", 37, [](CallContext& ctx) {
    checkFiltroArgs(ctx);
    std::string company = ctx.text(0, "CDEMPRESA", 2);
    if (company.empty()) company = ctx.company();
    ctx.requireCompany(company);
    Criteria w = filtroCriteria(ctx, company);
    auto pos = queries::positional(boletoSelect() + w.sql() +
                                   " ORDER BY B.DTVENBOLREC, B.CDFILIAL, B.NRLANBOLREC");
    return remote::Variant::packet(
        runBoundPacked(ctx.sql(), pos.sql, w.values(), rec::BoletoRecord()));
  });
  // A company's whole list can take a while to read; it should not hold up the writers.
  d.setReadOnly(kHabContRec, "Filtro");
}

}  // namespace service
