// Instalments, cancellation and deletion, and the write-off by loss. Every method runs in the
// call's one transaction and checks everything before it writes, so a refusal (or a failure
// half-way) leaves every boleto as it was. Money is compared and summed in centavos. A stored
// nosso número, barcode or typed line is never changed or freed, and the value of a boleto
// that carries a barcode never changes: the barcode collects that value.

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "host/Consiste.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Money.h"
#include "service/Packets.h"
#include "service/Rows.h"
#include "service/Sequences.h"

namespace service {

namespace {

using host::Value;
using remote::Variant;
namespace fld = records::fld;

std::string textAt(const soci::row& r, size_t i) {
  if (r.get_indicator(i) == soci::i_null) return {};
  return host::AllTrim(r.get<std::string>(i));
}
double numberAt(const soci::row& r, size_t i) {
  if (r.get_indicator(i) == soci::i_null) return 0;
  switch (r.get_properties(i).get_data_type()) {
    case soci::dt_double:
      return r.get<double>(i);
    case soci::dt_integer:
      return r.get<int>(i);
    case soci::dt_long_long:
      return static_cast<double>(r.get<long long>(i));
    case soci::dt_unsigned_long_long:
      return static_cast<double>(r.get<unsigned long long>(i));
    default:
      return std::stod(r.get<std::string>(i));
  }
}

/// One boleto as these methods read it before changing it.
struct Boleto {
  std::string branch, number, company, customer, status, writeOffNumber, due, origin, instalment,
      nossoNumero, barcode, reason, printModel;
  int64_t gross = 0, net = 0;
  double pFine = 0, pInterest = 0, fine = 0, interest = 0;

