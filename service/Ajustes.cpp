// The register's adjustments and due-date extensions. An adjustment is added to its boleto
// with the boleto's net value and one payment-type row moved by it, in centavos; an extension
// moves the due date of a set of boletos and records the reason. Each call is one
// transaction: every boleto is checked before anything is written, and a refusal writes
// nothing.

#include <fmt/format.h>

#include <cmath>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/Consiste.h"
#include "host/DateTime.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"
#include "service/Rows.h"

namespace service {

namespace {

using host::Value;
using nlohmann::json;
using remote::Variant;

int64_t centavos(double value) {
  return std::llround(value * 100.0);
}
double reais(int64_t cents) {
  return static_cast<double>(cents) / 100.0;
}

std::string trimmed(const std::string& s) {
  return host::AllTrim(s);
}

// A packet's rows by field name, the change log's kinds beside them.
class Packet {
 public:
  Packet(const json& p, const char* method) : p_(p), method_(method) {
    const auto& fields = p.at("fields");
    for (size_t i = 0; i < fields.size(); ++i) {
      columns_.emplace(fields[i].at("name").get<std::string>(), i);
    }
  }
  const json& rows() const { return p_.at("rows"); }
  const json* changes() const { return p_.contains("changes") ? &p_.at("changes") : nullptr; }
  bool has(const char* field) const { return columns_.count(field) > 0; }
  std::string text(const json& row, const char* field) const {
    auto it = columns_.find(field);
    if (it == columns_.end()) return {};
    const json& v = row.at(it->second);
    if (v.is_null()) return {};
    if (!v.is_string()) {
      throw Refusal("ARG_TIPO", fmt::format("{}: {} deve ser texto.", method_, field));
    }
    return trimmed(v.get<std::string>());
  }
  std::optional<double> number(const json& row, const char* field) const {
    auto it = columns_.find(field);
    if (it == columns_.end() || row.at(it->second).is_null()) return std::nullopt;
    const json& v = row.at(it->second);
    if (!v.is_number()) {
      throw Refusal("ARG_TIPO", fmt::format("{}: {} deve ser número.", method_, field));
    }
    return v.get<double>();
  }

