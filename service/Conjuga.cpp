// The carnê's related instalments and the association of many customers' boletos: the
// candidates, the cleared check, and the association itself, which replaces the boletos of
// each customer by one new boleto for exactly their total, in one transaction.

#include "service/Conjuga.h"

#include <fmt/format.h>

#include <cmath>
#include <map>
#include <set>

#include "host/ClientDataset.h"
#include "host/Consiste.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"
#include "service/Rows.h"

namespace service {

namespace {

using host::Value;
using remote::Variant;
namespace fld = records::fld;

std::string money(int64_t c) {
  return fmt::format("{}{}.{:02}", c < 0 ? "-" : "", std::llabs(c) / 100, std::llabs(c) % 100);
}

/// What the candidates' columns are read from; a column no table holds is null.
std::string candidateColumn(const std::string& name) {
  static const std::set<std::string> boleto{
      "CDFILIAL",       "NRLANBOLREC",   "CDCLIENTE",    "IDUTLICEUSO",   "CDEMPRESA",
      "VRBOLREC",       "VRPEMULBREC",   "VRMULTABREC",  "VRPEMORBREC",   "VRFINALBREC",
      "VRMORDIABREC",   "DTVENBOLREC",   "IDSTATBREC",   "CDTPBAIXAREC",  "CDREDUCONT",
      "CDNOSNUMREC",    "CDCARTCOBBOL",  "CDINS1COBBOL", "CDINS2COBBOL",  "QTDIAPROTBOL",
      "IDIMPRBOLBOL",   "CDBARRAREC",    "NRORIGBOLREC", "IDSITUCNABR",   "NRCNABRECREM",
      "NRCNABRECRET",   "CDMOTIPARC",    "NRPARCBOLREC", "DSLINHABARREC", "IDPROTESTREC",
      "DTINIPROTREC",   "DTFIMPROTREC",  "CDDIAPROTBOL", "NRMOVICRED",    "IDCARTCOBREC",
      "VRTAXACARTORIO", "NRORCAEVENTO",  "IDBOLEMITIDO", "NRSEQORCAEVE",  "CDDEPIDENREC",
      "NF_ORCAMENTO",   "CDMOTIPROR",    "DTEMISSAO",    "NRLICENCAUSO",  "IDTPCTRECEBER",
      "IDBOLRECALTER",  "IDFORMCADBREC", "IDBAIXAUTILR", "QTDIADEVOL",    "CDDIADEVOL",
      "CDFILORIG"};
  static const std::set<std::string> account{"CDBANCO",      "CDAGENCIA",    "CDCONTCORR",
                                             "DSCONTCORR",   "CDPICTCONT",   "CDBANCCNAB",
                                             "DSARQBOLCOMP", "DSARQBOLPREI", "CDPICTAGEN"};
  static const std::set<std::string> customer{"NMRAZSOCCLIE", "NMFANTCLIE",   "DSEMAILCLIE",
                                              "NRINSJURCLIE", "IDTPIJURCLIE", "DSEMAILCLIECOP"};
  if (boleto.count(name)) return "B." + name;
  if (account.count(name)) return "K." + name;
  if (customer.count(name)) return "C." + name;
  if (name == "NMTPBAIXAREC") return "T.NMTPBAIXAREC";
  if (name == "CDFILIEMIT") return "B.CDFILIAL";
  if (name == "FTR_DSBOLETREC") return "B.DSBOLETREC";
  if (name.starts_with("FTR_")) {
    const std::string base = name.substr(4);
    if (boleto.count(base)) return "B." + base;
    if (customer.count(base)) return "C." + base;
    if (base == "CDFILIEMIT") return "B.CDFILIAL";
  }
  return "NULL";
}

/// A list text ("0001,0002"): its codes, padded to `width`.
std::vector<std::string> listCodes(const std::string& text, size_t width) {
  std::vector<std::string> out;
  std::string item;
  auto flush = [&] {
    const std::string code = host::AllTrim(item);
    if (!code.empty()) out.push_back(host::Ajusta(code, width));
    item.clear();
  };
  for (char c : text) {
    if (c == ',' || c == ';')
      flush();
    else
      item += c;
  }
  flush();
  return out;
}

/// One boleto as the association reads it before replacing it.
struct Stored {
  std::string company, customer, status;
  int64_t net = 0, gross = 0;
};

std::optional<Stored> storedBoleto(CallContext& ctx, const std::string& branch,
                                   const std::string& number) {
  Stored s;
  double net = 0, gross = 0;
  soci::indicator i1, i2, i3, i4, i5;
  ctx.sql() << "SELECT CDEMPRESA, CDCLIENTE, IDSTATBREC, VRFINALBREC, VRBOLREC FROM BOLRECEBER "
               "WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(branch), soci::use(number), soci::into(s.company, i1), soci::into(s.customer, i2),
      soci::into(s.status, i3), soci::into(net, i4), soci::into(gross, i5);
  if (!ctx.sql().got_data()) return std::nullopt;
  s.net = centavos(net);
  s.gross = centavos(gross);
  return s;
}

int count(CallContext& ctx, const std::string& query, const std::string& a, const std::string& b) {
  int n = 0;
  ctx.sql() << query, soci::use(a), soci::use(b), soci::into(n);
  return n;
}

}  // namespace

void loadPacket(CallContext& ctx, const Variant& arg, const records::Table& table,
                host::ClientDataset& ds) {
  try {
    ds.loadPacket(arg.packetJson());
    table.requireIn(ds);
  } catch (const std::exception& e) {
    throw Refusal("ARG_INVALIDO", fmt::format("{}: {} is not a packet of {}: {}", ctx.method(),
                                              table.dataset(), table.dataset(), e.what()));
  }
}

std::map<std::string, Joined> checkReplaced(CallContext& ctx, const std::string& company,
                                            const host::ClientDataset& replaced) {
  std::map<std::string, Joined> byCustomer;
  std::set<std::string> seen;
  const std::string method = ctx.method();
  for (size_t r = 1; r <= replaced.recordCount(); ++r) {
    const std::string b =
        host::Ajusta(host::AllTrim(replaced.valueAt(r, fld::CDFILIAL).asString()), 4);
    const std::string n =
        host::Ajusta(host::AllTrim(replaced.valueAt(r, fld::NRLANBOLREC).asString()), 10);
    const std::string customer = host::AllTrim(replaced.valueAt(r, fld::CDCLIENTE).asString());
    if (!seen.insert(b + n).second)
      throw Refusal("CNT_DUP", fmt::format("{}: boleto {}/{} twice", method, b, n));
    const auto s = storedBoleto(ctx, b, n);
    if (!s || s->company != company)
      throw Refusal("BOL_NC",
                    fmt::format("Boleto {}/{} não cadastrado para a empresa {}.", b, n, company));
    if (s->status != "A")
      throw Refusal("BOL_BAIXADO",
                    fmt::format("{}: boleto {}/{} is not open ({})", method, b, n, s->status));
    if (host::AllTrim(s->customer) != customer)
      throw Refusal("ARG_INVALIDO", fmt::format("{}: boleto {}/{} is of customer {}, not {}",
                                                method, b, n, s->customer, customer));
    if (s->net != centavos(replaced.valueAt(r, fld::VRFINALBREC).asDouble()))
      throw Refusal("VRBOL_Dif",
                    fmt::format("{}: boleto {}/{} is worth {} now", method, b, n, money(s->net)));
    if (count(ctx, "SELECT COUNT(*) FROM COMPENSACAO WHERE CDFILIAL = :f AND NRLANBOLREC = :n", b,
              n) > 0)
      throw Refusal("BOL_BAIXADO", fmt::format("{}: boleto {}/{} is cleared", method, b, n));
    if (count(ctx,
              "SELECT COUNT(*) FROM BOLRECEBER P JOIN BOLRECEBER B ON P.CDFILIAL = B.CDFILIAL "
              "AND P.NRORIGBOLREC = B.NRORIGBOLREC WHERE B.CDFILIAL = :f AND B.NRLANBOLREC = :n "
              "AND COALESCE(B.NRORIGBOLREC, '') <> ''",
              b, n) > 1)
      throw Refusal("CNT_PREV", fmt::format("{}: boleto {}/{} is an instalment", method, b, n));
    Joined& j = byCustomer[customer];
    j.parts.emplace_back(b, n);
    j.net += s->net;
    j.gross += s->gross;
  }
  return byCustomer;
}

std::string associationBranch(CallContext& ctx, const std::string& given,
                              const std::string& company) {
  const std::string branch = given.empty() ? std::string() : host::Ajusta(host::AllTrim(given), 4);
  if (count(ctx, "SELECT COUNT(*) FROM FILIAL WHERE CDFILIAL = :f AND CDEMPRESA = :e", branch,
            company) == 0)
    throw Refusal("Filial_inf", fmt::format("{}: branch \"{}\" is not one of company {}",
                                            ctx.method(), branch, company));
  return branch;
}

std::string storeJoined(CallContext& ctx, const std::string& branch, const Joined& joined,
                        const host::DateTime& due, const std::string& type,
                        const std::string& account) {
  std::string last;
  soci::indicator ind = soci::i_null;
  ctx.sql() << "SELECT MAX(NRLANBOLREC) FROM BOLRECEBER WHERE CDFILIAL = :f", soci::use(branch),
      soci::into(last, ind);
  const int64_t next =
      (ind == soci::i_ok && host::IsDigits(host::AllTrim(last)) ? std::stoll(host::AllTrim(last))
                                                                : 0) +
      1;
  const std::string number = fmt::format("{:010}", next);
  const auto& [firstBranch, firstNumber] = joined.parts.front();
  const std::string dueText = due.iso();
  const std::string today = ctx.today().iso();
  const double netValue = static_cast<double>(joined.net) / 100.0;
  const double grossValue = static_cast<double>(joined.gross) / 100.0;
  const std::string note = fmt::format("Associação de {} boletos", joined.parts.size());
  ctx.sql() << "INSERT INTO BOLRECEBER (CDFILIAL, NRLANBOLREC, CDEMPRESA, CDCLIENTE, "
               "QTDIADEVOL, CDDIADEVOL, VRBOLREC, VRPEMULBREC, VRMULTABREC, VRPEMORBREC, "
               "VRFINALBREC, VRMORDIABREC, DTVENBOLREC, IDSTATBREC, CDTPBAIXAREC, CDREDUCONT, "
               "CDCARTCOBBOL, CDINS1COBBOL, CDINS2COBBOL, QTDIAPROTBOL, CDDIAPROTBOL, "
               "IDIMPRBOLBOL, IDPROTESTREC, DTINIPROTREC, DTFIMPROTREC, DTEMISSAO, "
               "NRLICENCAUSO, IDCARTCOBREC, IDTPCTRECEBER, IDFORMCADBREC, IDBAIXAUTILR, "
               "CDFILORIG, TXMENSBOLBOL, DSBOLETREC) SELECT :nf, :nn, CDEMPRESA, CDCLIENTE, "
               "QTDIADEVOL, CDDIADEVOL, :gross, VRPEMULBREC, VRMULTABREC, VRPEMORBREC, :net, "
               "VRMORDIABREC, :due, 'A', :tp, :acc, CDCARTCOBBOL, CDINS1COBBOL, CDINS2COBBOL, "
               "QTDIAPROTBOL, CDDIAPROTBOL, IDIMPRBOLBOL, IDPROTESTREC, DTINIPROTREC, "
               "DTFIMPROTREC, :today, NRLICENCAUSO, IDCARTCOBREC, IDTPCTRECEBER, "
               "IDFORMCADBREC, IDBAIXAUTILR, CDFILORIG, TXMENSBOLBOL, :note FROM BOLRECEBER "
               "WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(branch), soci::use(number), soci::use(grossValue), soci::use(netValue),
      soci::use(dueText), soci::use(type), soci::use(account), soci::use(today), soci::use(note),
      soci::use(firstBranch), soci::use(firstNumber);
  const std::string closed = fmt::format("Associado ao boleto {}/{}", branch, number);
  for (const auto& [b, n] : joined.parts) {
    ctx.sql() << "UPDATE CTRECEBER SET CDFILBOLREC = :nf, NRLANBOLREC = :nn WHERE "
                 "CDFILBOLREC = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number), soci::use(b), soci::use(n);
    ctx.sql() << "UPDATE BOLRECEBER SET IDSTATBREC = 'B', DSBOLETREC = :d WHERE CDFILIAL = "
                 ":f AND NRLANBOLREC = :n AND IDSTATBREC = 'A'",
        soci::use(closed), soci::use(b), soci::use(n);
  }
  return number;
}

void registerConjuga(Dispatcher& d) {
  // GetParcContBol(branch, number, "S"): the boletos sharing the boleto's origin number in its
  // branch, itself included, by instalment; none for a boleto never split or without "S".
  d.on<rpc::GetParcContBol>([](CallContext& ctx, rpc::GetParcContBol& a) {
    const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
    const std::string company = ctx.company();
    const bool related = host::UpperCase(host::AllTrim(a.relacionadas.value())) == "S";
    return packetOf(
        ctx,
        "SELECT P.CDFILIAL, P.NRLANBOLREC, P.NRPARCBOLREC, P.DTVENBOLREC, P.VRFINALBREC, "
        "P.IDSTATBREC, P.CDREDUCONT, K.CDCONTCORR, P.CDCARTCOBBOL, P.CDTPBAIXAREC, P.CDNOSNUMREC, "
        "P.CDBARRAREC, P.IDCARTCOBREC, P.IDFORMCADBREC FROM BOLRECEBER B JOIN BOLRECEBER P ON "
        "P.CDFILIAL = B.CDFILIAL AND P.NRORIGBOLREC = B.NRORIGBOLREC AND P.CDEMPRESA = "
        "B.CDEMPRESA LEFT JOIN CONTCORR K ON K.CDEMPRESA = P.CDEMPRESA AND K.CDREDUCONT = "
        "P.CDREDUCONT WHERE B.CDFILIAL = :f AND B.NRLANBOLREC = :n AND B.CDEMPRESA = :e AND "
        "COALESCE(B.NRORIGBOLREC, '') <> '' AND :s = 'S' ORDER BY P.NRPARCBOLREC, P.NRLANBOLREC",
        {Value(branch), Value(number), Value(company), Value(std::string(related ? "S" : "N"))},
        records::cdsParcContBol().fields());
  });

  // GetBuscaBoletos: the open boletos (status "A": neither emitted, settled nor discounted)
  // of the company, of the listed customers and branches or of all ("T"), due within the
  // period; by customer, due date and key, so that "the first" of a customer is fixed.
  d.on<rpc::GetBuscaBoletos>([](CallContext& ctx, rpc::GetBuscaBoletos& a) {
    const std::string company = a.CDEMPRESA.code();
    ctx.requireCompany(company);
    const bool allClients = host::UpperCase(host::AllTrim(a.todosClientes.value())) == "T";
    const bool allBranches = host::UpperCase(host::AllTrim(a.todasFiliais.value())) == "T";
    const auto clients = listCodes(a.clientes.value(), fld::CDCLIENTE.width());
    const auto branches = listCodes(a.filiais.value(), fld::CDFILIAL.width());
    if (!allClients && clients.empty())
      throw Refusal("Clie_inf", "GetBuscaBoletos: no customer listed and not all of them");
    if (!allBranches && branches.empty())
      throw Refusal("Filial_inf", "GetBuscaBoletos: no branch listed and not all of them");
    const auto from = a.periodFrom.value(), to = a.periodTo.value();
    if (!from || !to) throw Refusal("DtDE_Info", "GetBuscaBoletos: the period needs both dates");
    std::vector<Value> values{Value(company), Value(from->iso()), Value(to->iso())};
    std::string where;
    auto in = [&](const char* column, const std::vector<std::string>& codes) {
      where += fmt::format(" AND B.{} IN (", column);
      for (size_t i = 0; i < codes.size(); ++i) {
        where += i ? ", ?" : "?";
        values.emplace_back(codes[i]);
      }
      where += ")";
    };
    if (!allClients) in("CDCLIENTE", clients);
    if (!allBranches) in("CDFILIAL", branches);
    const auto& fields = records::cdsBuscaBoletos().fields();
    std::string query = fmt::format(
        "SELECT {} FROM BOLRECEBER B JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE "
        "LEFT JOIN CONTCORR K ON K.CDEMPRESA = B.CDEMPRESA AND K.CDREDUCONT = B.CDREDUCONT "
        "LEFT JOIN TIPOBAIXA T ON T.CDTPBAIXAREC = B.CDTPBAIXAREC "
        "WHERE B.CDEMPRESA = ? AND B.IDSTATBREC = 'A' AND B.DTVENBOLREC >= ? AND "
        "B.DTVENBOLREC <= ?{} ORDER BY B.CDCLIENTE, B.DTVENBOLREC, B.CDFILIAL, B.NRLANBOLREC",
        selectList(fields, candidateColumn), where);
    // The positional markers become the runner's numbered ones.
    std::string numbered;
    int n = 0;
    for (char c : query) numbered += c == '?' ? fmt::format(":p{}", ++n) : std::string(1, c);
    return packetOf(ctx, numbered, values, fields);
  });

  // GetVdCompensacao(branch, number): 1 when the bank has cleared the boleto.
  d.on<rpc::GetVdCompensacao>([](CallContext& ctx, rpc::GetVdCompensacao& a) {
    const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
    auto s = storedBoleto(ctx, branch, number);
    if (!s)
      throw Refusal("ARG_INVALIDO",
                    fmt::format("GetVdCompensacao: boleto {}/{} does not exist", branch, number));
    ctx.requireCompany(s->company);
    return Variant(int64_t{
        count(ctx, "SELECT COUNT(*) FROM COMPENSACAO WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
              branch, number) > 0});
  });

  // AssociaBoletos(branch, new boletos, replaced boletos): for each new boleto, the replaced
  // rows of its customer are checked against what is stored (open, not cleared, not part of
  // an instalment plan, same value: a boleto changed meanwhile refuses the whole call), and
  // the new boleto is stored in `branch` for exactly their total; its receivables move to it
  // and the replaced boletos are closed. The new boleto carries no nosso número, barcode or
  // typed line: those of a replaced boleto encode that boleto's own value, and the new one
  // is numbered when it is emitted. One transaction: a refusal leaves every boleto as it was.
  d.on<rpc::AssociaBoletos>([](CallContext& ctx, rpc::AssociaBoletos& a) {
    const std::string company = ctx.company();
    const std::string branch = associationBranch(ctx, a.FiliProc.value(), company);
    host::ClientDataset fresh("cdsIncBoleto"), replaced("cdsBolRec");
    loadPacket(ctx, a.cdsIncBoleto.value(), records::cdsIncBoletoConjuga(), fresh);
    loadPacket(ctx, a.cdsBolRec.value(), records::cdsBolRec(), replaced);
    if (fresh.isEmpty()) throw Refusal("N_Boletos", "AssociaBoletos: no new boleto");

    auto byCustomer = checkReplaced(ctx, company, replaced);
    std::vector<Variant> keys;
    std::set<std::string> customers;
    for (size_t r = 1; r <= fresh.recordCount(); ++r) {
      const std::string customer = host::AllTrim(fresh.valueAt(r, fld::CDCLIENTE).asString());
      if (!customers.insert(customer).second)
        throw Refusal("CNT_DUP",
                      fmt::format("AssociaBoletos: two new boletos for customer {}", customer));
      const Joined& joined = byCustomer[customer];
      if (joined.parts.size() < 2)
        throw Refusal("N_Boletos", fmt::format("AssociaBoletos: customer {} has {} boleto(s) to "
                                               "join; an association needs two or more",
                                               customer, joined.parts.size()));
      const int64_t net = centavos(fresh.valueAt(r, fld::VRFINALBREC).asDouble());
      const int64_t gross = centavos(fresh.valueAt(r, fld::VRBOLREC).asDouble());
      if (net != joined.net || gross != joined.gross)
        throw Refusal("VRBOL_Dif",
                      fmt::format("AssociaBoletos: the new boleto of customer {} is worth {} "
                                  "({} gross); the boletos it replaces add up to {} ({} gross)",
                                  customer, money(net), money(gross), money(joined.net),
                                  money(joined.gross)));
      const Value due = fresh.valueAt(r, fld::DTVENBOLREC);
      if (due.isNull()) throw Refusal("VENC_NI", "AssociaBoletos: the new boleto has no due date");
      auto text = [&](const records::Field& f) {
        return host::AllTrim(fresh.valueAt(r, f).asString());
      };
      const std::string number = storeJoined(ctx, branch, joined, due.asDate(),
                                             text(fld::CDTPBAIXAREC), text(fld::CDREDUCONT));
      keys.emplace_back(branch + number);
    }
    // Boletos sent to be replaced with no new boleto of their customer stay as they are;
    // silently leaving them would read as associated.
    for (const auto& [customer, joined] : byCustomer)
      if (!customers.count(customer))
        throw Refusal(
            "ARG_INVALIDO",
            fmt::format("AssociaBoletos: boletos of customer {} without a new boleto", customer));
    return Variant::array(std::move(keys));
  });
}

}  // namespace service