  bool numbered() const { return !nossoNumero.empty() || !barcode.empty(); }
  int instalmentNumber() const {
    return host::IsDigits(instalment) && !instalment.empty() ? std::stoi(instalment) : 0;
  }
};

constexpr const char* kBoletoSelect =
    "SELECT CDFILIAL, NRLANBOLREC, CDEMPRESA, CDCLIENTE, IDSTATBREC, NRBAIXAREC, VRBOLREC, "
    "VRFINALBREC, DTVENBOLREC, NRORIGBOLREC, NRPARCBOLREC, CDNOSNUMREC, CDBARRAREC, CDMOTIPARC, "
    "VRPEMULBREC, VRPEMORBREC, VRMULTABREC, VRMORDIABREC, IDBOLEMITIDO FROM BOLRECEBER ";

Boleto boletoOf(const soci::row& r) {
  Boleto b;
  b.branch = textAt(r, 0);
  b.number = textAt(r, 1);
  b.company = textAt(r, 2);
  b.customer = textAt(r, 3);
  b.status = textAt(r, 4);
  b.writeOffNumber = textAt(r, 5);
  b.gross = centavos(numberAt(r, 6));
  b.net = centavos(numberAt(r, 7));
  b.due = textAt(r, 8).substr(0, 10);
  b.origin = textAt(r, 9);
  b.instalment = textAt(r, 10);
  b.nossoNumero = textAt(r, 11);
  b.barcode = textAt(r, 12);
  b.reason = textAt(r, 13);
  b.pFine = numberAt(r, 14);
  b.pInterest = numberAt(r, 15);
  b.fine = numberAt(r, 16);
  b.interest = numberAt(r, 17);
  b.printModel = textAt(r, 18);
  return b;
}

std::optional<Boleto> readBoleto(CallContext& ctx, const std::string& branch,
                                 const std::string& number) {
  soci::rowset<soci::row> rows =
      (ctx.sql().prepare << std::string(kBoletoSelect) + "WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
       soci::use(branch), soci::use(number));
  for (const auto& r : rows) return boletoOf(r);
  return std::nullopt;
}

/// The boleto of the caller's company, or a refusal naming it.
Boleto requireBoleto(CallContext& ctx, const std::string& branch, const std::string& number) {
  auto b = readBoleto(ctx, branch, number);
  if (!b)
    throw Refusal("BOL_NC",
                  fmt::format("{}: o boleto {}/{} não existe.", ctx.method(), branch, number));
  ctx.requireCompany(b->company);
  return *b;
}

/// The instalments of an origin in a branch, by instalment number.
std::vector<Boleto> instalmentsOf(CallContext& ctx, const std::string& branch,
                                  const std::string& origin) {
  std::vector<Boleto> out;
  soci::rowset<soci::row> rows =
      (ctx.sql().prepare << std::string(kBoletoSelect) +
                                "WHERE CDFILIAL = :f AND NRORIGBOLREC = :o ORDER BY NRLANBOLREC",
       soci::use(branch), soci::use(origin));
  for (const auto& r : rows) out.push_back(boletoOf(r));
  std::stable_sort(out.begin(), out.end(), [](const Boleto& a, const Boleto& b) {
    return a.instalmentNumber() < b.instalmentNumber();
  });
  return out;
}

int64_t countOf(CallContext& ctx, const std::string& sql, const std::string& a,
                const std::string& b) {
  int64_t n = 0;
  ctx.sql() << sql, soci::use(a), soci::use(b), soci::into(n);
  return n;
}

int64_t countOf(CallContext& ctx, const std::string& sql, const std::string& a) {
  int64_t n = 0;
  ctx.sql() << sql, soci::use(a), soci::into(n);
  return n;
}

bool cleared(CallContext& ctx, const Boleto& b) {
  return countOf(ctx, "SELECT COUNT(*) FROM COMPENSACAO WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
                 b.branch, b.number) > 0;
}

int64_t adjustmentsOf(CallContext& ctx, const std::string& branch, const std::string& number) {
  double total = 0;
  soci::indicator ind = soci::i_null;
  ctx.sql() << "SELECT SUM(ABS(VRAJUSTE)) FROM AJUSTEBOLREC WHERE CDFILIAL = :f AND "
               "NRLANBOLREC = :n",
      soci::use(branch), soci::use(number), soci::into(total, ind);
  return ind == soci::i_ok ? centavos(total) : 0;
}

/// The fine or interest value of a net value at a percentage; a boleto without a percentage
/// keeps the value it has.
double fineValue(int64_t net, double percent, double current) {
  if (percent <= 0) return current;
  return host::RoundDec(2, reais(net) * host::RoundDec(3, percent) / 100.0);
}

/// A boleto's new net and gross value (the difference also moves the gross value, so its
/// adjustments stay as they were), with fine and interest following.
void writeValue(CallContext& ctx, const Boleto& b, int64_t net) {
  const double netValue = reais(net), gross = reais(b.gross + (net - b.net));
  const double fine = fineValue(net, b.pFine, b.fine);
  const double interest = fineValue(net, b.pInterest, b.interest);
  ctx.sql() << "UPDATE BOLRECEBER SET VRFINALBREC = :v, VRBOLREC = :g, VRMULTABREC = :m, "
               "VRMORDIABREC = :j WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(netValue), soci::use(gross), soci::use(fine), soci::use(interest),
      soci::use(b.branch), soci::use(b.number);
}

/// The branch's next boleto number: past both its counter and the numbers already used there.
std::string nextBoletoNumber(CallContext& ctx, const std::string& branch) {
  std::string last;
  soci::indicator ind = soci::i_null;
  ctx.sql() << "SELECT MAX(NRLANBOLREC) FROM BOLRECEBER WHERE CDFILIAL = :f", soci::use(branch),
      soci::into(last, ind);
  const int64_t used = ind == soci::i_ok && host::IsDigits(host::AllTrim(last))
                           ? std::stoll(host::AllTrim(last))
                           : 0;
  int64_t next = nextSequence(ctx.sql(), branch, "BOLETO");
  if (next <= used) {
    next = used + 1;
    setSequence(ctx.sql(), branch, "BOLETO", next);
  }
  return fmt::format("{:010}", next);
}

/// A new pending boleto copied from `from`, without any code of it: the codes of a boleto
/// belong to its own value and due date.
void insertCopy(CallContext& ctx, const Boleto& from, const std::string& branch,
                const std::string& number, int64_t net, const std::string& due, double pFine,
                double fine, double pInterest, double interest, const std::string& origin,
                const std::string& instalment, const std::string& reason, const std::string& note) {
  const double value = reais(net);
  soci::indicator oi = origin.empty() ? soci::i_null : soci::i_ok;
  soci::indicator pi = instalment.empty() ? soci::i_null : soci::i_ok;
  soci::indicator ri = reason.empty() ? soci::i_null : soci::i_ok;
  ctx.sql() << "INSERT INTO BOLRECEBER (CDFILIAL, NRLANBOLREC, CDEMPRESA, CDCLIENTE, QTDIADEVOL, "
               "CDDIADEVOL, VRBOLREC, VRPEMULBREC, VRMULTABREC, VRPEMORBREC, VRFINALBREC, "
               "VRMORDIABREC, DTVENBOLREC, IDSTATBREC, CDTPBAIXAREC, CDREDUCONT, CDCARTCOBBOL, "
               "CDINS1COBBOL, CDINS2COBBOL, QTDIAPROTBOL, CDDIAPROTBOL, IDIMPRBOLBOL, "
               "NRORIGBOLREC, IDSITUCNABR, CDMOTIPARC, NRPARCBOLREC, IDPROTESTREC, DTEMISSAO, "
               "NRLICENCAUSO, IDCARTCOBREC, IDTPCTRECEBER, IDFORMCADBREC, CDFILORIG, "
               "TXMENSBOLBOL, DSBOLETREC) SELECT :nf, :nn, CDEMPRESA, CDCLIENTE, QTDIADEVOL, "
               "CDDIADEVOL, :g, :pm, :m, :pj, :v, :j, :due, 'A', CDTPBAIXAREC, CDREDUCONT, "
               "CDCARTCOBBOL, CDINS1COBBOL, CDINS2COBBOL, QTDIAPROTBOL, CDDIAPROTBOL, "
               "IDIMPRBOLBOL, :o, '00', :r, :p, IDPROTESTREC, DTEMISSAO, NRLICENCAUSO, "
               "IDCARTCOBREC, IDTPCTRECEBER, IDFORMCADBREC, CDFILORIG, TXMENSBOLBOL, :note FROM "
               "BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(branch), soci::use(number), soci::use(value), soci::use(pFine), soci::use(fine),
      soci::use(pInterest), soci::use(value), soci::use(interest), soci::use(due),
      soci::use(origin, oi), soci::use(reason, ri), soci::use(instalment, pi), soci::use(note),
      soci::use(from.branch), soci::use(from.number);
}

void loadPacket(CallContext& ctx, const Variant& arg, const records::Table& table,
                host::ClientDataset& ds) {
  try {
    ds.loadPacket(arg.packetJson());
    table.requireIn(ds);
  } catch (const std::exception& e) {
    throw Refusal("ARG_INVALIDO",
                  fmt::format("{}: {} malformado: {}", ctx.method(), table.dataset(), e.what()));
  }
}

std::string pad(const std::string& text, int width) {
  return rpc::detail::padded(host::AllTrim(text), width);
}

// ------------------------------------------------------------------ SetConfirmar

/// One instalment as the register sends it.
struct Row {
  std::string branch, number, instalment, reason, due;
  int64_t net = 0;
  bool inserted = false;
  // The values the register read (a modified row).
  std::string readBranch, readNumber, readDue;
  int64_t readNet = 0;
};

std::string isoDay(const Value& v) {
  return v.isNull() ? std::string() : v.asDate().iso().substr(0, 10);
}

std::vector<Row> rowsOf(CallContext& ctx, const nlohmann::json& packet) {
  host::ClientDataset ds("cdsParcelamento");
  loadPacket(ctx, Variant::packet(packet), records::cdsParcelamento(), ds);
  // The original values of each modified row, by position.
  std::map<size_t, nlohmann::json> originals;
  std::set<size_t> inserted;
  if (packet.contains("changes")) {
    for (const auto& c : packet.at("changes")) {
      const std::string kind = c.at("kind").get<std::string>();
      const size_t row = c.at("row").get<size_t>();
      if (kind == "delete")
        throw Refusal("ARG_INVALIDO",
                      "SetConfirmar: uma parcela é excluída pela exclusão de parcelas, não aqui.");
      if (kind == "insert") inserted.insert(row);
      if (kind == "modify") originals[row] = c.at("original");
    }
  }
  const auto& fields = packet.at("fields");
  auto column = [&](std::string_view name) -> size_t {
    for (size_t i = 0; i < fields.size(); ++i)
      if (fields[i].at("name").get<std::string>() == name) return i;
    return fields.size();
  };
  std::vector<Row> out;
  for (size_t r = 1; r <= ds.recordCount(); ++r) {
    Row row;
    row.branch = pad(ds.valueAt(r, fld::CDFILIAL).asString(), 4);
    row.number = pad(ds.valueAt(r, fld::NRLANBOLREC).asString(), 10);
    row.instalment = host::AllTrim(ds.valueAt(r, fld::NRPARCBOLREC).asString());
    row.reason = pad(ds.valueAt(r, fld::CDMOTIPARC).asString(), 2);
    row.due = isoDay(ds.valueAt(r, fld::DTVENBOLREC));
    row.net = centavos(ds.valueAt(r, fld::VRFINALBREC).asDouble());
    row.inserted = inserted.count(r - 1) > 0;
    row.readBranch = row.branch;
    row.readNumber = row.number;
    row.readDue = row.due;
    row.readNet = row.net;
    if (auto o = originals.find(r - 1); o != originals.end()) {
      const auto& orig = o->second;
      auto at = [&](std::string_view name) -> const nlohmann::json& {
        static const nlohmann::json null;
        const size_t i = column(name);
        return i < orig.size() ? orig.at(i) : null;
      };
      if (at("CDFILIAL").is_string()) row.readBranch = pad(at("CDFILIAL").get<std::string>(), 4);
      if (at("NRLANBOLREC").is_string())
        row.readNumber = pad(at("NRLANBOLREC").get<std::string>(), 10);
      row.readDue = at("DTVENBOLREC").is_string()
                        ? at("DTVENBOLREC").get<std::string>().substr(0, 10)
                        : std::string();
      row.readNet = at("VRFINALBREC").is_number() ? centavos(at("VRFINALBREC").get<double>()) : 0;
    } else if (!row.inserted) {
      continue;  // unchanged
    }
    out.push_back(std::move(row));
  }
  return out;
}

int instalmentNumber(const std::string& text) {
  const std::string t = host::AllTrim(text);
  return !t.empty() && host::IsDigits(t) ? std::stoi(t) : -1;
}

int64_t setConfirmar(CallContext& ctx, rpc::SetConfirmar& a) {
  const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
  a.CDFILIAL.set(branch);
  a.NRLANBOLREC.set(number);
  const Boleto split = requireBoleto(ctx, branch, number);
  std::string origin = a.NRORIGBOLREC.code();
  if (origin.empty()) origin = split.origin;
  const bool firstSplit = origin.empty();
  if (firstSplit) origin = split.number;
  if (!split.origin.empty() && split.origin != origin)
    throw Refusal("ALT_BLOQ", fmt::format("SetConfirmar: o boleto {}/{} é parcela da origem {}.",
                                          branch, number, split.origin));
  std::vector<Boleto> group =
      firstSplit ? std::vector<Boleto>{split} : instalmentsOf(ctx, branch, origin);
  if (group.empty()) group.push_back(split);
  std::map<std::string, Boleto*> byNumber;
  std::set<int> numbersUsed;
  int64_t before = 0;
  for (auto& b : group) {
    byNumber[b.number] = &b;
    before += b.net;
    numbersUsed.insert(firstSplit ? 1 : b.instalmentNumber());
  }

  const std::vector<Row> rows = rowsOf(ctx, a.cdsParcelamento.value().packetJson());
  if (rows.empty()) return static_cast<int64_t>(group.size());
  std::map<std::string, int64_t> newNet;  // existing boletos changed
  std::map<std::string, const Row*> changed;
  std::vector<const Row*> added;
  for (const auto& r : rows) {
    if (r.net <= 0)
      throw Refusal("ValParc>0", fmt::format("SetConfirmar: a parcela {} vale {}.", r.instalment,
                                             moneyText(r.net)));
    if (!r.reason.empty() &&
        countOf(ctx, "SELECT COUNT(*) FROM MOTIPARC WHERE CDMOTIPARC = :c", r.reason) == 0)
      throw Refusal("Motiparc_nc",
                    fmt::format("SetConfirmar: motivo {} não cadastrado.", r.reason));
    if (r.inserted) {
      const int n = instalmentNumber(r.instalment);
      if (n < 2 || !numbersUsed.insert(n).second)
        throw Refusal("ALT_BLOQ", fmt::format("SetConfirmar: a parcela \"{}\" já existe na origem "
                                              "{}.",
                                              r.instalment, origin));
      if (r.due.empty()) throw Refusal("DTPARC_INV", "SetConfirmar: parcela sem vencimento.");
      added.push_back(&r);
      continue;
    }
    auto it = byNumber.find(r.readNumber);
    if (r.readBranch != branch || it == byNumber.end())
      throw Refusal("ALT_BLOQ", fmt::format("SetConfirmar: o boleto {}/{} não é parcela da "
                                            "origem {}.",
                                            r.readBranch, r.readNumber, origin));
    const Boleto& b = *it->second;
    if (b.net != r.readNet || b.due != r.readDue)
      throw Refusal("ALT_BLOQ",
                    fmt::format("SetConfirmar: a parcela {}/{} foi alterada por outro usuário.",
                                b.branch, b.number));
    if (b.status == "B" || !b.writeOffNumber.empty())
      throw Refusal("ParcBaixada",
                    fmt::format("SetConfirmar: a parcela {}/{} está baixada.", b.branch, b.number));
    if (b.status == "D")
      throw Refusal("BOL_DESC", fmt::format("SetConfirmar: o boleto {}/{} está descontado.",
                                            b.branch, b.number));
    if ((r.net != b.net || r.due != b.due) && b.numbered())
      throw Refusal("NNUM_FIXO",
                    fmt::format("SetConfirmar: a parcela {}/{} já tem nosso número e código de "
                                "barras, que cobram {} com vencimento em {}.",
                                b.branch, b.number, moneyText(b.net), b.due));
    const int64_t adjustments = adjustmentsOf(ctx, b.branch, b.number);
    if (r.net != b.net && adjustments > 0 && r.net <= adjustments)
      throw Refusal("Valor_Menor", fmt::format("SetConfirmar: a parcela {}/{} deve valer mais que "
                                               "seus ajustes ({}).",
                                               b.branch, b.number, moneyText(adjustments)));
    newNet[b.number] = r.net;
    changed[b.number] = &r;
  }
  int64_t after = 0;
  for (const auto& b : group) {
    auto it = newNet.find(b.number);
    after += it == newNet.end() ? b.net : it->second;
  }
  for (const Row* r : added) after += r->net;
  if (after != before)
    throw Refusal("SomaParcIgualBolOrig",
                  fmt::format("SetConfirmar: as parcelas somam {}; a origem {} vale {}.",
                              moneyText(after), origin, moneyText(before)));
  // Due dates follow the instalment order.
  {
    std::map<int, std::string> dues;
    for (const auto& b : group) {
      auto it = changed.find(b.number);
      dues[firstSplit ? 1 : b.instalmentNumber()] = it == changed.end() ? b.due : it->second->due;
    }
    for (const Row* r : added) dues[instalmentNumber(r->instalment)] = r->due;
    std::string previous;
    for (const auto& [n, due] : dues) {
      if (!previous.empty() && !due.empty() && due < previous)
        throw Refusal("DTPARC_INV",
                      fmt::format("SetConfirmar: a parcela {} vence antes da anterior.", n));
      if (!due.empty()) previous = due;
    }
  }

  // --- writes
  if (firstSplit) {
    // What the boleto was before it was split, for the deletion of its last other instalment.
    ctx.sql() << "DELETE FROM PARCORIGEM WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number);
    soci::indicator pi = split.instalment.empty() ? soci::i_null : soci::i_ok;
    soci::indicator ri = split.reason.empty() ? soci::i_null : soci::i_ok;
    ctx.sql() << "INSERT INTO PARCORIGEM (CDFILIAL, NRLANBOLREC, NRPARCBOLREC, NRORIGBOLREC, "
                 "CDMOTIPARC, VRMULTABREC, VRMORDIABREC) VALUES (:f, :n, :p, NULL, :r, :m, :j)",
        soci::use(branch), soci::use(number), soci::use(split.instalment, pi),
        soci::use(split.reason, ri), soci::use(split.fine), soci::use(split.interest);
    ctx.sql() << "UPDATE BOLRECEBER SET NRORIGBOLREC = :o, NRPARCBOLREC = '01' WHERE CDFILIAL = "
                 ":f AND NRLANBOLREC = :n",
        soci::use(origin), soci::use(branch), soci::use(number);
  }
  for (auto& b : group) {
    auto it = changed.find(b.number);
    if (it == changed.end()) continue;
    const Row& r = *it->second;
    if (r.net != b.net) writeValue(ctx, b, r.net);
    const std::string due = r.due.empty() ? b.due : r.due;
    soci::indicator ri = r.reason.empty() ? soci::i_null : soci::i_ok;
    ctx.sql() << "UPDATE BOLRECEBER SET DTVENBOLREC = :d, CDMOTIPARC = :r WHERE CDFILIAL = :f AND "
                 "NRLANBOLREC = :n",
        soci::use(due), soci::use(r.reason, ri), soci::use(b.branch), soci::use(b.number);
  }
  const Boleto& source = group.front();
  for (const Row* r : added) {
    const std::string fresh = nextBoletoNumber(ctx, branch);
    const std::string instalment = fmt::format("{:02}", instalmentNumber(r->instalment));
    insertCopy(ctx, source, branch, fresh, r->net, r->due, source.pFine,
               fineValue(r->net, source.pFine, 0), source.pInterest,
               fineValue(r->net, source.pInterest, 0), origin, instalment,
               r->reason.empty() ? source.reason : r->reason,
               fmt::format("Parcela {} do boleto {}", instalment, origin));
  }
  if (a.NRPARCBOLRECVISU.value().empty() || host::AllTrim(a.NRPARCBOLRECVISU.value()) == "00")
    a.NRPARCBOLRECVISU.set("01");
  return static_cast<int64_t>(group.size() + added.size());
}

// ------------------------------------------------------------------ SetExclui

void setExclui(CallContext& ctx, rpc::SetExclui& a) {
  const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
  const Boleto given = requireBoleto(ctx, branch, number);
  std::string origin = a.NRORIGBOLREC.code();
  if (origin.empty()) origin = given.origin;
  std::vector<Boleto> group =
      origin.empty() ? std::vector<Boleto>{given} : instalmentsOf(ctx, branch, origin);
  if (group.size() < 2)
    throw Refusal("ParcOrigNaoExc",
                  fmt::format("SetExclui: a origem {} tem uma parcela só.", origin));
  const Boleto& last = group.back();
  const Boleto& previous = group[group.size() - 2];
  if (previous.number != number)
    throw Refusal("ALT_BLOQ", fmt::format("SetExclui: a penúltima parcela da origem {} é {}, não "
                                          "{}.",
                                          origin, previous.number, number));
  for (const auto& b : group)
    if (cleared(ctx, b))
      throw Refusal("PARCBOLCOMP",
                    fmt::format("SetExclui: a parcela {}/{} está compensada.", b.branch, b.number));
  if (last.status == "B" || !last.writeOffNumber.empty())
    throw Refusal("ParcBaix", fmt::format("SetExclui: a parcela {} está baixada.", last.number));
  // A number the bank may hold is never thrown away with its boleto.
  if (last.status == "E" || last.numbered())
    throw Refusal("ParcEmit", fmt::format("SetExclui: a parcela {} foi emitida.", last.number));
  if (last.status == "D")
    throw Refusal("BOL_DESC", fmt::format("SetExclui: a parcela {} está descontada.", last.number));
  if (previous.status == "B" || !previous.writeOffNumber.empty())
    throw Refusal("ParcJaBaix",
                  fmt::format("SetExclui: a parcela {} está baixada.", previous.number));
  if (previous.status == "E" || previous.numbered())
    throw Refusal("ParcJaEmit",
                  fmt::format("SetExclui: a parcela {} foi emitida.", previous.number));
  if (adjustmentsOf(ctx, last.branch, last.number) > 0)
    throw Refusal("BOLPOSAJ", fmt::format("SetExclui: a parcela {} tem ajustes.", last.number));

  // Whatever hangs on the deleted boleto goes with it, or to the instalment taking its value.
  for (const char* table : {"CHEQUEBOLREC", "CARTAOBOLREC", "TPRECBOLETO", "PRORROGACAO"}) {
    ctx.sql() << fmt::format("DELETE FROM {} WHERE CDFILIAL = :f AND NRLANBOLREC = :n", table),
        soci::use(last.branch), soci::use(last.number);
  }
  ctx.sql() << "UPDATE CTRECEBER SET CDFILBOLREC = :pf, NRLANBOLREC = :pn WHERE CDFILBOLREC = :f "
               "AND NRLANBOLREC = :n",
      soci::use(previous.branch), soci::use(previous.number), soci::use(last.branch),
      soci::use(last.number);
  ctx.sql() << "DELETE FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(last.branch), soci::use(last.number);
  writeValue(ctx, previous, previous.net + last.net);
  if (group.size() == 2 && previous.number == origin) {
    // The origin alone again: what it was before its first split, when that was recorded.
    soci::rowset<soci::row> saved =
        (ctx.sql().prepare << "SELECT NRPARCBOLREC, NRORIGBOLREC, CDMOTIPARC, VRMULTABREC, "
                              "VRMORDIABREC FROM PARCORIGEM WHERE CDFILIAL = :f AND NRLANBOLREC "
                              "= :n",
         soci::use(previous.branch), soci::use(previous.number));
    for (const auto& r : saved) {
      const std::string p = textAt(r, 0), o = textAt(r, 1), m = textAt(r, 2);
      const double fine = numberAt(r, 3), interest = numberAt(r, 4);
      soci::indicator pi = p.empty() ? soci::i_null : soci::i_ok;
      soci::indicator oi = o.empty() ? soci::i_null : soci::i_ok;
      soci::indicator mi = m.empty() ? soci::i_null : soci::i_ok;
      ctx.sql() << "UPDATE BOLRECEBER SET NRPARCBOLREC = :p, NRORIGBOLREC = :o, CDMOTIPARC = :m, "
                   "VRMULTABREC = :vm, VRMORDIABREC = :vj WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
          soci::use(p, pi), soci::use(o, oi), soci::use(m, mi), soci::use(fine),
          soci::use(interest), soci::use(previous.branch), soci::use(previous.number);
      break;
    }
    ctx.sql() << "DELETE FROM PARCORIGEM WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(previous.branch), soci::use(previous.number);
  }
}

// ------------------------------------------------------------------ SeparaBoleto

std::string separaBoleto(CallContext& ctx, rpc::SeparaBoleto& a) {
  const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
  const Boleto b = requireBoleto(ctx, branch, number);
  if (!a.CDEMPRESA.value().empty() && a.CDEMPRESA.code() != b.company)
    throw Refusal("ARG_INVALIDO", fmt::format("SeparaBoleto: o boleto {}/{} é da empresa {}.",
                                              branch, number, b.company));
  if (b.status != "A" || !b.writeOffNumber.empty())
    throw Refusal("1BOL_BAIXADO", fmt::format("SeparaBoleto: o boleto {}/{} não está pendente "
                                              "({}).",
                                              branch, number, b.status));
  if (cleared(ctx, b))
    throw Refusal("SEPBOLCOMP",
                  fmt::format("SeparaBoleto: o boleto {}/{} está compensado.", branch, number));
  if (!b.origin.empty() && instalmentsOf(ctx, branch, b.origin).size() > 1)
    throw Refusal("CNT_PREV", fmt::format("SeparaBoleto: o boleto {}/{} é parcela da origem {}.",
                                          branch, number, b.origin));
  const std::string target = a.FiliProc.value().empty() ? branch : pad(a.FiliProc.value(), 4);
  if (countOf(ctx, "SELECT COUNT(*) FROM FILIAL WHERE CDFILIAL = :f AND CDEMPRESA = :e", target,
              b.company) == 0)
    throw Refusal("Filial_inf",
                  fmt::format("SeparaBoleto: a filial {} não é da empresa {}.", target, b.company));
  struct Receivable {
    std::string branch, number;
    int64_t balance;
  };
  std::vector<Receivable> receivables;
  {
    soci::rowset<soci::row> rows =
        (ctx.sql().prepare << "SELECT CDFILIAL, NRCTRECEBER, COALESCE(VRSALDOREC, VRCTRECEBER) "
                              "FROM CTRECEBER WHERE CDFILBOLREC = :f AND NRLANBOLREC = :n ORDER "
                              "BY CDFILIAL, NRCTRECEBER",
         soci::use(branch), soci::use(number));
    for (const auto& r : rows)
      receivables.push_back({textAt(r, 0), textAt(r, 1), centavos(numberAt(r, 2))});
  }
  if (receivables.size() < 2)
    throw Refusal("ARG_INVALIDO", fmt::format("SeparaBoleto: o boleto {}/{} reúne {} conta(s).",
                                              branch, number, receivables.size()));
  // Together the new boletos are worth exactly what the boleto was: its adjustments stay on
  // the first one.
  int64_t total = 0;
  for (const auto& r : receivables) total += r.balance;
  receivables.front().balance += b.net - total;
  for (const auto& r : receivables)
    if (r.balance <= 0)
      throw Refusal("Valor_Menor", fmt::format("SeparaBoleto: a conta {}/{} ficaria com {}.",
                                               r.branch, r.number, moneyText(r.balance)));
  const auto& dueArg = a.DTVENBOLREC.value();
  const std::string due = dueArg ? dueArg->iso().substr(0, 10) : b.due;
  const double pFine = a.VRPEMULBREC.value(), pInterest = a.VRPEMORBREC.value();
  std::string keys;
  for (const auto& r : receivables) {
    const std::string fresh = nextBoletoNumber(ctx, target);
    insertCopy(ctx, b, target, fresh, r.balance, due, pFine,
               fineValue(r.balance, pFine, a.VRMULTABREC.value()), pInterest,
               fineValue(r.balance, pInterest, a.VRMORDIABREC.value()), "", "", "",
               fmt::format("Separado do boleto {}/{}", branch, number));
    ctx.sql() << "UPDATE CTRECEBER SET CDFILBOLREC = :nf, NRLANBOLREC = :nn WHERE CDFILIAL = :f "
                 "AND NRCTRECEBER = :c",
        soci::use(target), soci::use(fresh), soci::use(r.branch), soci::use(r.number);
    keys += (keys.empty() ? "" : ",") + target + fresh;
  }
  // The boleto is closed with its codes: a bank may still hold its number.
  // Bound by reference: the text must outlive the statement.
  const std::string note = fmt::format("Separado nos boletos {}", keys).substr(0, 255);
  ctx.sql() << "UPDATE BOLRECEBER SET IDSTATBREC = 'B', DSBOLETREC = :d WHERE CDFILIAL = :f AND "
               "NRLANBOLREC = :n",
      soci::use(note), soci::use(branch), soci::use(number);
  return keys;
}

// ------------------------------------------------------------------ adjustments

/// A money text as the register writes it ("-50.00", "1.234,56").
std::optional<int64_t> centavosOf(std::string text) {
  text = host::AllTrim(text);
  if (text.empty()) return 0;
  if (text.find(',') != std::string::npos) {
    std::string t;
    for (char c : text)
      if (c != '.') t += c == ',' ? '.' : c;
    text = t;
  }
  try {
    size_t used = 0;
    const double v = std::stod(text, &used);
    if (used != text.size() || !std::isfinite(v)) return std::nullopt;
    return centavos(v);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void setUpdateVrBoleto(CallContext& ctx, rpc::SetUpdateVrBoleto& a) {
  const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
  const Boleto b = requireBoleto(ctx, branch, number);
  if (b.status == "B" || !b.writeOffNumber.empty())
    throw Refusal("BOL_BAIXA",
                  fmt::format("SetUpdateVrBoleto: o boleto {}/{} está baixado.", branch, number));
  if (b.status == "D")
    throw Refusal("BOL_DESC", fmt::format("SetUpdateVrBoleto: o boleto {}/{} está descontado.",
                                          branch, number));
  if (b.net != centavos(a.VRFINALBREC.value()))
    throw Refusal("ALT_BLOQ", fmt::format("SetUpdateVrBoleto: o boleto {}/{} vale {} agora.",
                                          branch, number, moneyText(b.net)));
  const auto& delta = a.cdsAjBolRec.value().packetJson();
  int64_t reversal = 0;
  int deleted = 0;
  try {
    const auto& fields = delta.at("fields");
    auto column = [&](std::string_view name) {
      for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].at("name").get<std::string>() == name) return i;
      throw Refusal("ARG_INVALIDO", fmt::format("SetUpdateVrBoleto: cdsAjBolRec sem {}.", name));
    };
    const size_t code = column("CDAJUCTREC"), value = column("VRAJBOLREC");
    if (!delta.contains("changes"))
      throw Refusal("ARG_INVALIDO", "SetUpdateVrBoleto: sem exclusão.");
    for (const auto& c : delta.at("changes")) {
      if (c.at("kind").get<std::string>() != "delete")
        throw Refusal("ARG_INVALIDO",
                      "SetUpdateVrBoleto: o pacote de ajustes só pode trazer exclusões.");
      const auto& orig = c.at("original");
      const std::string cd =
          pad(orig.at(code).is_string() ? orig.at(code).get<std::string>() : "", 4);
      const int64_t v = centavos(orig.at(value).is_number() ? orig.at(value).get<double>() : 0);
      soci::rowset<soci::row> rows =
          (ctx.sql().prepare << "SELECT A.NRSEQAJUSTE, A.VRAJUSTE, COALESCE(A.IDORIGAJBREC, ''), "
                                "COALESCE(A.IDAJUCTREC, T.IDAJUCTREC) FROM AJUSTEBOLREC A LEFT "
                                "JOIN TIPOAJREC T ON T.CDAJUCTREC = A.CDAJUCTREC WHERE A.CDFILIAL "
                                "= :f AND A.NRLANBOLREC = :n AND A.CDAJUCTREC = :c ORDER BY "
                                "A.NRSEQAJUSTE",
           soci::use(branch), soci::use(number), soci::use(cd));
      std::optional<int64_t> seq;
      std::string origin, kind;
      for (const auto& r : rows) {
        if (centavos(numberAt(r, 1)) != v) continue;
        seq = static_cast<int64_t>(numberAt(r, 0));
        origin = textAt(r, 2);
        kind = textAt(r, 3);
        break;
      }
      if (!seq)
        throw Refusal("ALT_BLOQ", fmt::format("SetUpdateVrBoleto: o ajuste {} de {} não existe "
                                              "mais no boleto {}/{}.",
                                              cd, moneyText(v), branch, number));
      if (origin == "4")
        throw Refusal("AJBOLCOMP", "SetUpdateVrBoleto: ajuste de uma compensação bancária.");
      if (origin == "2")
        throw Refusal("AjNfDup_NotDel", "SetUpdateVrBoleto: ajuste feito por nota fiscal.");
      // A discount given back raises the boleto; an addition taken away lowers it.
      reversal += kind == "D" ? v : -v;
      ctx.sql() << "DELETE FROM AJUSTEBOLREC WHERE CDFILIAL = :f AND NRLANBOLREC = :n AND "
                   "NRSEQAJUSTE = :s",
          soci::use(branch), soci::use(number), soci::use(*seq);
      ++deleted;
    }
  } catch (const nlohmann::json::exception& e) {
    throw Refusal("ARG_INVALIDO",
                  fmt::format("SetUpdateVrBoleto: pacote malformado: {}", e.what()));
  }
  if (deleted == 0) throw Refusal("ARG_INVALIDO", "SetUpdateVrBoleto: nenhum ajuste excluído.");
  const auto sent = centavosOf(a.estorno.value());
  if (!sent || *sent != reversal)
    throw Refusal("ARG_INVALIDO", fmt::format("SetUpdateVrBoleto: o estorno enviado ({}) não é o "
                                              "dos ajustes excluídos ({}).",
                                              a.estorno.value(), moneyText(reversal)));
  const int64_t net = b.net + reversal;
  if (net < 0)
    throw Refusal("Bol_Negativo", fmt::format("SetUpdateVrBoleto: o boleto {}/{} ficaria com {}.",
                                              branch, number, moneyText(net)));
  if (b.numbered())
    throw Refusal("NNUM_FIXO", fmt::format("SetUpdateVrBoleto: o boleto {}/{} já tem código de "
                                           "barras para {}.",
                                           branch, number, moneyText(b.net)));
  // The adjustment changes the net value only: the gross value is what was sold.
  const double netValue = reais(net);
  const double fine = fineValue(net, b.pFine, b.fine),
               interest = fineValue(net, b.pInterest, b.interest);
  ctx.sql() << "UPDATE BOLRECEBER SET VRFINALBREC = :v, VRMULTABREC = :m, VRMORDIABREC = :j "
               "WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(netValue), soci::use(fine), soci::use(interest), soci::use(branch),
      soci::use(number);
  const std::string seq = host::AllTrim(a.NRSEQTPRECBO.value());
  if (!seq.empty() && host::IsDigits(seq)) {
    const auto value = centavosOf(a.valorTpRec.value());
    if (!value || *value < 0)
      throw Refusal("ARG_INVALIDO", fmt::format("SetUpdateVrBoleto: valor do tipo de recebimento "
                                                "inválido: \"{}\".",
                                                a.valorTpRec.value()));
    const double v = reais(*value);
    const int s = std::stoi(seq);
    ctx.sql() << "UPDATE TPRECBOLETO SET VRTPRECBO = :v WHERE CDFILIAL = :f AND NRLANBOLREC = :n "
                 "AND NRSEQTPRECBO = :s",
        soci::use(v), soci::use(branch), soci::use(number), soci::use(s);
  }
  const std::string answer = fmt::format("{:.2f}", reais(reversal));
  a.estorno.set(answer);
  a.estornoCopia.set(answer);
}

// ------------------------------------------------------------------ SetConfirmaBaixa

std::string setConfirmaBaixa(CallContext& ctx, rpc::SetConfirmaBaixa& a) {
  const std::string company = ctx.company();
  if (!a.CDEMPRESA.value().empty()) ctx.requireCompany(a.CDEMPRESA.code());
  a.CDEMPRESA.set(company);
  const std::string account = pad(a.CDREDUCONT.value(), 3);
  const std::string type = pad(a.CDTPBAIXAREC.value(), 2);
  if (account.empty() ||
      countOf(ctx, "SELECT COUNT(*) FROM CONTCORR WHERE CDEMPRESA = :e AND CDREDUCONT = :c",
              company, account) == 0)
    throw Refusal("CCC_N_CAD", fmt::format("SetConfirmaBaixa: conta {} não cadastrada.", account));
  if (type.empty() ||
      countOf(ctx, "SELECT COUNT(*) FROM TIPOBAIXA WHERE CDTPBAIXAREC = :t", type) == 0)
    throw Refusal("TPBX_N_CAD",
                  fmt::format("SetConfirmaBaixa: tipo de baixa {} não cadastrado.", type));
  const auto& date = a.dtBaixa.value();
  if (!date) throw Refusal("DATA_INF", "SetConfirmaBaixa: data da baixa não informada.");
  if (host::AllTrim(a.periodo.value()) != date->format("yyyymm"))
    throw Refusal("ARG_INVALIDO", fmt::format("SetConfirmaBaixa: o período {} não é o da data {}.",
                                              a.periodo.value(), date->format("dd/mm/yyyy")));
  host::ClientDataset marked("cdsMarca");
  loadPacket(ctx, a.cdsMarca.value(), records::cdsChaveBol(), marked);
  if (marked.isEmpty()) return {};

  // Every boleto is checked before anything is written.
  struct Target {
    std::string branch, number;
    int64_t net;
  };
  std::vector<Target> targets;
  targets.reserve(marked.recordCount());
  std::set<std::string> seen;
  const bool withValue = marked.fieldIndex(fld::VRFINALBREC) >= 0;
  {
    std::string b, n, owner, status, writeOff;
    double net = 0;
    int64_t clearedCount = 0;
    soci::indicator iOwner, iStatus, iWriteOff, iNet;
    soci::statement st =
        (ctx.sql().prepare << "SELECT B.CDEMPRESA, B.IDSTATBREC, B.NRBAIXAREC, B.VRFINALBREC, "
                              "(SELECT COUNT(*) FROM COMPENSACAO C WHERE C.CDFILIAL = B.CDFILIAL "
                              "AND C.NRLANBOLREC = B.NRLANBOLREC) FROM BOLRECEBER B WHERE "
                              "B.CDFILIAL = :f AND B.NRLANBOLREC = :n",
         soci::use(b), soci::use(n), soci::into(owner, iOwner), soci::into(status, iStatus),
         soci::into(writeOff, iWriteOff), soci::into(net, iNet), soci::into(clearedCount));
    for (size_t r = 1; r <= marked.recordCount(); ++r) {
      b = pad(marked.valueAt(r, fld::CDFILIAL).asString(), 4);
      n = pad(marked.valueAt(r, fld::NRLANBOLREC).asString(), 10);
      if (!seen.insert(b + n).second)
        throw Refusal("CNT_DUP",
                      fmt::format("SetConfirmaBaixa: o boleto {}/{} veio duas vezes.", b, n));
      const bool found = st.execute(true);
      if (!found || iOwner != soci::i_ok || host::AllTrim(owner) != company)
        throw Refusal("BOL_NC",
                      fmt::format("Boleto {}/{} não cadastrado para a empresa {}.", b, n, company));
      const std::string s = iStatus == soci::i_ok ? host::AllTrim(status) : std::string();
      if ((s != "A" && s != "E") || (iWriteOff == soci::i_ok && !host::AllTrim(writeOff).empty()))
        throw Refusal("2BOL_BAIXADO", fmt::format("SetConfirmaBaixa: o boleto {}/{} não está "
                                                  "aberto ({}).",
                                                  b, n, s));
      if (clearedCount > 0)
        throw Refusal("2BOL_BAIXADO",
                      fmt::format("SetConfirmaBaixa: o boleto {}/{} está compensado.", b, n));
      const int64_t stored = iNet == soci::i_ok ? centavos(net) : 0;
      if (withValue && centavos(marked.valueAt(r, fld::VRFINALBREC).asDouble()) != stored)
        throw Refusal("VRBOL_Dif", fmt::format("SetConfirmaBaixa: o boleto {}/{} vale {} agora.", b,
                                               n, moneyText(stored)));
      targets.push_back({b, n, stored});
    }
  }
  const std::string writeOff =
      fmt::format("{:010}", nextSequence(ctx.sql(), company, "BAIXAPERDA"));
  int64_t total = 0;
  for (const auto& t : targets) total += t.net;
  {
    const std::string branch = pad(a.FiliProc.value(), 4);
    const std::string day = date->iso().substr(0, 10);
    const std::string period = date->format("yyyymm");
    const std::string op = a.CDOPERADOR.value().empty() ? ctx.operatorCode() : a.CDOPERADOR.value();
    const double value = reais(total);
    const int qty = static_cast<int>(targets.size());
    const std::string now = ctx.now().iso();
    ctx.sql() << "INSERT INTO BAIXAPERDA (NRBAIXAREC, CDEMPRESA, CDFILIAL, CDREDUCONT, "
                 "CDTPBAIXAREC, DTBAIXA, NRPERIODO, CDOPERADOR, VRBAIXA, QTBOLETOS, DTREGISTRO) "
                 "VALUES (:nr, :e, :f, :c, :t, :d, :p, :o, :v, :q, :r)",
        soci::use(writeOff), soci::use(company), soci::use(branch), soci::use(account),
        soci::use(type), soci::use(day), soci::use(period), soci::use(op), soci::use(value),
        soci::use(qty), soci::use(now);
  }
  {
    std::string b, n;
    double value = 0;
    const std::string day = date->iso().substr(0, 10);
    soci::statement boleto = (ctx.sql().prepare << "UPDATE BOLRECEBER SET IDSTATBREC = 'B', "
                                                   "CDTPBAIXAREC = :t, NRBAIXAREC = :nr WHERE "
                                                   "CDFILIAL = :f AND NRLANBOLREC = :n",
                              soci::use(type), soci::use(writeOff), soci::use(b), soci::use(n));
    soci::statement receivables =
        (ctx.sql().prepare << "UPDATE CTRECEBER SET IDSTATCTREC = 'B', CDTPBAIXAREC = :t, "
                              "DTBAIXAREC = :d, VRSALDOREC = 0 WHERE CDFILBOLREC = :f AND "
                              "NRLANBOLREC = :n",
         soci::use(type), soci::use(day), soci::use(b), soci::use(n));
    soci::statement line = (ctx.sql().prepare << "INSERT INTO BAIXAPERDABOL (CDFILIAL, "
                                                 "NRLANBOLREC, NRBAIXAREC, VRBAIXA) VALUES (:f, "
                                                 ":n, :nr, :v)",
                            soci::use(b), soci::use(n), soci::use(writeOff), soci::use(value));
    for (const auto& t : targets) {
      b = t.branch;
      n = t.number;
      value = reais(t.net);
      line.execute(true);
      boleto.execute(true);
      receivables.execute(true);
    }
  }
  return writeOff;
}

}  // namespace

void registerParcelas(Dispatcher& d) {
  d.on<rpc::GetMotivoParc>([](CallContext& ctx, rpc::GetMotivoParc& a) {
    const bool all = a.todos.value() == "T";
    return packetOf(ctx,
                    "SELECT CDMOTIPARC, DSMOTIPARC FROM MOTIPARC WHERE (CDMOTIPARC = :c OR :t = "
                    "'T') ORDER BY CDMOTIPARC",
                    {Value(a.CDMOTIPARC.code()), Value(all ? "T" : "")},
                    records::cdsMotivoParc().fields());
  });
  d.on<rpc::VdNovoValorContas>([](CallContext& ctx, rpc::VdNovoValorContas& a) {
    const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
    a.CDFILIAL.set(branch);
    a.NRLANBOLREC.set(number);
    requireBoleto(ctx, branch, number);
    const int64_t adjustments = adjustmentsOf(ctx, branch, number);
    const int64_t wanted = centavos(a.VRFINALBREC.value());
    return Variant(adjustments > 0 && wanted <= adjustments ? reais(adjustments + 1) : 0.0);
  });
  d.on<rpc::SetConfirmar>([](CallContext& ctx, rpc::SetConfirmar& a) {
    try {
      return Variant(setConfirmar(ctx, a));
    } catch (const nlohmann::json::exception& e) {
      throw Refusal("ARG_INVALIDO", fmt::format("SetConfirmar: pacote malformado: {}", e.what()));
    }
  });
  d.on<rpc::SetExclui>([](CallContext& ctx, rpc::SetExclui& a) {
    setExclui(ctx, a);
    return Variant(int64_t{1});
  });
  d.on<rpc::CancelaEmissao>([](CallContext& ctx, rpc::CancelaEmissao& a) {
    const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
    const Boleto b = requireBoleto(ctx, branch, number);
    if (b.status != "E")
      throw Refusal("BOL_NEMIT", fmt::format("CancelaEmissao: o boleto {}/{} não está emitido "
                                             "({}).",
                                             branch, number, b.status));
    if (!b.writeOffNumber.empty() || cleared(ctx, b))
      throw Refusal("BOL_BAIXA", fmt::format("CancelaEmissao: o boleto {}/{} está baixado ou "
                                             "compensado.",
                                             branch, number));
    // The nosso número, barcode and typed line stay: the bank may hold them, and the next
    // emission prints the same boleto again. Without the operator's flag the print model is
    // forgotten, so the next emission is a first one.
    const bool keepModel = !host::AllTrim(a.IDBOLEMITIDO.value()).empty();
    const std::string model = keepModel ? b.printModel : std::string();
    soci::indicator mi = model.empty() ? soci::i_null : soci::i_ok;
    ctx.sql() << "UPDATE BOLRECEBER SET IDSTATBREC = 'A', IDBOLEMITIDO = :m, DTEMITBOLREC = NULL "
                 "WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(model, mi), soci::use(branch), soci::use(number);
    a.CDNOSNUMREC.set(b.nossoNumero);
    a.IDBOLEMITIDO.set(model);
    return Variant(int64_t{1});
  });
  d.on<rpc::SeparaBoleto>([](CallContext& ctx, rpc::SeparaBoleto& a) {
    const std::string keys = separaBoleto(ctx, a);
    a.separados.set(keys);
    return Variant(keys);
  });
  d.on<rpc::GetVerifAjBolRec>([](CallContext& ctx, rpc::GetVerifAjBolRec& a) {
    const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
    requireBoleto(ctx, branch, number);
    return packetOf(ctx,
                    "SELECT CDFILIAL, NRLANBOLREC, CDAJUCTREC, IDORIGAJBREC FROM AJUSTEBOLREC "
                    "WHERE CDFILIAL = :f AND NRLANBOLREC = :n AND CDAJUCTREC = :c AND "
                    "IDORIGAJBREC = '2' ORDER BY NRSEQAJUSTE",
                    {Value(branch), Value(number), Value(a.CDAJUCTREC.code())},
                    records::cdsVerifAjBolRec().fields());
  });
  d.on<rpc::SetUpdateVrBoleto>([](CallContext& ctx, rpc::SetUpdateVrBoleto& a) {
    setUpdateVrBoleto(ctx, a);
    return Variant(int64_t{1});
  });
  d.on<rpc::GetValAdian>([](CallContext& ctx, rpc::GetValAdian& a) {
    const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
    requireBoleto(ctx, branch, number);
    return packetOf(ctx,
                    "SELECT CDFILIAL, NRCTRECEBER, IDTPCTRECEBER FROM CTRECEBER WHERE CDFILBOLREC "
                    "= :f AND NRLANBOLREC = :n AND IDTPCTRECEBER = 'A' ORDER BY CDFILIAL, "
                    "NRCTRECEBER",
                    {Value(branch), Value(number)}, records::cdsValAdian().fields());
  });
  d.on<rpc::SetConfirmaBaixa>(
      [](CallContext& ctx, rpc::SetConfirmaBaixa& a) { return Variant(setConfirmaBaixa(ctx, a)); });
}

}  // namespace service