 private:
  const json& p_;
  const char* method_;
  std::unordered_map<std::string, size_t> columns_;
};

// Why a boleto may no longer change: the key of the register's table, or "".
std::string lockedReason(const std::string& status, const std::string& writeOff) {
  if (status == "D") return "BOL_DESC";
  if (status == "B" || !writeOff.empty()) return "BOL_BAIXA";
  return {};
}

std::string text(const soci::row& r, size_t i) {
  return r.get_indicator(i) == soci::i_null ? std::string() : trimmed(r.get<std::string>(i));
}

// ------------------------------------------------------------------ adjustments

struct NewAdjustment {
  std::string type;
  int64_t cents = 0;
  std::string origin;
};

NewAdjustment insertedAdjustment(const json& delta) {
  Packet p(delta, "GetAjBolRec_Post");
  const json* changes = p.changes();
  std::optional<NewAdjustment> found;
  if (changes != nullptr) {
    for (const auto& c : *changes) {
      const std::string kind = c.at("kind").get<std::string>();
      // Saved adjustments are never changed nor deleted.
      if (kind != "insert") {
        throw Refusal("ARG_INVALIDO",
                      "GetAjBolRec_Post: um ajuste gravado não pode ser alterado nem excluído.");
      }
      if (found) {
        throw Refusal("ARG_INVALIDO", "GetAjBolRec_Post: um ajuste por chamada.");
      }
      const json& row = p.rows().at(c.at("row").get<size_t>());
      const auto value = p.number(row, "VRAJBOLREC");
      found = NewAdjustment{rpc::detail::padded(p.text(row, "CDAJUCTREC"), 4),
                            value ? centavos(*value) : 0, p.text(row, "IDORIGAJBREC")};
    }
  }
  if (!found) throw Refusal("ARG_INVALIDO", "GetAjBolRec_Post: o pacote não traz ajuste novo.");
  return *found;
}

Variant postAdjustment(CallContext& ctx, rpc::GetAjBolRec_Post& a) {
  const NewAdjustment adj = insertedAdjustment(a.cdsAjBolRec.value().packetJson());
  const std::string branch = a.CDFILIAL.code();
  const std::string number = a.NRLANBOLREC.code();

  std::string company, status, writeOff;
  double finalValue = 0;
  soci::indicator ci = soci::i_null, si = soci::i_null, wi = soci::i_null, fi = soci::i_null;
  ctx.sql() << "SELECT CDEMPRESA, IDSTATBREC, NRBAIXAREC, VRFINALBREC FROM BOLRECEBER WHERE "
               "CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(branch), soci::use(number), soci::into(company, ci), soci::into(status, si),
      soci::into(writeOff, wi), soci::into(finalValue, fi);
  if (!ctx.sql().got_data()) {
    throw Refusal("ALT_BLOQ",
                  fmt::format("GetAjBolRec_Post: o boleto {}/{} não existe.", branch, number));
  }
  ctx.requireCompany(company);
  if (a.CDEMPRESA.code() != company) {
    throw Refusal("ARG_INVALIDO", fmt::format("GetAjBolRec_Post: o boleto {}/{} não é da empresa "
                                              "{}.",
                                              branch, number, a.CDEMPRESA.code()));
  }
  if (auto why = lockedReason(si == soci::i_ok ? trimmed(status) : "",
                              wi == soci::i_ok ? trimmed(writeOff) : "");
      !why.empty()) {
    throw Refusal(why, fmt::format("GetAjBolRec_Post: o boleto {}/{} não pode ser alterado.",
                                   branch, number));
  }
  const int64_t storedCents = fi == soci::i_ok ? centavos(finalValue) : 0;
  if (storedCents != centavos(a.VRFINALBREC.value())) {
    throw Refusal("ALT_BLOQ", fmt::format("GetAjBolRec_Post: o valor do boleto {}/{} foi alterado "
                                          "por outro usuário.",
                                          branch, number));
  }

  // The type, and one adjustment per type and boleto.
  std::string description, kind;
  ctx.sql() << "SELECT DSAJUCTREC, IDAJUCTREC FROM TIPOAJREC WHERE CDAJUCTREC = :c",
      soci::use(adj.type), soci::into(description), soci::into(kind);
  if (adj.type.empty() || !ctx.sql().got_data()) {
    throw Refusal("CdAj_Nao_cad",
                  fmt::format("GetAjBolRec_Post: tipo de ajuste {} não cadastrado.", adj.type));
  }
  kind = trimmed(kind);
  int already = 0;
  ctx.sql() << "SELECT COUNT(*) FROM AJUSTEBOLREC WHERE CDFILIAL = :f AND NRLANBOLREC = :n AND "
               "CDAJUCTREC = :c",
      soci::use(branch), soci::use(number), soci::use(adj.type), soci::into(already);
  if (already > 0) {
    throw Refusal("CdAj_Ja_cad", fmt::format("GetAjBolRec_Post: o boleto {}/{} já tem ajuste do "
                                             "tipo {}.",
                                             branch, number, adj.type));
  }
  if (adj.cents <= 0) {
    throw Refusal("MaiorZero", "GetAjBolRec_Post: o valor do ajuste deve ser maior que zero.");
  }
  const bool discount = kind == "D";
  const int64_t signedCents = discount ? -adj.cents : adj.cents;
  if (centavos(a.signedValue.value()) != signedCents) {
    throw Refusal("ARG_INVALIDO",
                  fmt::format("GetAjBolRec_Post: o valor com sinal {:.2f} não é o do ajuste.",
                              a.signedValue.value()));
  }
  if (discount && storedCents <= adj.cents) {
    throw Refusal("VrAjus>Vrbol",
                  "GetAjBolRec_Post: o desconto deve ser menor que o valor do boleto.");
  }

  // The payment-type row the adjustment moves: the first for an addition, the last for a
  // discount, as the register chose it.
  struct PaymentType {
    int seq;
    int64_t cents;
  };
  std::vector<PaymentType> types;
  {
    int seq = 0;
    double value = 0;
    soci::indicator vi = soci::i_ok;
    soci::statement st =
        (ctx.sql().prepare << "SELECT NRSEQTPRECBO, VRTPRECBO FROM TPRECBOLETO WHERE CDFILIAL = "
                              ":f AND NRLANBOLREC = :n ORDER BY NRSEQTPRECBO",
         soci::use(branch), soci::use(number), soci::into(seq), soci::into(value, vi));
    st.execute();
    while (st.fetch()) types.push_back({seq, vi == soci::i_ok ? centavos(value) : 0});
  }
  std::optional<PaymentType> moved;
  if (!types.empty()) {
    PaymentType row = discount ? types.back() : types.front();
    if (discount && row.cents <= adj.cents) {
      throw Refusal("VrAjus>VrAj",
                    "GetAjBolRec_Post: o desconto deve ser menor que o valor do tipo de "
                    "recebimento.");
    }
    row.cents += signedCents;
    const std::string sent = trimmed(a.NRSEQTPRECBO.value());
    if ((!sent.empty() && std::stoi(sent) != row.seq) ||
        centavos(a.paymentTypeValue.value()) != row.cents) {
      throw Refusal("ALT_BLOQ", fmt::format("GetAjBolRec_Post: os tipos de recebimento do boleto "
                                            "{}/{} foram alterados por outro usuário.",
                                            branch, number));
    }
    moved = row;
  }

  // Written only now that every check passed.
  int next = 0;
  ctx.sql() << "SELECT COALESCE(MAX(NRSEQAJUSTE), 0) + 1 FROM AJUSTEBOLREC WHERE CDFILIAL = :f "
               "AND NRLANBOLREC = :n",
      soci::use(branch), soci::use(number), soci::into(next);
  const double value = reais(adj.cents);
  const std::string today = ctx.now().iso().substr(0, 10);
  const std::string origin = adj.origin.empty() ? "R" : adj.origin;
  ctx.sql() << "INSERT INTO AJUSTEBOLREC (CDFILIAL, NRLANBOLREC, NRSEQAJUSTE, CDAJUCTREC, "
               "DSAJUCTREC, IDAJUCTREC, IDORIGAJBREC, VRAJUSTE, DTAJUSTE) VALUES (:f, :n, :s, "
               ":c, :d, :k, :o, :v, :t)",
      soci::use(branch), soci::use(number), soci::use(next), soci::use(adj.type),
      soci::use(description), soci::use(kind), soci::use(origin), soci::use(value),
      soci::use(today);
  const double newFinal = reais(storedCents + signedCents);
  ctx.sql() << "UPDATE BOLRECEBER SET VRFINALBREC = :v WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(newFinal), soci::use(branch), soci::use(number);
  if (moved) {
    const double typeValue = reais(moved->cents);
    ctx.sql() << "UPDATE TPRECBOLETO SET VRTPRECBO = :v WHERE CDFILIAL = :f AND NRLANBOLREC = :n "
                 "AND NRSEQTPRECBO = :s",
        soci::use(typeValue), soci::use(branch), soci::use(number), soci::use(moved->seq);
  }
  return Variant(newFinal);
}

// ------------------------------------------------------------------ extension

struct Extended {
  std::string branch, number;
  std::string nossoNumero, account, barcode, line, previousDue;
  bool drop = false;
};

Variant extend(CallContext& ctx, rpc::SetProrrogacao& a) {
  const auto& due = a.DTVENBOLREC.value();
  if (!due) throw Refusal("Data_Deve", "SetProrrogacao: vencimento deve ser informado.");
  const std::string newDue = due->iso().substr(0, 10);
  const std::string reason = a.CDMOTIPROR.code();
  int known = 0;
  ctx.sql() << "SELECT COUNT(*) FROM MOTIPROR WHERE CDMOTIPROR = :c", soci::use(reason),
      soci::into(known);
  if (reason.empty() || known == 0) {
    throw Refusal("Mot_N_Cad", fmt::format("SetProrrogacao: motivo {} não cadastrado.", reason));
  }
  const std::string company = a.CDEMPRESA.code();
  ctx.requireCompany(company);
  const bool keepNumbers = !trimmed(a.CDNOSNUMREC.value()).empty();

  Packet p(a.cdsBolProrrogados.value().packetJson(), "SetProrrogacao");
  for (const char* f : {"CDFILIAL", "NRLANBOLREC"}) {
    if (!p.has(f)) {
      throw Refusal("ARG_INVALIDO", fmt::format("SetProrrogacao: o pacote não traz {}.", f));
    }
  }
  // Every boleto is read and checked before anything is written, with one statement.
  std::vector<Extended> boletos;
  boletos.reserve(p.rows().size());
  {
    std::string branch, number;
    soci::row r;
    soci::statement read =
        (ctx.sql().prepare << "SELECT CDEMPRESA, IDSTATBREC, NRBAIXAREC, DTEMISSAO, DTVENBOLREC, "
                              "CDNOSNUMREC, CDBARRAREC, DSLINHABARREC, IDBOLRECALTER, "
                              "IDSITUCNABR, CDREDUCONT FROM BOLRECEBER WHERE CDFILIAL = :f AND "
                              "NRLANBOLREC = :n",
         soci::use(branch), soci::use(number), soci::into(r));
    for (const auto& row : p.rows()) {
      branch = rpc::detail::padded(p.text(row, "CDFILIAL"), 4);
      number = rpc::detail::padded(p.text(row, "NRLANBOLREC"), 10);
      if (!read.execute(true)) {
        throw Refusal("ALT_BLOQ",
                      fmt::format("SetProrrogacao: o boleto {}/{} não existe.", branch, number));
      }
      if (text(r, 0) != company) {
        throw Refusal("ARG_INVALIDO", fmt::format("SetProrrogacao: o boleto {}/{} não é da "
                                                  "empresa {}.",
                                                  branch, number, company));
      }
      if (auto why = lockedReason(text(r, 1), text(r, 2)); !why.empty()) {
        throw Refusal(why, fmt::format("SetProrrogacao: o boleto {}/{} não pode ser alterado.",
                                       branch, number));
      }
      if (newDue < text(r, 3).substr(0, 10)) {
        throw Refusal("DtVen<DtEmi", fmt::format("SetProrrogacao: o boleto {}/{} foi emitido "
                                                 "depois de {}.",
                                                 branch, number, newDue));
      }
      // What the register read of the boleto must still be what is stored.
      const std::pair<const char*, size_t> read_[] = {{"CDNOSNUMREC", 5},
                                                      {"IDBOLRECALTER", 8},
                                                      {"IDSITUCNABR", 9},
                                                      {"CDBARRAREC", 6},
                                                      {"DSLINHABARREC", 7}};
      for (const auto& [field, col] : read_) {
        if (!p.has(field)) continue;
        const std::string sent = p.text(row, field);
        // The register leaves the codes out when the boleto's change state does not need them.
        if (sent.empty() && col >= 6) continue;
        if (sent != text(r, col)) {
          throw Refusal("ALT_BLOQ", fmt::format("SetProrrogacao: {} do boleto {}/{} foi alterado "
                                                "por outro usuário.",
                                                field, branch, number));
        }
      }
      Extended e{branch,     number,     text(r, 5), text(r, 10),
                 text(r, 6), text(r, 7), text(r, 4), false};
      // Only a number the bank never received is given up: one the bank may hold stays.
      const std::string situation = text(r, 9);
      e.drop = !keepNumbers && !e.nossoNumero.empty() && (situation.empty() || situation == "00");
      boletos.push_back(std::move(e));
    }
  }

  const std::string operatorCode = host::AllTrim(ctx.operatorCode());
  const std::string today = ctx.now().iso().substr(0, 10);
  std::string branch, number, previous, oldNumber, oldAccount, oldBarcode, oldLine;
  soci::indicator nn = soci::i_ok, na = soci::i_ok, nb = soci::i_ok, nl = soci::i_ok;
  soci::statement move =
      (ctx.sql().prepare << "UPDATE BOLRECEBER SET DTVENBOLREC = :d, CDMOTIPROR = :m WHERE "
                            "CDFILIAL = :f AND NRLANBOLREC = :n",
       soci::use(newDue), soci::use(reason), soci::use(branch), soci::use(number));
  soci::statement drop =
      (ctx.sql().prepare << "UPDATE BOLRECEBER SET CDNOSNUMREC = NULL, CDBARRAREC = NULL, "
                            "DSLINHABARREC = NULL, IDBOLEMITIDO = NULL WHERE CDFILIAL = :f AND "
                            "NRLANBOLREC = :n",
       soci::use(branch), soci::use(number));
  int sequence = 0;
  soci::statement lastSequence =
      (ctx.sql().prepare << "SELECT COALESCE(MAX(NRSEQVENREC), 0) FROM PRORROGACAO WHERE "
                            "CDFILIAL = :f AND NRLANBOLREC = :n",
       soci::use(branch), soci::use(number), soci::into(sequence));
  soci::statement history =
      (ctx.sql().prepare << "INSERT INTO PRORROGACAO (CDFILIAL, NRLANBOLREC, NRSEQVENREC, "
                            "DTANTVENREC, DTATUAVENREC, CDMOTIPROR, CDOPERADOR, CDREDUCONTANT, "
                            "CDNOSNUMANT, CDBARRAANT, DSLINHAANT, DTPRORROG) VALUES (:f, :n, :s, "
                            ":a, :d, :m, :o, :c, :nn, :b, :l, :t)",
       soci::use(branch), soci::use(number), soci::use(sequence), soci::use(previous),
       soci::use(newDue), soci::use(reason), soci::use(operatorCode), soci::use(oldAccount, na),
       soci::use(oldNumber, nn), soci::use(oldBarcode, nb), soci::use(oldLine, nl),
       soci::use(today));
  for (const auto& e : boletos) {
    branch = e.branch;
    number = e.number;
    previous = e.previousDue;
    move.execute(true);
    oldNumber = e.nossoNumero;
    oldAccount = e.account;
    oldBarcode = e.barcode;
    oldLine = e.line;
    nn = na = nb = nl = e.drop ? soci::i_ok : soci::i_null;
    if (e.drop) drop.execute(true);
    lastSequence.execute(true);
    ++sequence;
    history.execute(true);
  }
  if (!boletos.empty()) {
    const Extended& last = boletos.back();
    a.CDNOSNUMREC.set(last.drop ? std::string() : last.nossoNumero);
    if (last.drop) a.IDBOLEMITIDO.set({});
  }
  return Variant(static_cast<int64_t>(boletos.size()));
}

}  // namespace

void registerAjustes(Dispatcher& d) {
  d.on<rpc::GetTipoAjReceber>([](CallContext& ctx, rpc::GetTipoAjReceber& a) {
    const bool all = trimmed(a.todos.value()) == "T";
    return packetOf(ctx,
                    "SELECT CDAJUCTREC, DSAJUCTREC, IDAJUCTREC FROM TIPOAJREC WHERE (CDAJUCTREC "
                    "= :c OR :t = 'T') ORDER BY CDAJUCTREC",
                    {Value(a.CDAJUCTREC.code()), Value(all ? "T" : "")},
                    records::cdsTipoAjReceber().fields());
  });
  d.on<rpc::GetVerifAjust>([](CallContext& ctx, rpc::GetVerifAjust& a) {
    const std::string branch = a.CDFILIAL.code();
    const std::string number = a.NRLANBOLREC.code();
    std::string company;
    soci::indicator ind = soci::i_null;
    ctx.sql() << "SELECT CDEMPRESA FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number), soci::into(company, ind);
    if (ctx.sql().got_data() && ind == soci::i_ok) ctx.requireCompany(company);
    return packetOf(ctx,
                    "SELECT A.CDFILIAL, A.NRLANBOLREC, A.CDAJUCTREC, COALESCE(A.DSAJUCTREC, "
                    "T.DSAJUCTREC), COALESCE(A.IDAJUCTREC, T.IDAJUCTREC), A.VRAJUSTE, "
                    "A.IDORIGAJBREC FROM AJUSTEBOLREC A LEFT JOIN TIPOAJREC T ON T.CDAJUCTREC = "
                    "A.CDAJUCTREC WHERE A.CDFILIAL = :f AND A.NRLANBOLREC = :n AND A.CDAJUCTREC = "
                    ":c ORDER BY A.NRSEQAJUSTE",
                    {Value(branch), Value(number), Value(a.CDAJUCTREC.code())},
                    records::cdsAjBolRec().fields());
  });
  d.on<rpc::GetAjBolRec_Post>([](CallContext& ctx, rpc::GetAjBolRec_Post& a) {
    try {
      return postAdjustment(ctx, a);
    } catch (const nlohmann::json::exception& e) {
      throw Refusal("ARG_INVALIDO",
                    fmt::format("GetAjBolRec_Post: pacote malformado: {}", e.what()));
    }
  });
  d.on<rpc::SetProrrogacao>([](CallContext& ctx, rpc::SetProrrogacao& a) {
    try {
      return extend(ctx, a);
    } catch (const nlohmann::json::exception& e) {
      throw Refusal("ARG_INVALIDO", fmt::format("SetProrrogacao: pacote malformado: {}", e.what()));
    }
  });
}

}  // namespace service
