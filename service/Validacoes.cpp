// The look-ups behind the register's field checks. Each answers from the caller's company
// only; codes arrive as typed and are padded to their field widths before they are read.

#include "service/Validacoes.h"

#include <fmt/format.h>

#include <map>
#include <optional>

#include "host/Consiste.h"
#include "module/Records.h"
#include "service/Areas.h"
#include "service/DirectQueryRunner.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"
#include "service/Rows.h"

namespace service {

namespace {

using host::FieldDef;
using host::FieldType;
using host::Value;
using remote::Variant;
using Fields = std::vector<FieldDef>;

// A company argument: empty means the caller's own; any other must be one the operator may use.
std::string companyArg(CallContext& ctx, size_t i) {
  std::string company = ctx.code(i, S("CDEMPRESA", 2));
  if (company.empty()) return ctx.company();
  ctx.requireCompany(company);
  return company;
}

// An "all rows" flag: "" or "T", nothing else.
bool allFlag(CallContext& ctx, size_t i) {
  std::string t = ctx.text(i, "T for all", 1);
  if (!t.empty() && t != "T")
    throw Refusal("ARG_INVALIDO",
                  fmt::format("{}: o argumento {} deve ser vazio ou \"T\", não \"{}\"",
                              ctx.method(), i + 1, t));
  return t == "T";
}

struct Key {
  std::string branch, number;
};

// Branch and number of an existing boleto of a company the operator may use.
Key existingBoleto(CallContext& ctx, size_t branchArg, size_t numberArg) {
  Key k{ctx.code(branchArg, S("CDFILIAL", 4)), ctx.code(numberArg, S("NRLANBOLREC", 10))};
  std::string company;
  soci::indicator ind = soci::i_null;
  ctx.sql() << "SELECT CDEMPRESA FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(k.branch), soci::use(k.number), soci::into(company, ind);
  if (!ctx.sql().got_data() || ind != soci::i_ok)
    throw Refusal("ARG_INVALIDO",
                  fmt::format("{}: o boleto {}/{} não existe", ctx.method(), k.branch, k.number));
  ctx.requireCompany(company);
  return k;
}

// The keys of a packet of boletos; with `markedOnly` and an IDMARCADO column, only the rows
// marked "M".
std::vector<Key> packetKeys(CallContext& ctx, const nlohmann::json& packet, bool markedOnly) {
  try {
    const auto& fields = packet.at("fields");
    auto column = [&](const char* name) -> std::optional<size_t> {
      for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].at("name") == name) return i;
      return std::nullopt;
    };
    auto branch = column("CDFILIAL"), number = column("NRLANBOLREC"), mark = column("IDMARCADO");
    if (!branch || !number)
      throw Refusal("ARG_INVALIDO",
                    fmt::format("{}: o pacote precisa de CDFILIAL e NRLANBOLREC", ctx.method()));
    auto text = [](const nlohmann::json& v) { return v.is_string() ? v.get<std::string>() : ""; };
    std::vector<Key> keys;
    for (const auto& row : packet.at("rows")) {
      if (markedOnly && mark && text(row.at(*mark)) != "M") continue;
      Key k{host::Ajusta(text(row.at(*branch)), 4), host::Ajusta(text(row.at(*number)), 10)};
      if (k.branch.size() > 4 || k.number.size() > 10)
        throw Refusal("ARG_TAMANHO", fmt::format("{}: a chave de boleto {}/{} é longa demais",
                                                 ctx.method(), k.branch, k.number));
      keys.push_back(std::move(k));
    }
    return keys;
  } catch (const nlohmann::json::exception& e) {
    throw Refusal("ARG_INVALIDO", fmt::format("{}: pacote malformado: {}", ctx.method(), e.what()));
  }
}

const Fields& chequeFields() {
  static const Fields f = {S("NRCHEQUERECE", 6),  S("CDBANCHEQREC", 3), S("CDAGECHEQREC", 5),
                           S("CDCNTCHEQREC", 16), F("VRCHEQUERECE"),    S("IDSITCHEQREC", 1),
                           S("CDREDUCONT", 3),    F("VRUSADOCHEQ")};
  return f;
}

