// The register's association: the check of the marked boletos with the new boleto it
// proposes (GetVerifAgrupamento), and AgrupaBoleto, which replaces the marked boletos of one
// customer by one new boleto for exactly their total, with the collection data the operator
// completed, in one transaction (the checks and the storing are the association screen's).

#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <set>

#include "host/ClientDataset.h"
#include "host/Consiste.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Conjuga.h"
#include "service/Dispatcher.h"
#include "service/Validacoes.h"

namespace service {

namespace {

using host::Value;
using remote::Variant;
namespace fld = records::fld;

/// A marked boleto as stored now.
struct Marked {
  std::string branch, number, customer, licence, kind, status, situation, protest, origin;
  std::optional<host::DateTime> due;
};

std::vector<Marked> markedBoletos(CallContext& ctx, host::ClientDataset& list) {
  std::vector<Marked> out;
  const std::string company = ctx.company();
  const bool hasMark = list.fieldIndex(fld::IDMARCADO) >= 0;
  for (list.first(); !list.eof(); list.next()) {
    if (hasMark && list.valueOf(fld::IDMARCADO).asString() != "M") continue;
    Marked m;
    m.branch = host::Ajusta(host::AllTrim(list.valueOf(fld::CDFILIAL).asString()), 4);
    m.number = host::Ajusta(host::AllTrim(list.valueOf(fld::NRLANBOLREC).asString()), 10);
    std::string boletoCompany, due;
    soci::indicator ie, ic, il, ik, is, isit, ip, io, id;
    ctx.sql() << "SELECT CDEMPRESA, CDCLIENTE, NRLICENCAUSO, IDTPCTRECEBER, IDSTATBREC, "
                 "IDSITUCNABR, IDPROTESTREC, NRORIGBOLREC, DTVENBOLREC FROM BOLRECEBER WHERE "
                 "CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(m.branch), soci::use(m.number), soci::into(boletoCompany, ie),
        soci::into(m.customer, ic), soci::into(m.licence, il), soci::into(m.kind, ik),
        soci::into(m.status, is), soci::into(m.situation, isit), soci::into(m.protest, ip),
        soci::into(m.origin, io), soci::into(due, id);
    if (!ctx.sql().got_data() || boletoCompany != company)
      throw Refusal("BOL_NC", fmt::format("Boleto {}/{} não cadastrado para a empresa {}.",
                                          m.branch, m.number, company));
    auto blank = [](soci::indicator i, std::string& s) {
      if (i != soci::i_ok) s.clear();
      s = host::AllTrim(s);
    };
    blank(il, m.licence);
    blank(ik, m.kind);
    blank(isit, m.situation);
    blank(ip, m.protest);
    blank(io, m.origin);
    if (id == soci::i_ok && !due.empty()) m.due = host::DateTime::parseIso(due.substr(0, 10));
    out.push_back(std::move(m));
  }
  return out;
}

int count(CallContext& ctx, const std::string& query, const std::string& a, const std::string& b) {
  int n = 0;
  ctx.sql() << query, soci::use(a), soci::use(b), soci::into(n);
  return n;
}

/// The refusal code of the marked boletos (the register shows its message), or "".
std::string refusal(CallContext& ctx, const std::vector<Marked>& marked, std::string& unaddressed) {
  std::set<std::string> customers, licences, kinds;
  for (const auto& m : marked) {
    customers.insert(m.customer);
    licences.insert(m.licence);
    kinds.insert(m.kind);
  }
  if (customers.size() > 1 || licences.size() > 1) return "LICUSO";
  if (kinds.size() > 1) return "BOLTPCTDIF";
  for (const auto& m : marked)
    if (m.status == "E") return "BOLEMIT";
  if (!marked.empty()) {
    std::string name;
    soci::indicator in = soci::i_null;
    const std::string customer = marked.front().customer;
    ctx.sql() << std::string("SELECT NMRAZSOCCLIE FROM CLIENTE WHERE CDCLIENTE = :c AND (") +
                     kWithoutAddress + ")",
        soci::use(customer), soci::into(name, in);
    if (ctx.sql().got_data()) {
      unaddressed = customer + " - " + (in == soci::i_ok ? name : std::string());
      return "ENDCLIE";
    }
  }
  for (const auto& m : marked) {
    if (!m.origin.empty() &&
        count(ctx, "SELECT COUNT(*) FROM BOLRECEBER WHERE CDFILIAL = :f AND NRORIGBOLREC = :o",
              m.branch, m.origin) > 1)
      return "BOLPARC";
  }
  for (const auto& m : marked)
    if (!m.situation.empty() && m.situation != "00" && m.situation != "01") return "BOLCNAB";
  for (const auto& m : marked)
    if (m.protest == "S") return "BOLPROT";
  for (const auto& m : marked)
    if (m.status == "D") return "BOLDESCONT";
  return "";
}

/// The fine or daily interest of a value: the value rounded to 2 decimals times the
/// percentage rounded to 3, over 100, rounded to 2 decimals; 0 for a percentage not above 0.
double fineOf(double net, double percentage) {
  if (percentage <= 0) return 0;
  return host::RoundDec(2, host::RoundDec(2, net) * host::RoundDec(3, percentage) / 100.0);
}

}  // namespace

void registerAgrupamento(Dispatcher& d) {
  // GetVerifAgrupamento(list packet): [refusal code, "", customer without address, proposed
  // due date, customer, description] for the rows marked "M". The proposal: the latest due
  // date of the marked boletos (none falls due earlier than it did) and a description naming
  // them.
  d.on<rpc::GetVerifAgrupamento>([](CallContext& ctx, rpc::GetVerifAgrupamento& a) {
    host::ClientDataset list("cdsBoletos");
    loadPacket(ctx, a.cdsBoletos.value(), records::cdsChaveBol(), list);
    auto marked = markedBoletos(ctx, list);
    std::sort(marked.begin(), marked.end(), [](const Marked& x, const Marked& y) {
      return x.branch + x.number < y.branch + y.number;
    });
    if (marked.empty()) throw Refusal("BOL_AGRUP_NC", "Nenhum boleto marcado para associar.");
    std::string unaddressed;
    const std::string code = refusal(ctx, marked, unaddressed);
    std::optional<host::DateTime> due;
    std::string description = "Associação dos boletos";
    for (size_t i = 0; i < marked.size(); ++i) {
      const auto& m = marked[i];
      if (m.due && (!due || *due < *m.due)) due = m.due;
      description += fmt::format("{}{}/{}", i ? ", " : " ", m.branch, m.number);
    }
    if (host::Utf8Length(description) > static_cast<size_t>(fld::FTR_DSBOLETREC.size))
      description = host::Utf8Substr(description, 0, fld::FTR_DSBOLETREC.size);
    return Variant::array({Variant(code), Variant(""), Variant(unaddressed),
                           due ? Variant(*due) : Variant(), Variant(marked.front().customer),
                           Variant(description)});
  });

  // AgrupaBoleto(branch, company, 0.0, total, marked boletos, new boleto, bank message): the
  // marked boletos, all of one customer, are checked as the association screen checks them;
  // the total the register shows must be theirs to the centavo ("VRBOL_Dif"); the new boleto
  // needs a due date not before any of their emissions, an account and a write-off type of
  // the company. It is stored for exactly their total, with what the operator completed, and
  // without nosso número (numbered when emitted). One transaction: a refusal leaves all as
  // they were.
  d.on<rpc::AgrupaBoleto>([](CallContext& ctx, rpc::AgrupaBoleto& a) {
    const std::string company = a.CDEMPRESA.code();
    ctx.requireCompany(company);
    if (company != ctx.company())
      throw Refusal("ACESSO_EMPRESA", fmt::format("AgrupaBoleto: empresa {} não é a da sessão ({})",
                                                  company, ctx.company()));
    const std::string branch = associationBranch(ctx, a.FiliProc.value(), company);
    host::ClientDataset marked("cdsMarca"), fresh("cdsIncBoleto");
    loadPacket(ctx, a.cdsMarca.value(), records::cdsBolRec(), marked);
    loadPacket(ctx, a.cdsIncBoleto.value(), records::cdsIncBoletoConjuga(), fresh);
    if (fresh.recordCount() != 1)
      throw Refusal("ARG_INVALIDO", fmt::format("AgrupaBoleto: {} novos boletos; a associação do "
                                                "registro faz um",
                                                fresh.recordCount()));
    const auto byCustomer = checkReplaced(ctx, company, marked);
    if (byCustomer.size() != 1)
      throw Refusal("Cliente_dif", "Boletos de clientes diferentes não podem ser associados.");
    const auto& [customer, joined] = *byCustomer.begin();
    if (joined.parts.size() < 2)
      throw Refusal("N_Boletos", "AgrupaBoleto: uma associação precisa de dois ou mais boletos");
    const int64_t total = centavos(a.total.value());
    if (total != joined.net)
      throw Refusal("VRBOL_Dif", fmt::format("AgrupaBoleto: o total informado é {}; os boletos "
                                             "marcados somam {}",
                                             moneyText(total), moneyText(joined.net)));
    fresh.first();
    auto text = [&](const records::Field& f) { return host::AllTrim(fresh.valueOf(f).asString()); };
    const std::string freshCustomer = text(fld::CDCLIENTE);
    if (!freshCustomer.empty() && freshCustomer != customer)
      throw Refusal("Cliente_dif", fmt::format("AgrupaBoleto: o novo boleto é do cliente {}, os "
                                               "marcados de {}",
                                               freshCustomer, customer));
    const Value due = fresh.valueOf(fld::DTVENBOLREC);
    if (due.isNull()) throw Refusal("VENC_NI", "Vencimento deve ser informado.");
    for (size_t r = 1; r <= marked.recordCount(); ++r) {
      std::string emitted;
      soci::indicator ind = soci::i_null;
      const std::string b =
          host::Ajusta(host::AllTrim(marked.valueAt(r, fld::CDFILIAL).asString()), 4);
      const std::string n =
          host::Ajusta(host::AllTrim(marked.valueAt(r, fld::NRLANBOLREC).asString()), 10);
      ctx.sql() << "SELECT DTEMISSAO FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
          soci::use(b), soci::use(n), soci::into(emitted, ind);
      if (ind == soci::i_ok && !emitted.empty() && due.asDate().iso() < emitted.substr(0, 10))
        throw Refusal("DtVen<DtEmi",
                      "Data de vencimento do boleto não pode ser inferior a data de emissão.");
    }
    std::string account = text(fld::CDREDUCONT);
    if (account.empty()) throw Refusal("CCOB_INF", "Conta cobrança deve ser informada.");
    account = host::Ajusta(account, fld::CDREDUCONT.width());
    if (count(ctx, "SELECT COUNT(*) FROM CONTCORR WHERE CDEMPRESA = :e AND CDREDUCONT = :c",
              company, account) == 0)
      throw Refusal("CdRedu_nc", fmt::format("Conta corrente {} não cadastrada.", account));
    std::string type = text(fld::CDTPBAIXAREC);
    if (type.empty()) throw Refusal("TPBX_INF", "Tipo de baixa deve ser informado.");
    type = host::Ajusta(type, fld::CDTPBAIXAREC.width());
    int types = 0;
    ctx.sql() << "SELECT COUNT(*) FROM TIPOBAIXA WHERE CDTPBAIXAREC = :c", soci::use(type),
        soci::into(types);
    if (types == 0) throw Refusal("TPBX_N_CAD", "Tipo de baixa não cadastrado.");
    // The codes of a boleto encode its value: the new one gets its own at its emission.
    for (const auto& f : {fld::CDNOSNUMREC, fld::CDBARRAREC, fld::DSLINHABARREC})
      if (!text(f).empty())
        throw Refusal("NNUM_ASSOC",
                      "O boleto associado é numerado na emissão: nosso número e "
                      "código de barras não podem ser informados.");

    const std::string number = storeJoined(ctx, branch, joined, due.asDate(), type, account);

    // What the operator completed on the new boleto.
    const double net = static_cast<double>(joined.net) / 100.0;
    auto setText = [&](const char* column, const std::string& value) {
      soci::indicator ind = value.empty() ? soci::i_null : soci::i_ok;
      ctx.sql() << fmt::format(
          "UPDATE BOLRECEBER SET {} = :v WHERE CDFILIAL = :f AND "
          "NRLANBOLREC = :n",
          column),
          soci::use(value, ind), soci::use(branch), soci::use(number);
    };
    auto setNumber = [&](const char* column, double value) {
      ctx.sql() << fmt::format(
          "UPDATE BOLRECEBER SET {} = :v WHERE CDFILIAL = :f AND "
          "NRLANBOLREC = :n",
          column),
          soci::use(value), soci::use(branch), soci::use(number);
    };
    auto dateOf = [&](const records::Field& f) {
      const Value v = fresh.valueOf(f);
      return v.isNull() ? std::string() : v.asDate().iso();
    };
    const double pFine = fresh.valueOf(fld::VRPEMULBREC).asDouble();
    const double pInterest = fresh.valueOf(fld::VRPEMORBREC).asDouble();
    setNumber("VRPEMULBREC", pFine);
    setNumber("VRPEMORBREC", pInterest);
    // A percentage makes the value from the new net value; without one the value typed stays.
    setNumber("VRMULTABREC", pFine > 0
                                 ? fineOf(net, pFine)
                                 : host::RoundDec(2, fresh.valueOf(fld::VRMULTABREC).asDouble()));
    setNumber("VRMORDIABREC", pInterest > 0
                                  ? fineOf(net, pInterest)
                                  : host::RoundDec(2, fresh.valueOf(fld::VRMORDIABREC).asDouble()));
    for (const auto& f :
         {fld::CDCARTCOBBOL, fld::CDINS1COBBOL, fld::CDINS2COBBOL, fld::CDDIAPROTBOL,
          fld::IDIMPRBOLBOL, fld::IDPROTESTREC, fld::IDCARTCOBREC, fld::NRLICENCAUSO,
          fld::IDFORMCADBREC, fld::CDDIADEVOL, fld::CDFILORIG})
      setText(f.name, text(f));
    setNumber("QTDIAPROTBOL", fresh.valueOf(fld::QTDIAPROTBOL).asDouble());
    setNumber("QTDIADEVOL", fresh.valueOf(fld::QTDIADEVOL).asDouble());
    setText("DTINIPROTREC", dateOf(fld::DTINIPROTREC));
    setText("DTFIMPROTREC", dateOf(fld::DTFIMPROTREC));
    setText("TXMENSBOLBOL", host::AllTrim(a.TXMENSBOLBOL.value()));
    if (const std::string note = text(fld::FTR_DSBOLETREC); !note.empty())
      setText("DSBOLETREC", note);
    return Variant(branch + number);
  });
}

}  // namespace service
