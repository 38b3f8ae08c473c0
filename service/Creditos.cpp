// Credits a boleto is discounted by: a customer's advances, devolutions and credit notes. A
// discount is one adjustment of a discount type on the boleto; it lowers the boleto's net value
// and consumes each credit by exactly what it took, in centavos, in the same transaction.
// Balances are written back only over the value this call read, so two operators using the
// last of one credit cannot both succeed, whichever storage and however many servers.

#include "service/Creditos.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "host/Consiste.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Money.h"
#include "service/Rows.h"

namespace service {

namespace {

namespace fld = records::fld;
using host::Value;
using remote::Variant;

std::string iso(const host::DateTime& d) {
  return d.format("yyyy-mm-dd");
}

/// One kind of credit: where it is kept and how the adjustment it books is marked.
struct CreditKind {
  char code;             ///< CREDITOUSO.IDTPCREDITO: "A", "D", "N"
  const char* table;     ///< ADIANTAMENTO, DEVOLUCAO, NOTACREDITO
  const char* number;    ///< its number column
  const char* balance;   ///< what is left of it
  const char* extra;     ///< a further condition on the credit ("" for none)
  const char* typeKind;  ///< TIPOAJREC.IDTPAJRECEBER its discount types carry, or nullptr
};
const CreditKind kAdvance{'A', "ADIANTAMENTO", "NRADIANTREC", "VRSALDOADIANT", "", "A"};
const CreditKind kDevolution{'D', "DEVOLUCAO", "NRDEVOLREC", "VRSALDODEVOL", "", "D"};
const CreditKind kNote{'N',           "NOTACREDITO",           "NRNOTACRED",
                       "VRSALDONOTA", " AND IDTIPONOTA = 'C'", nullptr};

struct Boleto {
  std::string branch, number, company, customer, status;
  bool inRemittance = false;
  double net = 0;  ///< as stored, for the write-back check
};

Boleto boletoOf(CallContext& ctx, const std::string& branch, const std::string& number) {
  Boleto b;
  b.branch = branch;
  b.number = number;
  std::string remittance;
  soci::indicator ri = soci::i_null, si = soci::i_null;
  ctx.sql() << "SELECT CDEMPRESA, CDCLIENTE, IDSTATBREC, NRCNABRECREM, VRFINALBREC FROM "
               "BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::into(b.company), soci::into(b.customer), soci::into(b.status, si),
      soci::into(remittance, ri), soci::into(b.net), soci::use(branch), soci::use(number);
  if (!ctx.sql().got_data() || b.company != ctx.company()) {
    throw Refusal("BOL_NC", fmt::format("Boleto {}/{} não cadastrado para a empresa {}.", branch,
                                        number, ctx.company()));
  }
  // Only a boleto still to be received takes a discount.
  if (b.status != "A" && b.status != "E") {
    throw Refusal("BOL_BAIXA", fmt::format("Boleto {}/{} está baixado ou cancelado (situação "
                                           "\"{}\"): não recebe desconto.",
                                           branch, number, b.status));
  }
  b.inRemittance = ri == soci::i_ok && !host::AllTrim(remittance).empty();
  return b;
}

/// The description of a discount type, checked for the kind of credit; refused with the
/// screen's keys.
std::string discountType(CallContext& ctx, const std::string& type, const char* typeKind) {
  if (type.empty()) throw Refusal("CdAjDeve", "Tipo de ajuste deve ser informado.");
  std::string name, kind;
  soci::indicator ki = soci::i_null;
  ctx.sql() << "SELECT DSAJUCTREC, IDTPAJRECEBER FROM TIPOAJREC WHERE CDAJUCTREC = :c AND "
               "IDAJUCTREC = 'D'",
      soci::into(name), soci::into(kind, ki), soci::use(type);
  if (!ctx.sql().got_data() || (typeKind != nullptr && (ki != soci::i_ok || kind != typeKind)))
    throw Refusal("TipoAjuste_NaoCad", fmt::format("Tipo de ajuste {} não cadastrado.", type));
  return name;
}

bool typeOnBoleto(CallContext& ctx, const Boleto& b, const std::string& type) {
  int n = 0;
  ctx.sql() << "SELECT COUNT(*) FROM AJUSTEBOLREC WHERE CDFILIAL = :f AND NRLANBOLREC = :n AND "
               "CDAJUCTREC = :c",
      soci::into(n), soci::use(b.branch), soci::use(b.number), soci::use(type);
  return n > 0;
}

/// One credit and what a discount takes of it.
struct Use {
  std::string branch, number;
  int64_t cents = 0;
};

/// Takes `use` off the credit's balance, written over the balance read: a credit someone used
/// meanwhile refuses the call. Nothing is taken beyond what is left.
void consume(CallContext& ctx, const CreditKind& k, const Boleto& b, const Use& use) {
  double balance = 0;
  const std::string read = fmt::format(
      "SELECT {} FROM {} WHERE CDFILIAL = :f AND {} = :n AND CDEMPRESA = :e AND "
      "CDCLIENTE = :c{}",
      k.balance, k.table, k.number, k.extra);
  soci::indicator bi = soci::i_null;
  ctx.sql() << read, soci::into(balance, bi), soci::use(use.branch), soci::use(use.number),
      soci::use(b.company), soci::use(b.customer);
  if (!ctx.sql().got_data()) {
    throw Refusal("CRED_NC", fmt::format("Crédito {}/{} não é do cliente {} na empresa {}.",
                                         use.branch, use.number, b.customer, b.company));
  }
  const int64_t left = bi == soci::i_ok ? centavos(balance) : 0;
  if (use.cents <= 0)
    throw Refusal("vrDesc<0", fmt::format("Valor deve ser maior que zero (crédito {}/{}).",
                                          use.branch, use.number));
  if (use.cents > left) {
    throw Refusal("vrDesc_<_vrdisp",
                  fmt::format("Valor do desconto deve ser menor ou igual que o valor disponível: "
                              "o crédito {}/{} tem {} disponível.",
                              use.branch, use.number, moneyText(left)));
  }
  double after = reais(left - use.cents);
  soci::statement st =
      (ctx.sql().prepare << fmt::format("UPDATE {0} SET {1} = :v WHERE CDFILIAL = :f AND {2} = :n "
                                        "AND {1} = :old",
                                        k.table, k.balance, k.number),
       soci::use(after), soci::use(use.branch), soci::use(use.number), soci::use(balance));
  st.execute(true);
  if (st.get_affected_rows() != 1) {
    throw Refusal("vrDesc_<_vrdisp",
                  fmt::format("O crédito {}/{} foi usado por outro usuário; nada foi descontado.",
                              use.branch, use.number));
  }
  if (k.code == kDevolution.code && after == 0) {
    // A devolution used up names the boleto that took its last part.
    ctx.sql() << "UPDATE DEVOLUCAO SET CDFILBOLREC = :b, NRLANBOLREC = :l WHERE CDFILIAL = :f "
                 "AND NRDEVOLREC = :n",
        soci::use(b.branch), soci::use(b.number), soci::use(use.branch), soci::use(use.number);
  }
}

/// The discount itself: one adjustment row, the boleto's net value lowered by exactly the
/// total, each credit consumed and its use recorded. The boleto leaves its remittance: the
/// operator was told so before confirming.
void bookDiscount(CallContext& ctx, const CreditKind& k, const Boleto& b, const std::string& type,
                  const std::string& typeName, const std::vector<Use>& uses, int64_t total,
                  const char* negativeKey) {
  const int64_t net = centavos(b.net);
  if (total > net) {
    throw Refusal(negativeKey,
                  fmt::format("Operação bloqueada. O boleto {}/{} vale {}; um desconto de {} o "
                              "deixaria negativo.",
                              b.branch, b.number, moneyText(net), moneyText(total)));
  }
  for (const auto& u : uses) consume(ctx, k, b, u);
  int seq = 0;
  ctx.sql() << "SELECT COALESCE(MAX(NRSEQAJUSTE), 0) + 1 FROM AJUSTEBOLREC WHERE CDFILIAL = :f "
               "AND NRLANBOLREC = :n",
      soci::into(seq), soci::use(b.branch), soci::use(b.number);
  double value = reais(total);
  const std::string today = iso(ctx.today());
  const std::string origin(1, k.code == 'D' ? 'V' : k.code);
  ctx.sql() << "INSERT INTO AJUSTEBOLREC (CDFILIAL, NRLANBOLREC, NRSEQAJUSTE, CDAJUCTREC, "
               "DSAJUCTREC, IDAJUCTREC, IDORIGAJBREC, VRAJUSTE, DTAJUSTE) VALUES (:f, :n, :s, "
               ":c, :d, 'D', :o, :v, :t)",
      soci::use(b.branch), soci::use(b.number), soci::use(seq), soci::use(type),
      soci::use(typeName), soci::use(origin), soci::use(value), soci::use(today);
  double after = reais(net - total);
  double before = b.net;
  soci::statement st =
      (ctx.sql().prepare << std::string("UPDATE BOLRECEBER SET VRFINALBREC = :v") +
                                (b.inRemittance ? ", IDSITUCNABR = '00', NRCNABRECREM = NULL"
                                                : "") +
                                " WHERE CDFILIAL = :f AND NRLANBOLREC = :n AND VRFINALBREC = :old",
       soci::use(after), soci::use(b.branch), soci::use(b.number), soci::use(before));
  st.execute(true);
  if (st.get_affected_rows() != 1) {
    throw Refusal("ALT_BLOQ", fmt::format("O boleto {}/{} foi alterado por outro usuário.",
                                          b.branch, b.number));
  }
  const std::string kind(1, k.code);
  const std::string op = ctx.operatorCode();
  for (const auto& u : uses) {
    double used = reais(u.cents);
    ctx.sql() << "INSERT INTO CREDITOUSO (CDFILIAL, NRLANBOLREC, NRSEQAJUSTE, IDTPCREDITO, "
                 "CDFILCRED, NRCREDITO, VRUSADO, DTUSO, CDOPERADOR) VALUES (:f, :n, :s, :k, :cf, "
                 ":cn, :v, :t, :o)",
        soci::use(b.branch), soci::use(b.number), soci::use(seq), soci::use(kind),
        soci::use(u.branch), soci::use(u.number), soci::use(used), soci::use(today), soci::use(op);
  }
}

void loadPacket(CallContext& ctx, const Variant& arg, const records::Table& table,
                host::ClientDataset& ds) {
  try {
    ds.loadPacket(arg.packetJson());
    table.requireIn(ds);
  } catch (const std::exception& e) {
    throw Refusal("ARG_INVALIDO", fmt::format("{}: o pacote não é de {}: {}", ctx.method(),
                                              table.dataset(), e.what()));
  }
}

/// SetConfirma_Adianta and SetConfirma_Devolucao: the chosen rows ("S") of the packet, each
/// credit once with the sum of what its rows take; their total must be the value to discount.
template <class Args>
Variant confirmCredits(CallContext& ctx, Args& a, const CreditKind& k, const Variant& packet,
                       const records::Table& table, const records::Field& branchField) {
  a.CDFILIAL.set(a.CDFILIAL.code());
  a.NRLANBOLREC.set(a.NRLANBOLREC.code());
  const Boleto b = boletoOf(ctx, a.CDFILIAL.value(), a.NRLANBOLREC.value());
  const std::string type = a.CDAJUCTREC.code();
  const std::string typeName = discountType(ctx, type, k.typeKind);
  if (typeOnBoleto(ctx, b, type))
    throw Refusal("AJ_JC", fmt::format("Tipo de ajuste {} já cadastrado para o boleto.", type));
  host::ClientDataset rows(table.dataset());
  loadPacket(ctx, packet, table, rows);
  std::map<std::pair<std::string, std::string>, int64_t> taken;
  for (size_t r = 1; r <= rows.recordCount(); ++r) {
    if (rows.valueAt(r, fld::IDMARCADO).asString() != "S") continue;
    const std::string branch = rows.valueAt(r, branchField).asString();
    const std::string number = rows.valueAt(r, fld::NRLANCTONF).asString();
    const Value v = rows.valueAt(r, fld::VRDESCONTO);
    const int64_t c = v.isNull() ? 0 : centavos(v.asDouble());
    if (c <= 0) {
      throw Refusal("vrDesc<0",
                    fmt::format("Valor deve ser maior que zero (crédito {}/{}).", branch, number));
    }
    taken[{branch, number}] += c;
  }
  std::vector<Use> uses;
  int64_t total = 0;
  for (const auto& [key, c] : taken) {
    uses.push_back({key.first, key.second, c});
    total += c;
  }
  const int64_t asked = centavos(a.vrDescontar.value());
  if (asked <= 0 || total <= 0)
    throw Refusal("vrDesc_n_inf", "Valor a descontar deve ser informado.");
  if (asked != total) {
    throw Refusal("ARG_INVALIDO",
                  fmt::format("{}: o valor a descontar ({}) não é a soma dos créditos escolhidos "
                              "({}).",
                              ctx.method(), moneyText(asked), moneyText(total)));
  }
  bookDiscount(ctx, k, b, type, typeName, uses, total, "VrBol_Neg");
  return Variant(true);
}

// The select lists follow the tables' orders (records/Tables.cpp).
const char* const kAdvances =
    "SELECT 'N', A.DTADIANTREC, '01', '01', A.CDFILIAL, A.VRADIANTREC, A.NRADIANTREC, "
    "A.VRSALDOADIANT, CAST(0 AS DOUBLE PRECISION), C.IDTPIJURCLIE, C.NMRAZSOCCLIE, "
    "C.NRINSJURCLIE, A.VRADIANTREC - A.VRSALDOADIANT FROM ADIANTAMENTO A LEFT JOIN CLIENTE C "
    "ON C.CDCLIENTE = A.CDCLIENTE WHERE A.CDCLIENTE = :c AND A.CDEMPRESA = :e AND "
    "A.VRSALDOADIANT > 0 ORDER BY A.DTADIANTREC, A.CDFILIAL, A.NRADIANTREC";
const char* const kDevolutions =
    "SELECT 'N', CASE WHEN COALESCE(D.CDSERIEDEVO, '') = '' THEN COALESCE(D.NRNFDEVO, "
    "D.NRDEVOLREC) ELSE COALESCE(D.NRNFDEVO, D.NRDEVOLREC) || '/' || D.CDSERIEDEVO END, "
    "D.CDFILIAL, D.NRNFDEVO, D.DTDEVOLREC, D.NRDEVOLREC, D.VRSALDODEVOL, CAST(0 AS DOUBLE "
    "PRECISION), D.VRDEVOLREC, C.NRINSJURCLIE, C.IDTPIJURCLIE, C.NMRAZSOCCLIE, D.FILIVENDA, "
    "D.NRNFVENDA FROM DEVOLUCAO D LEFT JOIN CLIENTE C ON C.CDCLIENTE = D.CDCLIENTE WHERE "
    "D.CDEMPRESA = :e AND D.CDCLIENTE = :c AND D.VRSALDODEVOL > 0 ORDER BY D.DTDEVOLREC, "
    "D.CDFILIAL, D.NRDEVOLREC";
const char* const kNotes =
    "SELECT 'V', C.NRINSJURCLIE, C.NMRAZSOCCLIE, N.DTEMISSAO, '', N.NRNOTACRED, N.CDFILIAL, "
    "N.NRNOTACRED, N.VRSALDONOTA, N.NRNOTACRED FROM NOTACREDITO N LEFT JOIN CLIENTE C ON "
    "C.CDCLIENTE = N.CDCLIENTE WHERE N.CDCLIENTE = :c AND N.CDEMPRESA = :e AND N.IDTIPONOTA = "
    "'C' AND N.VRSALDONOTA > 0 ORDER BY N.DTEMISSAO, N.CDFILIAL, N.NRNOTACRED";

/// The notes the caller set aside for this booking: the last `count` of its reservations.
std::vector<Use> reservedNotes(CallContext& ctx, int64_t count) {
  std::vector<Use> notes;
  std::set<std::pair<std::string, std::string>> seen;
  const std::string op = ctx.operatorCode();
  soci::rowset<soci::row> rows =
      (ctx.sql().prepare << "SELECT CDFILIAL, NRNOTACRED FROM NOTACREDRESERVA WHERE "
                            "CDOPERADOR = :o ORDER BY NRSEQRESERVA DESC",
       soci::use(op));
  for (const auto& r : rows) {
    if (static_cast<int64_t>(notes.size()) == count) break;
    Use u{r.get<std::string>(0), r.get<std::string>(1), 0};
    if (!seen.insert({u.branch, u.number}).second) {
      throw Refusal("ARG_INVALIDO", fmt::format("Altera: a nota {}/{} foi separada duas vezes.",
                                                u.branch, u.number));
    }
    notes.push_back(std::move(u));
  }
  if (static_cast<int64_t>(notes.size()) < count) {
    throw Refusal("AJ_INF", fmt::format("Altera: {} notas informadas, {} separadas com "
                                        "GetUpDateNF.",
                                        count, notes.size()));
  }
  return notes;
}

Variant bookNotes(CallContext& ctx, rpc::Altera& a) {
  if (a.operacao.value() != "I")
    throw Refusal("ARG_INVALIDO", fmt::format("Altera: operação \"{}\" desconhecida; só \"I\" "
                                              "inclui notas.",
                                              a.operacao.value()));
  if (a.count.value() < 1) throw Refusal("AJ_INF", "Nota fiscal deve ser informada.");
  a.CDFILIAL.set(a.CDFILIAL.code());
  a.NRLANBOLREC.set(a.NRLANBOLREC.code());
  const Boleto b = boletoOf(ctx, a.CDFILIAL.value(), a.NRLANBOLREC.value());
  const std::string type = a.CDAJUCTREC.code();
  const std::string typeName = discountType(ctx, type, nullptr);
  if (typeOnBoleto(ctx, b, type)) {
    throw Refusal("TipoAjuste_jaCad",
                  fmt::format("Tipo de ajuste {} já cadastrado para boleto.", type));
  }
  std::vector<Use> notes = reservedNotes(ctx, a.count.value());
  int64_t total = 0;
  for (auto& n : notes) {
    double balance = 0;
    soci::indicator bi = soci::i_null;
    ctx.sql() << "SELECT VRSALDONOTA FROM NOTACREDITO WHERE CDFILIAL = :f AND NRNOTACRED = :n "
                 "AND CDEMPRESA = :e AND CDCLIENTE = :c AND IDTIPONOTA = 'C'",
        soci::into(balance, bi), soci::use(n.branch), soci::use(n.number), soci::use(b.company),
        soci::use(b.customer);
    if (!ctx.sql().got_data() || bi != soci::i_ok || centavos(balance) <= 0) {
      throw Refusal("NF_INDISPONIVEL",
                    fmt::format("A nota de crédito {}/{} não está disponível para o cliente {}.",
                                n.branch, n.number, b.customer));
    }
    // A note is applied whole.
    n.cents = std::llabs(centavos(balance));
    total += n.cents;
  }
  if (centavos(a.vrTotal.value()) != total) {
    throw Refusal("ARG_INVALIDO",
                  fmt::format("Altera: o total informado ({}) não é o das notas separadas ({}).",
                              moneyText(centavos(a.vrTotal.value())), moneyText(total)));
  }
  if (total <= 0) throw Refusal("AJ_INV", "Total de notas fiscais deve ser maior que zero.");
  if (total > centavos(b.net)) {
    throw Refusal("AJ_EXEC", "Total de notas fiscais deve ser menor que o valor do boleto.");
  }
  if (centavos(a.vrRestante.value()) != centavos(b.net) - total) {
    throw Refusal("ALT_BLOQ", fmt::format("O boleto {}/{} foi alterado por outro usuário.",
                                          b.branch, b.number));
  }
  bookDiscount(ctx, kNote, b, type, typeName, notes, total, "AJ_EXEC");
  const std::string op = ctx.operatorCode();
  ctx.sql() << "DELETE FROM NOTACREDRESERVA WHERE CDOPERADOR = :o", soci::use(op);
  return Variant(true);
}

}  // namespace

void registerCreditos(Dispatcher& d) {
  d.on<rpc::GetContaAd>([](CallContext& ctx, rpc::GetContaAd& a) {
    a.CDCLIENTE.set(a.CDCLIENTE.code());
    a.CDEMPRESA.set(a.CDEMPRESA.code());
    ctx.requireCompany(a.CDEMPRESA.value());
    return packetOf(ctx, kAdvances, {Value(a.CDCLIENTE.value()), Value(a.CDEMPRESA.value())},
                    records::cdsContaAd().fields());
  });
  // GetDevolucao(company, CDCLIENTE): also what marking asks before it offers the discount.
  d.on<rpc::GetDevolucao>([](CallContext& ctx, rpc::GetDevolucao& a) {
    const std::string company = a.CDEMPRESA.code();
    ctx.requireCompany(company);
    return packetOf(ctx, kDevolutions, {Value(company), Value(a.CDCLIENTE.code())},
                    records::cdsVenda().fields());
  });
  d.on<rpc::GetExistAjuste>([](CallContext& ctx, rpc::GetExistAjuste& a) {
    a.CDFILIAL.set(a.CDFILIAL.code());
    a.NRLANBOLREC.set(a.NRLANBOLREC.code());
    return packetOf(ctx,
                    "SELECT A.CDAJUCTREC FROM AJUSTEBOLREC A JOIN BOLRECEBER B ON B.CDFILIAL = "
                    "A.CDFILIAL AND B.NRLANBOLREC = A.NRLANBOLREC WHERE A.CDFILIAL = :f AND "
                    "A.NRLANBOLREC = :n AND A.CDAJUCTREC = :c AND B.CDEMPRESA = :e",
                    {Value(a.CDFILIAL.value()), Value(a.NRLANBOLREC.value()),
                     Value(a.CDAJUCTREC.code()), Value(ctx.company())},
                    records::cdsExistAjuste().fields());
  });
  d.on<rpc::SetConfirma_Adianta>([](CallContext& ctx, rpc::SetConfirma_Adianta& a) {
    return confirmCredits(ctx, a, kAdvance, a.cdsContaAd.value(), records::cdsContaAd(),
                          fld::CDFILIAL);
  });
  d.on<rpc::SetConfirma_Devolucao>([](CallContext& ctx, rpc::SetConfirma_Devolucao& a) {
    return confirmCredits(ctx, a, kDevolution, a.cdsVenda.value(), records::cdsVenda(),
                          fld::FILIDEVO);
  });
  d.on<rpc::GetGrid>([](CallContext& ctx, rpc::GetGrid& a) {
    a.CDCLIENTE.set(a.CDCLIENTE.code());
    a.CDEMPRESA.set(a.CDEMPRESA.code());
    ctx.requireCompany(a.CDEMPRESA.value());
    return packetOf(ctx, kNotes, {Value(a.CDCLIENTE.value()), Value(a.CDEMPRESA.value())},
                    records::cdsGrid().fields());
  });
  d.on<rpc::GetTipoAjReceber_Saida>([](CallContext& ctx, rpc::GetTipoAjReceber_Saida&) {
    return packetOf(ctx,
                    "SELECT CDAJUCTREC, DSAJUCTREC FROM TIPOAJREC WHERE IDAJUCTREC = 'D' ORDER "
                    "BY CDAJUCTREC",
                    {}, records::cdsTipoAjDesc().fields());
  });
  d.on<rpc::GetAuxTipoAjReceber>([](CallContext& ctx, rpc::GetAuxTipoAjReceber& a) {
    return packetOf(ctx,
                    "SELECT CDAJUCTREC, DSAJUCTREC FROM TIPOAJREC WHERE CDAJUCTREC = :c AND "
                    "IDAJUCTREC = 'D'",
                    {Value(a.CDAJUCTREC.code())}, records::cdsTipoAjDesc().fields());
  });
  d.on<rpc::GetUpDateNF>([](CallContext& ctx, rpc::GetUpDateNF& a) {
    const std::string branch = a.CDFILIAL.code();
    const std::string number = a.NRLANCTONF.code();
    if (!a.NRNOTACRED.value().empty() && a.NRNOTACRED.code() != number) {
      throw Refusal("ARG_INVALIDO",
                    fmt::format("GetUpDateNF: a nota {} e o lançamento {} não são a mesma nota.",
                                a.NRNOTACRED.value(), a.NRLANCTONF.value()));
    }
    int open = 0;
    ctx.sql() << "SELECT COUNT(*) FROM NOTACREDITO WHERE CDFILIAL = :f AND NRNOTACRED = :n AND "
                 "CDEMPRESA = :e AND IDTIPONOTA = 'C' AND VRSALDONOTA > 0",
        soci::into(open), soci::use(branch), soci::use(number), soci::use(ctx.company());
    if (open == 0) {
      throw Refusal("NF_INDISPONIVEL",
                    fmt::format("A nota de crédito {}/{} não está disponível.", branch, number));
    }
    const std::string op = ctx.operatorCode();
    int seq = 0;
    ctx.sql() << "SELECT COALESCE(MAX(NRSEQRESERVA), 0) + 1 FROM NOTACREDRESERVA WHERE "
                 "CDOPERADOR = :o",
        soci::into(seq), soci::use(op);
    const std::string now = ctx.now().format("yyyy-mm-dd hh:nn:ss");
    ctx.sql() << "INSERT INTO NOTACREDRESERVA (CDOPERADOR, NRSEQRESERVA, CDFILIAL, NRNOTACRED, "
                 "DTRESERVA) VALUES (:o, :s, :f, :n, :d)",
        soci::use(op), soci::use(seq), soci::use(branch), soci::use(number), soci::use(now);
    return Variant(true);
  });
  d.on<rpc::Altera>(bookNotes);
}

void loadCreditDemo(soci::session& sql) {
  // The discount types of each kind of credit.
  sql << "INSERT INTO TIPOAJREC (CDAJUCTREC, DSAJUCTREC, IDAJUCTREC, IDTPAJRECEBER) VALUES "
         "('0005', 'Desconto de adiantamento', 'D', 'A')";
  sql << "INSERT INTO TIPOAJREC (CDAJUCTREC, DSAJUCTREC, IDAJUCTREC, IDTPAJRECEBER) VALUES "
         "('0006', 'Desconto de devolução', 'D', 'D')";
  sql << "INSERT INTO TIPOAJREC (CDAJUCTREC, DSAJUCTREC, IDAJUCTREC) VALUES ('0007', "
         "'Nota fiscal de crédito', 'D')";
  // Returns seeded before this step: what is left of each is all of it, with its note.
  sql << "UPDATE DEVOLUCAO SET VRSALDODEVOL = VRDEVOLREC, NRNFDEVO = NRDEVOLREC WHERE "
         "VRSALDODEVOL IS NULL";
  // Beta Construções (102), who already paid an advance, also returned goods and holds a
  // credit note: every road of the discount has a customer to try it on.
  sql << "INSERT INTO DEVOLUCAO (CDFILIAL, NRDEVOLREC, CDEMPRESA, CDCLIENTE, DTDEVOLREC, "
         "VRDEVOLREC, VRSALDODEVOL, NRNFDEVO, CDSERIEDEVO, FILIVENDA, NRNFVENDA) SELECT '0001', "
         "'0000000002', '04', '000000000000000000102', DTEMISSAO, 80.00, 80.00, '0000004411', "
         "'1', '0001', '0000001002' FROM BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = "
         "'0000000002'";
  sql << "INSERT INTO NOTACREDITO (CDFILIAL, NRNOTACRED, CDEMPRESA, CDCLIENTE, IDTIPONOTA, "
         "DTEMISSAO, VRNOTACRED, VRSALDONOTA, DSNOTACRED) SELECT '0001', '0000000002', '04', "
         "'000000000000000000102', 'C', DTEMISSAO, 25.50, 25.50, 'Bonificação comercial' FROM "
         "BOLRECEBER WHERE CDFILIAL = '0001' AND NRLANBOLREC = '0000000002'";
}

}  // namespace service