// Registered cheques: the value already applied to boletos comes with each.
const char* const kChequeSelect =
    "SELECT C.NRCHEQUERECE, C.CDBANCHEQREC, C.CDAGECHEQREC, C.CDCNTCHEQREC, C.VRCHEQUERECE, "
    "C.IDSITCHEQREC, C.CDREDUCONT, (SELECT COALESCE(SUM(Q.VRCHEQBOLREC), 0) FROM CHEQUEBOLREC Q "
    "WHERE Q.NRCHEQBOLREC = C.NRCHEQUERECE AND Q.CDBANCBOLREC = C.CDBANCHEQREC AND "
    "Q.CDAGENBOLREC = C.CDAGECHEQREC AND Q.CDCONTBOLREC = C.CDCNTCHEQREC) FROM CHEQUE C ";

// Cheque number, bank, agency and account arguments starting at `first`.
struct ChequeKey {
  std::string number, bank, agency, account;
};
ChequeKey chequeArgs(CallContext& ctx, size_t first) {
  return {ctx.code(first, S("NRCHEQUERECE", 6)), ctx.code(first + 1, S("CDBANCHEQREC", 3)),
          ctx.text(first + 2, S("CDAGECHEQREC", 5)), ctx.text(first + 3, S("CDCNTCHEQREC", 16))};
}

// The customer's cheque of that number; bank, agency and account narrow it when given.
Variant customerCheque(CallContext& ctx, bool availableOnly) {
  std::string customer = ctx.code(0, S("CDCLIENTE", 21));
  ChequeKey k = chequeArgs(ctx, 1);
  std::string sql = std::string(kChequeSelect) +
                    "WHERE C.CDEMPRESA = :e AND C.CDCLIENTE = :c AND C.NRCHEQUERECE = :n AND "
                    "(C.CDBANCHEQREC = :b OR :b2 = '') AND (C.CDAGECHEQREC = :a OR :a2 = '') AND "
                    "(C.CDCNTCHEQREC = :k OR :k2 = '')";
  auto packet = runBound(
      ctx.sql(), sql,
      {Value(ctx.company()), Value(customer), Value(k.number), Value(k.bank), Value(k.bank),
       Value(k.agency), Value(k.agency), Value(k.account), Value(k.account)},
      chequeFields());
  if (availableOnly) {
    // Available: still to be cleared ("A") and with value not yet applied to boletos.
    nlohmann::json kept = nlohmann::json::array();
    for (auto& row : packet["rows"]) {
      const double value = row[4].is_number() ? row[4].get<double>() : 0;
      const double used = row[7].is_number() ? row[7].get<double>() : 0;
      const bool open = row[5].is_string() && row[5].get<std::string>() == "A";
      if (open && host::RoundDec(2, value - used) > 0) kept.push_back(row);
    }
    packet["rows"] = std::move(kept);
  }
  return Variant::packet(std::move(packet));
}

// The branch of a collection account of the company, by account code or, without one, by
// bank, agency and number; the values come from accountArgs, in its order.
const char* const kAccountBranch =
    "FROM CONTCORR K JOIN FILIAL F ON F.CDFILIAL = K.CDFILIAL WHERE K.CDEMPRESA = :e AND "
    "((:c <> '' AND K.CDREDUCONT = :c2) OR (:c3 = '' AND K.CDBANCO = :b AND K.CDAGENCIA = :a "
    "AND K.CDCONTCORR = :k)) ";

// Bank, agency, account, account code and company arguments starting at `first`.
std::vector<Value> accountArgs(CallContext& ctx, size_t first) {
  std::string bank = ctx.code(first, S("CDBANCO", 3));
  std::string agency = ctx.text(first + 1, S("CDAGENCIA", 5));
  std::string account = ctx.text(first + 2, S("CDCONTCORR", 10));
  std::string code = ctx.code(first + 3, S("CDREDUCONT", 3));
  std::string company = companyArg(ctx, first + 4);
  return {Value(company), Value(code),   Value(code),   Value(code),
          Value(bank),    Value(agency), Value(account)};
}

// A boleto goes by post to its payer and the bank prints the payer's address on it: a
// customer without street, city, state (two letters) or an eight-digit CEP cannot receive it.
// The district is left out: many addresses have none.
const char* const kWithoutAddress =
    "COALESCE(TRIM(DSENDECLIE), '') = '' OR COALESCE(TRIM(NMCIDACLIE), '') = '' OR "
    "LENGTH(COALESCE(TRIM(SGESTADO), '')) <> 2 OR LENGTH(REPLACE(REPLACE(COALESCE(TRIM("
    "NRCEPCLIE), ''), '-', ''), '.', '')) <> 8";

bool cleared(CallContext& ctx, const Key& k) {
  int n = 0;
  ctx.sql() << "SELECT COUNT(*) FROM COMPENSACAO WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(k.branch), soci::use(k.number), soci::into(n);
  return n > 0;
}

}  // namespace

