// The look-ups behind the register's field checks. Each answers from the caller's company
// only; codes arrive as typed and are padded to their field widths before they are read.

#include "service/Validacoes.h"

#include <fmt/format.h>

#include <map>
#include <optional>

#include "host/Consiste.h"
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

// A company argument: empty means the caller's own; any other must be one the operator may use.
template <class Company>
std::string companyArg(CallContext& ctx, const Company& arg) {
  std::string company = arg.code();
  if (company.empty()) return ctx.company();
  ctx.requireCompany(company);
  return company;
}

// An "all rows" flag, argument `position` (1-based): "" or "T", nothing else.
bool allFlag(CallContext& ctx, const rpc::In<rpc::arg::todos>& arg, size_t position) {
  const std::string& t = arg.value();
  if (!t.empty() && t != "T")
    throw Refusal("ARG_INVALIDO",
                  fmt::format("{}: o argumento {} deve ser vazio ou \"T\", não \"{}\"",
                              ctx.method(), position, t));
  return t == "T";
}

struct Key {
  std::string branch, number;
};

// Branch and number of an existing boleto of a company the operator may use.
template <class Args>
Key existingBoleto(CallContext& ctx, const Args& a) {
  Key k{a.CDFILIAL.code(), a.NRLANBOLREC.code()};
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
  using namespace records::fld;
  try {
    const auto& fields = packet.at("fields");
    auto column = [&](std::string_view name) -> std::optional<size_t> {
      for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].at("name").get<std::string>() == name) return i;
      return std::nullopt;
    };
    auto branch = column(CDFILIAL), number = column(NRLANBOLREC), mark = column(IDMARCADO);
    if (!branch || !number)
      throw Refusal("ARG_INVALIDO",
                    fmt::format("{}: o pacote precisa de CDFILIAL e NRLANBOLREC", ctx.method()));
    auto text = [](const nlohmann::json& v) { return v.is_string() ? v.get<std::string>() : ""; };
    const auto branchSize = static_cast<size_t>(CDFILIAL.size);
    const auto numberSize = static_cast<size_t>(NRLANBOLREC.size);
    std::vector<Key> keys;
    for (const auto& row : packet.at("rows")) {
      if (markedOnly && mark && text(row.at(*mark)) != "M") continue;
      Key k{host::Ajusta(text(row.at(*branch)), branchSize),
            host::Ajusta(text(row.at(*number)), numberSize)};
      if (k.branch.size() > branchSize || k.number.size() > numberSize)
        throw Refusal("ARG_TAMANHO", fmt::format("{}: a chave de boleto {}/{} é longa demais",
                                                 ctx.method(), k.branch, k.number));
      keys.push_back(std::move(k));
    }
    return keys;
  } catch (const nlohmann::json::exception& e) {
    throw Refusal("ARG_INVALIDO", fmt::format("{}: pacote malformado: {}", ctx.method(), e.what()));
  }
}

// Registered cheques: the value already applied to boletos comes with each.
const char* const kChequeSelect =
    "SELECT C.NRCHEQUERECE, C.CDBANCHEQREC, C.CDAGECHEQREC, C.CDCNTCHEQREC, C.VRCHEQUERECE, "
    "C.IDSITCHEQREC, C.CDREDUCONT, (SELECT COALESCE(SUM(Q.VRCHEQBOLREC), 0) FROM CHEQUEBOLREC Q "
    "WHERE Q.NRCHEQBOLREC = C.NRCHEQUERECE AND Q.CDBANCBOLREC = C.CDBANCHEQREC AND "
    "Q.CDAGENBOLREC = C.CDAGECHEQREC AND Q.CDCONTBOLREC = C.CDCNTCHEQREC) FROM CHEQUE C ";

// Cheque number, bank, agency and account of a call.
struct ChequeKey {
  std::string number, bank, agency, account;
};
template <class Args>
ChequeKey chequeArgs(const Args& a) {
  return {a.NRCHEQUERECE.code(), a.CDBANCHEQREC.code(), a.CDAGECHEQREC.value(),
          a.CDCNTCHEQREC.value()};
}