void registerValidacoes(Dispatcher& d) {
  // GetContCorr(account code, company, "T" for all, customer, IDUTBCOPREFCLIE): [accounts as
  // the bank account record, their boleto messages (CDREDUCONT, TXMENSBOLETO)].
  d.add(kHabContRec, "GetContCorr", 5, [](CallContext& ctx) {
    std::string code = ctx.code(0, rec::fieldOf(rec::BankAccountRecord(), "CDREDUCONT"));
    std::string company = companyArg(ctx, 1);
    bool all = allFlag(ctx, 2);
    ctx.code(3, S("CDCLIENTE", 21));
    ctx.text(4, S("IDUTBCOPREFCLIE", 1));
    const std::string where =
        " FROM CONTCORR K LEFT JOIN BANCO B ON B.CDBANCO = K.CDBANCO WHERE K.CDEMPRESA = :e AND "
        "(K.CDREDUCONT = :c OR :t = 'T') ORDER BY K.CDREDUCONT";
    const std::vector<Value> values{Value(company), Value(code), Value(all ? "T" : "")};
    const auto& fields = rec::BankAccountRecord();
    auto accounts =
        runBound(ctx.sql(),
                 "SELECT " +
                     selectList(fields,
                                [](const std::string& f) {
                                  return f == "NMBANCO" ? std::string("B.NMBANCO") : "K." + f;
                                }) +
                     where,
                 values, fields);
    auto messages = runBound(ctx.sql(), "SELECT K.CDREDUCONT, K.TXMENSBOLETO" + where, values,
                             {S("CDREDUCONT", 3), S("TXMENSBOLETO", 500)});
    return Variant::array(
        {Variant::packet(std::move(accounts)), Variant::packet(std::move(messages))});
  });

  // GetExistCheque(cheque, bank, agency, account): the registered cheque with its collection
  // account; no row when it is not registered.
  d.add(kHabContRec, "GetExistCheque", 4, [](CallContext& ctx) {
    ChequeKey k = chequeArgs(ctx, 0);
    return packetOf(
        ctx,
        std::string(kChequeSelect) +
            "WHERE C.CDEMPRESA = :e AND C.NRCHEQUERECE = :n AND C.CDBANCHEQREC = :b "
            "AND C.CDAGECHEQREC = :a AND C.CDCNTCHEQREC = :k",
        {Value(ctx.company()), Value(k.number), Value(k.bank), Value(k.agency), Value(k.account)},
        chequeFields());
  });

  // GetVeriTpRecBoleto(list packet): "EXISTTPREC" when a marked boleto of the list has
  // payment types, else empty.
  d.add(kHabContRec, "GetVeriTpRecBoleto", 1, [](CallContext& ctx) {
    for (const auto& k : packetKeys(ctx, ctx.packet(0, "cdsBoletos"), true)) {
      int n = 0;
      std::string company = ctx.company();
      ctx.sql() << "SELECT COUNT(*) FROM TPRECBOLETO P JOIN BOLRECEBER B ON B.CDFILIAL = "
                   "P.CDFILIAL AND B.NRLANBOLREC = P.NRLANBOLREC WHERE P.CDFILIAL = :f AND "
                   "P.NRLANBOLREC = :n AND B.CDEMPRESA = :e",
          soci::use(k.branch), soci::use(k.number), soci::use(company), soci::into(n);
      if (n > 0) return Variant("EXISTTPREC");
    }
    return Variant("");
  });

  // DelTpRec(branch, number): deletes the boleto's payment types with their cheques and
  // cards; the number of payment types deleted.
  d.add(kHabContRec, "DelTpRec", 2, [](CallContext& ctx) {
    Key k = existingBoleto(ctx, 0, 1);
    ctx.sql() << "DELETE FROM CHEQUEBOLREC WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(k.branch), soci::use(k.number);
    ctx.sql() << "DELETE FROM CARTAOBOLREC WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(k.branch), soci::use(k.number);
    int n = 0;
    ctx.sql() << "SELECT COUNT(*) FROM TPRECBOLETO WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(k.branch), soci::use(k.number), soci::into(n);
    ctx.sql() << "DELETE FROM TPRECBOLETO WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(k.branch), soci::use(k.number);
    return Variant(n);
  });

  // GetCdRedTpRe(branch, number): the boleto's payment types with its collection account.
  d.add(kHabContRec, "GetCdRedTpRe", 2, [](CallContext& ctx) {
    Key k = existingBoleto(ctx, 0, 1);
    return packetOf(ctx,
                    "SELECT P.CDFILIAL, P.NRLANBOLREC, P.NRSEQTPRECBO, P.CDTIPORECE, B.CDREDUCONT "
                    "FROM TPRECBOLETO P JOIN BOLRECEBER B ON B.CDFILIAL = P.CDFILIAL AND "
                    "B.NRLANBOLREC = P.NRLANBOLREC WHERE P.CDFILIAL = :f AND P.NRLANBOLREC = :n "
                    "ORDER BY P.NRSEQTPRECBO",
                    {Value(k.branch), Value(k.number)},
                    {S("CDFILIAL", 4), S("NRLANBOLREC", 10), S("NRSEQTPRECBO", 2),
                     S("CDTIPORECE", 3), S("CDREDUCONT", 3)});
  });

  // Write-off types: one by code (padded to 2), or all for the search.
  d.add(kHabContRec, "GetVdTipoBaixa", 1, [](CallContext& ctx) {
    std::string code = ctx.code(0, S("CDTPBAIXAREC", 2));
    return packetOf(ctx, "SELECT CDTPBAIXAREC, NMTPBAIXAREC FROM TIPOBAIXA WHERE CDTPBAIXAREC = :c",
                    {Value(code)}, {S("CDTPBAIXAREC", 2), S("NMTPBAIXAREC", 50)});
  });
  d.add(kHabContRec, "GetPesqTpBaixa", 0, [](CallContext& ctx) {
    return packetOf(ctx, "SELECT CDTPBAIXAREC, NMTPBAIXAREC FROM TIPOBAIXA ORDER BY CDTPBAIXAREC",
                    {}, {S("CDTPBAIXAREC", 2), S("NMTPBAIXAREC", 50)});
  });

  // GetInstCobr(bank, instruction code, "T" for all of the bank).
  d.add(kHabContRec, "GetInstCobr", 3, [](CallContext& ctx) {
    std::string bank = ctx.code(0, S("CDBANCO", 3));
    std::string code = ctx.code(1, S("CDINSTCOBR", 2));
    bool all = allFlag(ctx, 2);
    return packetOf(ctx,
                    "SELECT CDBANCO, CDINSTCOBR, DSINSTCOBR FROM INSTRCOBR WHERE CDBANCO = :b AND "
                    "(CDINSTCOBR = :c OR :t = 'T') ORDER BY CDINSTCOBR",
                    {Value(bank), Value(code), Value(all ? "T" : "")},
                    {S("CDBANCO", 3), S("CDINSTCOBR", 2), S("DSINSTCOBR", 60)});
  });

  // GetFiliOrig(branch or "" for all, company): branches of the company.
  d.add(kHabContRec, "GetFiliOrig", 2, [](CallContext& ctx) {
    std::string branch = ctx.code(0, S("CDFILIAL", 4));
    std::string company = companyArg(ctx, 1);
    return packetOf(ctx,
                    "SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE CDEMPRESA = :e AND (CDFILIAL = :f "
                    "OR :t = '') ORDER BY CDFILIAL",
                    {Value(company), Value(branch), Value(branch)},
                    {S("CDFILIAL", 4), S("NMFILIAL", 30)});
  });

  // GetFilialCC(bank, agency, account, account code, company): the branch the collection
  // account belongs to, as the origin branch to propose (CDFILORIG, NMFILIAL).
  d.add(kHabContRec, "GetFilialCC", 5, [](CallContext& ctx) {
    auto values = accountArgs(ctx, 0);
    return packetOf(
        ctx,
        "SELECT K.CDFILIAL, F.NMFILIAL " + std::string(kAccountBranch) + "ORDER BY K.CDREDUCONT",
        values, {S("CDFILORIG", 4), S("NMFILIAL", 30)});
  });

  // GetVdFilOrig(bank, agency, account, account code, company, origin branch): the origin
  // branch (CDFILIAL, NMFILIAL) when it may issue boletos on the account, no row otherwise.
  // Only the account's own branch may: an account without a branch has no issuer, and a
  // blank origin matches none.
  d.add(kHabContRec, "GetVdFilOrig", 6, [](CallContext& ctx) {
    auto values = accountArgs(ctx, 0);
    values.emplace_back(ctx.code(5, S("CDFILORIG", 4)));
    return packetOf(ctx,
                    "SELECT DISTINCT K.CDFILIAL, F.NMFILIAL " + std::string(kAccountBranch) +
                        "AND K.CDFILIAL = :o",
                    values, {S("CDFILIAL", 4), S("NMFILIAL", 30)});
  });

  // GetStatus(branch, number; both in-out, padded): the boleto's state as stored now.
  d.add(kHabContRec, "GetStatus", 2, [](CallContext& ctx) {
    std::string branch = ctx.code(0, S("CDFILIAL", 4));
    std::string number = ctx.code(1, S("NRLANBOLREC", 10));
    ctx.setArg(0, Variant(branch));
    ctx.setArg(1, Variant(number));
    std::string company;
    soci::indicator ind = soci::i_null;
    ctx.sql() << "SELECT CDEMPRESA FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number), soci::into(company, ind);
    if (ctx.sql().got_data() && ind == soci::i_ok) ctx.requireCompany(company);
    return packetOf(
        ctx,
        "SELECT CDFILIAL, NRLANBOLREC, IDSTATBREC, NRBAIXAREC, NRCNABRECREM, "
        "IDBOLRECALTER, IDSITUCNABR FROM BOLRECEBER WHERE CDFILIAL = :f AND "
        "NRLANBOLREC = :n",
        {Value(branch), Value(number)},
        {S("CDFILIAL", 4), S("NRLANBOLREC", 10), S("IDSTATBREC", 1), S("NRBAIXAREC", 10),
         S("NRCNABRECREM", 10), S("IDBOLRECALTER", 1), S("IDSITUCNABR", 2)});
  });

  // GetVdCompensa(branch, number): "TRUE" when the bank has cleared the boleto.
  d.add(kHabContRec, "GetVdCompensa", 2, [](CallContext& ctx) {
    return Variant(cleared(ctx, existingBoleto(ctx, 0, 1)) ? "TRUE" : "FALSE");
  });

  // GetVdTBolCompensa(key packet): the key (branch + number, 14 characters) of the first
  // boleto of the packet the bank has cleared; empty when none.
  d.add(kHabContRec, "GetVdTBolCompensa", 1, [](CallContext& ctx) {
    for (const auto& k : packetKeys(ctx, ctx.packet(0, "cdsChaveBol"), false)) {
      if (cleared(ctx, k)) return Variant(k.branch + k.number);
    }
    return Variant("");
  });

  // GetVerifEndeClie(list packet): [key of the first boleto, in the packet's order, whose
  // customer has no address to print on it, that customer's code and name]; two empty texts
  // when every one has. Only the rows marked "M" count when the packet carries IDMARCADO.
  // The customer is the one stored with the boleto; boletos of other companies never count.
  d.add(kHabContRec, "GetVerifEndeClie", 1, [](CallContext& ctx) {
    const auto keys = packetKeys(ctx, ctx.packet(0, "cdsBoletos"), true);
    // Customers without an address are few: one query gives all the company's boletos of
    // such customers, and the list, of any length, is walked against them.
    std::map<std::string, std::string> unaddressed;
    const std::string company = ctx.company();
    soci::rowset<soci::row> rows =
        (ctx.sql().prepare << std::string("SELECT B.CDFILIAL, B.NRLANBOLREC, C.CDCLIENTE, "
                                          "C.NMRAZSOCCLIE FROM BOLRECEBER B JOIN CLIENTE C ON "
                                          "C.CDCLIENTE = B.CDCLIENTE WHERE B.CDEMPRESA = :e AND "
                                          "B.CDCLIENTE IN (SELECT CDCLIENTE FROM CLIENTE WHERE ") +
                                  kWithoutAddress + ")",
         soci::use(company));
    for (const auto& r : rows) {
      unaddressed.emplace(r.get<std::string>(0) + r.get<std::string>(1),
                          r.get<std::string>(2) + " - " + r.get<std::string>(3, ""));
    }
    for (const auto& k : keys) {
      auto it = unaddressed.find(k.branch + k.number);
      if (it != unaddressed.end()) return Variant::array({Variant(it->first), Variant(it->second)});
    }
    return Variant::array({Variant(""), Variant("")});
  });

  // Cheques of a customer: registered (GetValidaCheque) or still available (GetChequePerm).
  d.add(kHabContRec, "GetValidaCheque", 5,
        [](CallContext& ctx) { return customerCheque(ctx, false); });
  d.add(kHabContRec, "GetChequePerm", 5,
        [](CallContext& ctx) { return customerCheque(ctx, true); });

  // GetValNrCheque(branch, number, cheque): the payment-type sequence of the boleto that
  // already holds that cheque number; empty when none does.
  d.add(kHabContRec, "GetValNrCheque", 3, [](CallContext& ctx) {
    Key k = existingBoleto(ctx, 0, 1);
    std::string cheque = ctx.code(2, S("NRCHEQUERECE", 6));
    int seq = 0;
    soci::indicator ind = soci::i_null;
    ctx.sql() << "SELECT MIN(NRSEQTPRECBO) FROM CHEQUEBOLREC WHERE CDFILIAL = :f AND "
                 "NRLANBOLREC = :n AND NRCHEQBOLREC = :c",
        soci::use(k.branch), soci::use(k.number), soci::use(cheque), soci::into(seq, ind);
    return Variant(ind == soci::i_ok ? fmt::format("{:0>2}", seq) : std::string());
  });

  for (const char* m :
       {"GetContCorr", "GetExistCheque", "GetVeriTpRecBoleto", "GetCdRedTpRe", "GetVdTipoBaixa",
        "GetPesqTpBaixa", "GetInstCobr", "GetFiliOrig", "GetFilialCC", "GetStatus", "GetVdCompensa",
        "GetVdTBolCompensa", "GetValidaCheque", "GetChequePerm", "GetValNrCheque", "GetVdFilOrig",
        "GetVerifEndeClie"}) {
    d.setReadOnly(kHabContRec, m);
  }
}

void seedValidacoesDemo(soci::session& sql) {
  // Instructions every bank takes, and one only some banks know.
  sql << "INSERT INTO INSTRCOBR (CDBANCO, CDINSTCOBR, DSINSTCOBR) SELECT CDBANCO, '01', "
         "'Protestar após o prazo' FROM BANCO";
  sql << "INSERT INTO INSTRCOBR (CDBANCO, CDINSTCOBR, DSINSTCOBR) SELECT CDBANCO, '02', "
         "'Não protestar' FROM BANCO";
  sql << "INSERT INTO INSTRCOBR (CDBANCO, CDINSTCOBR, DSINSTCOBR) SELECT CDBANCO, '06', "
         "'Cobrar juros de mora' FROM BANCO";
  sql << "INSERT INTO INSTRCOBR (CDBANCO, CDINSTCOBR, DSINSTCOBR) SELECT CDBANCO, '09', "
         "'Não receber após o vencimento' FROM BANCO WHERE CDBANCO IN ('001', '341')";
  // The cheque already on the first boleto (account 001), used in full; one of the same
  // customer deposited in account 006 and free; one of another customer with no account yet.
  sql << "INSERT INTO CHEQUE (NRCHEQUERECE, CDBANCHEQREC, CDAGECHEQREC, CDCNTCHEQREC, CDEMPRESA, "
         "CDCLIENTE, VRCHEQUERECE, IDSITCHEQREC, CDREDUCONT) VALUES ('000123', '237', '1234', "
         "'0012345', '04', '000000000000000000101', 520.40, 'A', '001')";
  sql << "INSERT INTO CHEQUE (NRCHEQUERECE, CDBANCHEQREC, CDAGECHEQREC, CDCNTCHEQREC, CDEMPRESA, "
         "CDCLIENTE, VRCHEQUERECE, IDSITCHEQREC, CDREDUCONT) VALUES ('000456', '341', '0057', "
         "'0098765', '04', '000000000000000000101', 800.00, 'A', '006')";
  sql << "INSERT INTO CHEQUE (NRCHEQUERECE, CDBANCHEQREC, CDAGECHEQREC, CDCNTCHEQREC, CDEMPRESA, "
         "CDCLIENTE, VRCHEQUERECE, IDSITCHEQREC, CDREDUCONT) VALUES ('000789', '001', '3210', "
         "'0054321', '04', '000000000000000000102', 300.00, 'A', NULL)";
  // Boleto 0001/0000000004 was cleared by the bank on its due date.
  sql << "INSERT INTO COMPENSACAO (CDFILIAL, NRLANBOLREC, DTCOMPENSACAO) SELECT CDFILIAL, "
         "NRLANBOLREC, DTVENBOLREC FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
         "'0000000004'";
  // An account that leaves the printing choice to the boleto's default.
  sql << "UPDATE CONTCORR SET IDIMPRBOLETO = NULL WHERE CDEMPRESA = '04' AND CDREDUCONT = '005'";
  // Written-off boletos carry the number of their write-off.
  sql << "UPDATE BOLRECEBER SET NRBAIXAREC = NRLANBOLREC WHERE IDSTATBREC = 'B'";
}

}  // namespace service