// The customer's cheque of that number; bank, agency and account narrow it when given.
template <class Args>
Variant customerCheque(CallContext& ctx, const Args& a, bool availableOnly) {
  const std::string customer = a.CDCLIENTE.code();
  ChequeKey k = chequeArgs(a);
  std::string sql = std::string(kChequeSelect) +
                    "WHERE C.CDEMPRESA = :e AND C.CDCLIENTE = :c AND C.NRCHEQUERECE = :n AND "
                    "(C.CDBANCHEQREC = :b OR :b2 = '') AND (C.CDAGECHEQREC = :a OR :a2 = '') AND "
                    "(C.CDCNTCHEQREC = :k OR :k2 = '')";
  const auto& table = records::cdsCheque();
  auto packet = runBound(
      ctx.sql(), sql,
      {Value(ctx.company()), Value(customer), Value(k.number), Value(k.bank), Value(k.bank),
       Value(k.agency), Value(k.agency), Value(k.account), Value(k.account)},
      table.fields());
  if (availableOnly) {
    using namespace records::fld;
    const size_t value = table.indexOf(VRCHEQUERECE), used = table.indexOf(VRUSADOCHEQ),
                 state = table.indexOf(IDSITCHEQREC);
    // Available: still to be cleared ("A") and with value not yet applied to boletos.
    nlohmann::json kept = nlohmann::json::array();
    for (auto& row : packet["rows"]) {
      const double v = row[value].is_number() ? row[value].get<double>() : 0;
      const double u = row[used].is_number() ? row[used].get<double>() : 0;
      const bool open = row[state].is_string() && row[state].get<std::string>() == "A";
      if (open && host::RoundDec(2, v - u) > 0) kept.push_back(row);
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

// The bank, agency, account, account code and company of a call.
template <class Args>
std::vector<Value> accountArgs(CallContext& ctx, const Args& a) {
  std::string bank = a.CDBANCO.code();
  std::string agency = a.CDAGENCIA.value();
  std::string account = a.CDCONTCORR.value();
  std::string code = a.CDREDUCONT.code();
  std::string company = companyArg(ctx, a.CDEMPRESA);
  return {Value(company), Value(code),   Value(code),   Value(code),
          Value(bank),    Value(agency), Value(account)};
}

}  // namespace

// A boleto goes by post to its payer and the bank prints the payer's address on it: a
// customer without street, city, state (two letters) or an eight-digit CEP cannot receive it.
// The district is left out: many addresses have none.
extern const char* const kWithoutAddress =
    "COALESCE(TRIM(DSENDECLIE), '') = '' OR COALESCE(TRIM(NMCIDACLIE), '') = '' OR "
    "LENGTH(COALESCE(TRIM(SGESTADO), '')) <> 2 OR LENGTH(REPLACE(REPLACE(COALESCE(TRIM("
    "NRCEPCLIE), ''), '-', ''), '.', '')) <> 8";

namespace {

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
  d.on<rpc::GetContCorr>([](CallContext& ctx, rpc::GetContCorr& a) {
    const std::string code = a.CDREDUCONT.code();
    const std::string company = companyArg(ctx, a.CDEMPRESA);
    const bool all = allFlag(ctx, a.todos, 3);
    const std::string where =
        " FROM CONTCORR K LEFT JOIN BANCO B ON B.CDBANCO = K.CDBANCO WHERE K.CDEMPRESA = :e AND "
        "(K.CDREDUCONT = :c OR :t = 'T') ORDER BY K.CDREDUCONT";
    const std::vector<Value> values{Value(company), Value(code), Value(all ? "T" : "")};
    const auto& fields = records::BankAccountRecord().fields();
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
                             records::cdsTxMensBol().fields());
    return Variant::array(
        {Variant::packet(std::move(accounts)), Variant::packet(std::move(messages))});
  });

  // GetExistCheque(cheque, bank, agency, account): the registered cheque with its collection
  // account; no row when it is not registered.
  d.on<rpc::GetExistCheque>([](CallContext& ctx, rpc::GetExistCheque& a) {
    ChequeKey k = chequeArgs(a);
    return packetOf(
        ctx,
        std::string(kChequeSelect) +
            "WHERE C.CDEMPRESA = :e AND C.NRCHEQUERECE = :n AND C.CDBANCHEQREC = :b "
            "AND C.CDAGECHEQREC = :a AND C.CDCNTCHEQREC = :k",
        {Value(ctx.company()), Value(k.number), Value(k.bank), Value(k.agency), Value(k.account)},
        records::cdsCheque().fields());
  });

  // GetVeriTpRecBoleto(list packet): "EXISTTPREC" when a marked boleto of the list has
  // payment types, else empty.
  d.on<rpc::GetVeriTpRecBoleto>([](CallContext& ctx, rpc::GetVeriTpRecBoleto& a) {
    for (const auto& k : packetKeys(ctx, a.cdsBoletos.value().packetJson(), true)) {
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
  d.on<rpc::DelTpRec>([](CallContext& ctx, rpc::DelTpRec& a) {
    Key k = existingBoleto(ctx, a);
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
  d.on<rpc::GetCdRedTpRe>([](CallContext& ctx, rpc::GetCdRedTpRe& a) {
    Key k = existingBoleto(ctx, a);
    return packetOf(ctx,
                    "SELECT P.CDFILIAL, P.NRLANBOLREC, P.NRSEQTPRECBO, P.CDTIPORECE, B.CDREDUCONT "
                    "FROM TPRECBOLETO P JOIN BOLRECEBER B ON B.CDFILIAL = P.CDFILIAL AND "
                    "B.NRLANBOLREC = P.NRLANBOLREC WHERE P.CDFILIAL = :f AND P.NRLANBOLREC = :n "
                    "ORDER BY P.NRSEQTPRECBO",
                    {Value(k.branch), Value(k.number)}, records::cdsCdRedTpRe().fields());
  });

  // Write-off types: one by code (padded to 2), or all for the search.
  d.on<rpc::GetVdTipoBaixa>([](CallContext& ctx, rpc::GetVdTipoBaixa& a) {
    return packetOf(ctx, "SELECT CDTPBAIXAREC, NMTPBAIXAREC FROM TIPOBAIXA WHERE CDTPBAIXAREC = :c",
                    {Value(a.CDTPBAIXAREC.code())}, records::cdsTipoBaixa().fields());
  });
  d.on<rpc::GetPesqTpBaixa>([](CallContext& ctx, rpc::GetPesqTpBaixa&) {
    return packetOf(ctx, "SELECT CDTPBAIXAREC, NMTPBAIXAREC FROM TIPOBAIXA ORDER BY CDTPBAIXAREC",
                    {}, records::cdsTipoBaixa().fields());
  });

  // GetInstCobr(bank, instruction code, "T" for all of the bank).
  d.on<rpc::GetInstCobr>([](CallContext& ctx, rpc::GetInstCobr& a) {
    const bool all = allFlag(ctx, a.todos, 3);
    return packetOf(ctx,
                    "SELECT CDBANCO, CDINSTCOBR, DSINSTCOBR FROM INSTRCOBR WHERE CDBANCO = :b AND "
                    "(CDINSTCOBR = :c OR :t = 'T') ORDER BY CDINSTCOBR",
                    {Value(a.CDBANCO.code()), Value(a.CDINSTCOBR.code()), Value(all ? "T" : "")},
                    records::cdsInstCobr().fields());
  });

  // GetFiliOrig(branch or "" for all, company): branches of the company.
  d.on<rpc::GetFiliOrig>([](CallContext& ctx, rpc::GetFiliOrig& a) {
    const std::string branch = a.CDFILIAL.code();
    const std::string company = companyArg(ctx, a.CDEMPRESA);
    return packetOf(ctx,
                    "SELECT CDFILIAL, NMFILIAL FROM FILIAL WHERE CDEMPRESA = :e AND (CDFILIAL = :f "
                    "OR :t = '') ORDER BY CDFILIAL",
                    {Value(company), Value(branch), Value(branch)}, records::cdsFilial().fields());
  });

  // GetFilialCC(bank, agency, account, account code, company): the branch the collection
  // account belongs to, as the origin branch to propose (CDFILORIG, NMFILIAL).
  d.on<rpc::GetFilialCC>([](CallContext& ctx, rpc::GetFilialCC& a) {
    return packetOf(
        ctx,
        "SELECT K.CDFILIAL, F.NMFILIAL " + std::string(kAccountBranch) + "ORDER BY K.CDREDUCONT",
        accountArgs(ctx, a), records::cdsFilialCC().fields());
  });

  // GetVdFilOrig(bank, agency, account, account code, company, origin branch): the origin
  // branch (CDFILIAL, NMFILIAL) when it may issue boletos on the account, no row otherwise.
  // Only the account's own branch may: an account without a branch has no issuer, and a
  // blank origin matches none.
  d.on<rpc::GetVdFilOrig>([](CallContext& ctx, rpc::GetVdFilOrig& a) {
    auto values = accountArgs(ctx, a);
    values.emplace_back(a.CDFILORIG.code());
    return packetOf(ctx,
                    "SELECT DISTINCT K.CDFILIAL, F.NMFILIAL " + std::string(kAccountBranch) +
                        "AND K.CDFILIAL = :o",
                    values, records::cdsFilial().fields());
  });

  // GetStatus(branch, number; both in-out, padded): the boleto's state as stored now.
  d.on<rpc::GetStatus>([](CallContext& ctx, rpc::GetStatus& a) {
    a.CDFILIAL.set(a.CDFILIAL.code());
    a.NRLANBOLREC.set(a.NRLANBOLREC.code());
    const std::string branch = a.CDFILIAL.value(), number = a.NRLANBOLREC.value();
    std::string company;
    soci::indicator ind = soci::i_null;
    ctx.sql() << "SELECT CDEMPRESA FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number), soci::into(company, ind);
    if (ctx.sql().got_data() && ind == soci::i_ok) ctx.requireCompany(company);
    return packetOf(ctx,
                    "SELECT CDFILIAL, NRLANBOLREC, IDSTATBREC, NRBAIXAREC, NRCNABRECREM, "
                    "IDBOLRECALTER, IDSITUCNABR FROM BOLRECEBER WHERE CDFILIAL = :f AND "
                    "NRLANBOLREC = :n",
                    {Value(branch), Value(number)}, records::cdsStatus().fields());
  });

  // GetVdCompensa(branch, number): "TRUE" when the bank has cleared the boleto.
  d.on<rpc::GetVdCompensa>([](CallContext& ctx, rpc::GetVdCompensa& a) {
    return Variant(cleared(ctx, existingBoleto(ctx, a)) ? "TRUE" : "FALSE");
  });

  // GetVdTBolCompensa(key packet): the key (branch + number, 14 characters) of the first
  // boleto of the packet the bank has cleared; empty when none.
  d.on<rpc::GetVdTBolCompensa>([](CallContext& ctx, rpc::GetVdTBolCompensa& a) {
    for (const auto& k : packetKeys(ctx, a.cdsChaveBol.value().packetJson(), false)) {
      if (cleared(ctx, k)) return Variant(k.branch + k.number);
    }
    return Variant("");
  });

  // GetVerifEndeClie(list packet): [key of the first boleto, in the packet's order, whose
  // customer has no address to print on it, that customer's code and name]; two empty texts
  // when every one has. Only the rows marked "M" count when the packet carries IDMARCADO.
  // The customer is the one stored with the boleto; boletos of other companies never count.
  d.on<rpc::GetVerifEndeClie>([](CallContext& ctx, rpc::GetVerifEndeClie& a) {
    const auto keys = packetKeys(ctx, a.cdsBoletos.value().packetJson(), true);
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
  d.on<rpc::GetValidaCheque>(
      [](CallContext& ctx, rpc::GetValidaCheque& a) { return customerCheque(ctx, a, false); });
  d.on<rpc::GetChequePerm>(
      [](CallContext& ctx, rpc::GetChequePerm& a) { return customerCheque(ctx, a, true); });

  // GetValNrCheque(branch, number, cheque): the payment-type sequence of the boleto that
  // already holds that cheque number; empty when none does.
  d.on<rpc::GetValNrCheque>([](CallContext& ctx, rpc::GetValNrCheque& a) {
    Key k = existingBoleto(ctx, a);
    const std::string cheque = a.NRCHEQUERECE.code();
    int seq = 0;
    soci::indicator ind = soci::i_null;
    ctx.sql() << "SELECT MIN(NRSEQTPRECBO) FROM CHEQUEBOLREC WHERE CDFILIAL = :f AND "
                 "NRLANBOLREC = :n AND NRCHEQBOLREC = :c",
        soci::use(k.branch), soci::use(k.number), soci::use(cheque), soci::into(seq, ind);
    return Variant(ind == soci::i_ok ? fmt::format("{:0>{}}", seq, records::fld::NRSEQTPRECBO.size)
                                     : std::string());
  });
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
