// Payment types of a boleto: the receipt types, cards and registered cheques the register's
// "Tipo de Recebimento" looks up, and SetTpRecBoleto, which replaces a boleto's payment types
// with the rows the operator confirmed, in one transaction: the rows must add up to the
// boleto's net value in centavos, a cheque may not be used for more than it is worth, and the
// cheques typed there that nobody registered yet are registered with them.

#include "service/TipoRecebimento.h"

#include <fmt/format.h>

#include <map>
#include <optional>
#include <set>

#include "host/ClientDataset.h"
#include "host/Consiste.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Conjuga.h"
#include "service/Dispatcher.h"
#include "service/Rows.h"

namespace service {

namespace {

using host::Value;
using remote::Variant;
namespace fld = records::fld;

bool allRows(CallContext& ctx, const std::string& flag) {
  if (!flag.empty() && flag != "T")
    throw Refusal("ARG_INVALIDO", fmt::format("{}: o segundo argumento deve ser vazio ou \"T\", "
                                              "não \"{}\"",
                                              ctx.method(), flag));
  return flag == "T";
}

/// A registered cheque's identity: number, bank, agency, account, as stored.
struct ChequeKey {
  std::string number, bank, agency, account;
  auto operator<=>(const ChequeKey&) const = default;
  std::string shown() const {
    return fmt::format("{} (banco {}, agência {}, conta {})", number, bank, agency, account);
  }
};

struct Registered {
  std::string customer, account;
  int64_t value = 0;
};

std::optional<Registered> registeredCheque(CallContext& ctx, const ChequeKey& k) {
  Registered r;
  double value = 0;
  std::string company = ctx.company();
  soci::indicator ic = soci::i_null, ia = soci::i_null;
  ctx.sql() << "SELECT CDCLIENTE, CDREDUCONT, VRCHEQUERECE FROM CHEQUE WHERE CDEMPRESA = :e AND "
               "NRCHEQUERECE = :n AND CDBANCHEQREC = :b AND CDAGECHEQREC = :a AND "
               "CDCNTCHEQREC = :k",
      soci::use(company), soci::use(k.number), soci::use(k.bank), soci::use(k.agency),
      soci::use(k.account), soci::into(r.customer, ic), soci::into(r.account, ia),
      soci::into(value);
  if (!ctx.sql().got_data()) return std::nullopt;
  r.value = centavos(value);
  return r;
}

/// What a cheque is used for on boletos other than the one given, in centavos.
int64_t usedElsewhere(CallContext& ctx, const ChequeKey& k, const std::string& branch,
                      const std::string& number) {
  double used = 0;
  ctx.sql() << "SELECT COALESCE(SUM(VRCHEQBOLREC), 0) FROM CHEQUEBOLREC WHERE NRCHEQBOLREC = :n "
               "AND CDBANCBOLREC = :b AND CDAGENBOLREC = :a AND CDCONTBOLREC = :k AND NOT "
               "(CDFILIAL = :f AND NRLANBOLREC = :l)",
      soci::use(k.number), soci::use(k.bank), soci::use(k.agency), soci::use(k.account),
      soci::use(branch), soci::use(number), soci::into(used);
  return centavos(used);
}

/// One payment-type row as the service compares and stores it.
struct Row {
  int seq = 0;
  std::string type, kind;  // the receipt type and its IDTIPORECE
  int64_t value = 0;
  ChequeKey cheque;
  std::optional<host::DateTime> chequeDate;
  std::string chequeNote, card, cardNumber;
  bool isCheque() const { return kind == "3"; }
  /// What an operator would see differ.
  std::string identity() const {
    return fmt::format("{}|{}|{}|{}|{}|{}|{}|{}", seq, type, value, cheque.number, cheque.bank,
                       cheque.agency, cheque.account, card);
  }
};

std::string trimmed(const host::ClientDataset& ds, std::string_view field) {
  return host::AllTrim(ds.valueOf(field).asString());
}

/// The rows of `ds` (the current ones, or those as read after cancelUpdates()).
std::vector<Row> rowsOf(CallContext& ctx, host::ClientDataset& ds, bool checked) {
  std::vector<Row> out;
  std::set<int> seqs;
  for (ds.first(); !ds.eof(); ds.next()) {
    Row r;
    const std::string seq = trimmed(ds, fld::NRSEQTPRECBO);
    if (seq.empty() || !host::IsDigits(seq) || seq.size() > 2)
      throw Refusal("ARG_INVALIDO", fmt::format("{}: sequência de tipo de recebimento inválida "
                                                "\"{}\"",
                                                ctx.method(), seq));
    r.seq = std::stoi(seq);
    if (!seqs.insert(r.seq).second)
      throw Refusal("ARG_INVALIDO",
                    fmt::format("{}: a sequência {} aparece duas vezes", ctx.method(), seq));
    const std::string type = trimmed(ds, fld::CDTIPORECE);
    r.type = type.empty() ? type : host::Ajusta(type, fld::CDTIPORECE.width());
    r.value = centavos(ds.valueOf(fld::VRTPRECBOLR).asDouble());
    r.cheque = {trimmed(ds, fld::NRCHEQBOLREC), trimmed(ds, fld::CDBANCBOLREC),
                trimmed(ds, fld::CDAGENBOLREC), trimmed(ds, fld::CDCONTBOLREC)};
    if (!r.cheque.number.empty())
      r.cheque.number = host::Ajusta(r.cheque.number, fld::NRCHEQBOLREC.width());
    if (!r.cheque.bank.empty())
      r.cheque.bank = host::Ajusta(r.cheque.bank, fld::CDBANCBOLREC.width());
    const Value date = ds.valueOf(fld::DTCHEQBOLREC);
    if (!date.isNull()) r.chequeDate = date.asDate();
    r.chequeNote = trimmed(ds, fld::DSCHEQBOLREC);
    const std::string card = trimmed(ds, fld::CDCARTAO);
    r.card = card.empty() ? card : host::Ajusta(card, fld::CDCARTAO.width());
    r.cardNumber = trimmed(ds, fld::NRCARCREBOLR);
    if (checked) {
      if (r.type.empty()) throw Refusal("TIPORECE_NINF", "Tipo de recebimento não informado.");
      soci::indicator ind = soci::i_null;
      ctx.sql() << "SELECT IDTIPORECE FROM TIPORECEBE WHERE CDTIPORECE = :c", soci::use(r.type),
          soci::into(r.kind, ind);
      if (!ctx.sql().got_data())
        throw Refusal("TPRECE_NC", fmt::format("Tipo de recebimento {} não cadastrado.", r.type));
      if (r.value <= 0)
        throw Refusal("VRTPRECE_NEGA", fmt::format("O valor do tipo de recebimento {} deve ser "
                                                   "maior que zero.",
                                                   seq));
      if (r.isCheque()) {
        const std::pair<const std::string*, const char*> required[] = {
            {&r.cheque.number, "CHEQUE_NINF"},
            {&r.cheque.bank, "BANCO_NInf"},
            {&r.cheque.agency, "AGENCIA_NI"},
            {&r.cheque.account, "CONTCORR_NI"}};
        for (const auto& [text, key] : required)
          if (text->empty())
            throw Refusal(key, fmt::format("Cheque do tipo de recebimento {} incompleto.", seq));
        r.card.clear();
        r.cardNumber.clear();
      } else {
        // Only a cheque row carries cheque data.
        r.cheque = {};
        r.chequeDate.reset();
        r.chequeNote.clear();
      }
      if (!r.card.empty()) {
        int n = 0;
        ctx.sql() << "SELECT COUNT(*) FROM CARTAO WHERE CDCARTAO = :c", soci::use(r.card),
            soci::into(n);
        if (n == 0) throw Refusal("CARTAO_N_CAD", fmt::format("Cartão {} não cadastrado.", r.card));
      }
    }
    out.push_back(std::move(r));
  }
  return out;
}

/// A numeric column as each backend hands it over; null is 0.
double numeric(const soci::row& r, size_t i) {
  if (r.get_indicator(i) == soci::i_null) return 0;
  switch (r.get_properties(i).get_data_type()) {
    case soci::dt_integer:
      return r.get<int>(i);
    case soci::dt_long_long:
      return static_cast<double>(r.get<long long>(i));
    case soci::dt_unsigned_long_long:
      return static_cast<double>(r.get<unsigned long long>(i));
    case soci::dt_string:
      return std::stod(r.get<std::string>(i));
    default:
      return r.get<double>(i);
  }
}

/// The boleto's payment types as stored now.
std::set<std::string> storedIdentities(CallContext& ctx, const std::string& branch,
                                       const std::string& number) {
  std::set<std::string> out;
  soci::rowset<soci::row> rows =
      (ctx.sql().prepare << "SELECT P.NRSEQTPRECBO, P.CDTIPORECE, P.VRTPRECBO, Q.NRCHEQBOLREC, "
                            "Q.CDBANCBOLREC, Q.CDAGENBOLREC, Q.CDCONTBOLREC, C.CDCARTAO FROM "
                            "TPRECBOLETO P LEFT JOIN CHEQUEBOLREC Q ON Q.CDFILIAL = P.CDFILIAL "
                            "AND Q.NRLANBOLREC = P.NRLANBOLREC AND Q.NRSEQTPRECBO = "
                            "P.NRSEQTPRECBO LEFT JOIN CARTAOBOLREC C ON C.CDFILIAL = P.CDFILIAL "
                            "AND C.NRLANBOLREC = P.NRLANBOLREC AND C.NRSEQTPRECBO = "
                            "P.NRSEQTPRECBO WHERE P.CDFILIAL = :f AND P.NRLANBOLREC = :n",
       soci::use(branch), soci::use(number));
  for (const auto& r : rows) {
    Row row;
    row.seq = static_cast<int>(numeric(r, 0));
    auto text = [&](size_t i) {
      return r.get_indicator(i) == soci::i_null ? std::string()
                                                : host::AllTrim(r.get<std::string>(i));
    };
    row.type = text(1);
    row.value = centavos(numeric(r, 2));
    row.cheque = {text(3), text(4), text(5), text(6)};
    row.card = text(7);
    out.insert(row.identity());
  }
  return out;
}

struct Boleto {
  std::string company, customer, account, status, situation;
  int64_t net = 0;
};

Boleto storedBoleto(CallContext& ctx, const std::string& branch, const std::string& number) {
  Boleto b;
  double net = 0;
  soci::indicator i1, i2, i3, i4, i5, i6;
  ctx.sql() << "SELECT CDEMPRESA, CDCLIENTE, CDREDUCONT, IDSTATBREC, IDSITUCNABR, VRFINALBREC "
               "FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
      soci::use(branch), soci::use(number), soci::into(b.company, i1), soci::into(b.customer, i2),
      soci::into(b.account, i3), soci::into(b.status, i4), soci::into(b.situation, i5),
      soci::into(net, i6);
  if (!ctx.sql().got_data())
    throw Refusal("ARG_INVALIDO",
                  fmt::format("{}: o boleto {}/{} não existe", ctx.method(), branch, number));
  ctx.requireCompany(b.company);
  if (i3 != soci::i_ok) b.account.clear();
  if (i5 != soci::i_ok) b.situation.clear();
  b.net = i6 == soci::i_ok ? centavos(net) : 0;
  return b;
}

}  // namespace

void registerTipoRecebimento(Dispatcher& d) {
  // GetTipoRece(code, "T" for all): the receipt types; the code padded to 3.
  d.on<rpc::GetTipoRece>([](CallContext& ctx, rpc::GetTipoRece& a) {
    const bool all = allRows(ctx, a.todos.value());
    return packetOf(ctx,
                    "SELECT CDTIPORECE, NMTIPORECE, IDTIPORECE FROM TIPORECEBE WHERE (CDTIPORECE "
                    "= :c OR :t = 'T') ORDER BY CDTIPORECE",
                    {Value(a.CDTIPORECE.code()), Value(all ? "T" : "")},
                    records::cdsTipoRece().fields());
  });

  // GetCartao(code, "T" for all): the cards; the code padded to 3.
  d.on<rpc::GetCartao>([](CallContext& ctx, rpc::GetCartao& a) {
    const bool all = allRows(ctx, a.todos.value());
    return packetOf(ctx,
                    "SELECT CDCARTAO, NMCARTAO FROM CARTAO WHERE (CDCARTAO = :c OR :t = 'T') "
                    "ORDER BY CDCARTAO",
                    {Value(a.CDCARTAO.code()), Value(all ? "T" : "")},
                    records::cdsCartao().fields());
  });

  // GetCheque(customer): the customer's registered cheques in the caller's company, with what
  // boletos already use of each, by number.
  d.on<rpc::GetCheque>([](CallContext& ctx, rpc::GetCheque& a) {
    return packetOf(
        ctx,
        "SELECT C.NRCHEQUERECE, C.CDBANCHEQREC, C.CDAGECHEQREC, C.CDCNTCHEQREC, C.VRCHEQUERECE, "
        "C.IDSITCHEQREC, C.CDREDUCONT, (SELECT COALESCE(SUM(Q.VRCHEQBOLREC), 0) FROM "
        "CHEQUEBOLREC Q WHERE Q.NRCHEQBOLREC = C.NRCHEQUERECE AND Q.CDBANCBOLREC = "
        "C.CDBANCHEQREC AND Q.CDAGENBOLREC = C.CDAGECHEQREC AND Q.CDCONTBOLREC = C.CDCNTCHEQREC) "
        "FROM CHEQUE C WHERE C.CDEMPRESA = :e AND C.CDCLIENTE = :c ORDER BY C.NRCHEQUERECE, "
        "C.CDBANCHEQREC, C.CDAGECHEQREC, C.CDCNTCHEQREC",
        {Value(ctx.company()), Value(a.CDCLIENTE.code())}, records::cdsCheque().fields());
  });

  // GetTotChq(cheque, bank, agency, account): how many payment types of the company's boletos
  // use the cheque, and for how much.
  d.on<rpc::GetTotChq>([](CallContext& ctx, rpc::GetTotChq& a) {
    return packetOf(
        ctx,
        "SELECT COUNT(*), COALESCE(SUM(Q.VRCHEQBOLREC), 0) FROM CHEQUEBOLREC Q JOIN BOLRECEBER B "
        "ON B.CDFILIAL = Q.CDFILIAL AND B.NRLANBOLREC = Q.NRLANBOLREC WHERE B.CDEMPRESA = :e AND "
        "Q.NRCHEQBOLREC = :n AND Q.CDBANCBOLREC = :b AND Q.CDAGENBOLREC = :a AND Q.CDCONTBOLREC "
        "= :k",
        {Value(ctx.company()), Value(a.NRCHEQUERECE.code()), Value(a.CDBANCHEQREC.code()),
         Value(host::AllTrim(a.CDAGECHEQREC.value())),
         Value(host::AllTrim(a.CDCNTCHEQREC.value()))},
        records::cdsTotChq().fields());
  });

  // SetTpRecBoleto(processing date, cheque balance, boleto packet, payment rows, account, new
  // cheque flag, branch, number, changed fields): the boleto's payment types become exactly
  // the rows given. The rows' change log tells what the register read; payment types changed
  // meanwhile refuse the call ("ALT_BLOQ"). The register's cheque balance and new-cheque flag
  // describe its last post only: the rows themselves say what each cheque is used for, and a
  // cheque nobody registered is registered here for what the rows apply of it.
  d.on<rpc::SetTpRecBoleto>([](CallContext& ctx, rpc::SetTpRecBoleto& a) {
    const std::string branch = a.CDFILIAL.code(), number = a.NRLANBOLREC.code();
    const Boleto boleto = storedBoleto(ctx, branch, number);
    if (boleto.status == "B")
      throw Refusal("BOL_BAIXA", "Operação bloqueada! Boleto já foi baixado.");
    if (boleto.status == "D") throw Refusal("BOL_DESC", "Boleto descontado não pode ser alterado.");
    if (!boleto.situation.empty() && boleto.situation != "00" && boleto.situation != "01")
      throw Refusal("BOL_ALTERADO", fmt::format("{}: o boleto {}/{} foi enviado ao banco",
                                                ctx.method(), branch, number));

    // The boleto as the register read it: its value may not have changed since.
    host::ClientDataset list("cdsBoletos");
    loadPacket(ctx, a.cdsBoletos.value(), records::cdsBolRec(), list);
    list.cancelUpdates();
    if (list.locate(records::kBoletoKeyFields, {Value(branch), Value(number)}) &&
        centavos(list.valueOf(fld::VRFINALBREC).asDouble()) != boleto.net)
      throw Refusal("VRBOL_Dif", fmt::format("{}: o boleto {}/{} vale {} agora", ctx.method(),
                                             branch, number, moneyText(boleto.net)));

    host::ClientDataset rows("cdsTpRecBoleto"), read("cdsTpRecLido");
    loadPacket(ctx, a.cdsTpRecBoleto.value(), records::cdsTpRecBoleto(), rows);
    loadPacket(ctx, a.cdsTpRecBoleto.value(), records::cdsTpRecBoleto(), read);
    read.cancelUpdates();
    for (auto* ds : {&rows, &read}) {
      for (ds->first(); !ds->eof(); ds->next()) {
        if (host::Ajusta(trimmed(*ds, fld::CDFILIAL), 4) != branch ||
            host::Ajusta(trimmed(*ds, fld::NRLANBOLREC), 10) != number)
          throw Refusal("ARG_INVALIDO",
                        fmt::format("{}: um tipo de recebimento não é do boleto {}/{}",
                                    ctx.method(), branch, number));
      }
    }
    std::set<std::string> asRead;
    for (const auto& r : rowsOf(ctx, read, false)) asRead.insert(r.identity());
    if (asRead != storedIdentities(ctx, branch, number))
      throw Refusal("ALT_BLOQ", "Operação bloqueada. Documento em alteração por outro usuário.");

    const std::vector<Row> given = rowsOf(ctx, rows, true);
    int64_t sum = 0;
    for (const auto& r : given) sum += r.value;
    if (!given.empty() && sum != boleto.net)
      throw Refusal("VRBOL_TPRECE",
                    fmt::format("A soma dos tipos de recebimento ({}) deve ser igual ao valor do "
                                "boleto ({}).",
                                moneyText(sum), moneyText(boleto.net)));

    // Each cheque once, with what this boleto applies of it.
    std::string account = host::AllTrim(a.CDREDUCONT.value());
    if (account.empty()) account = boleto.account;
    if (!account.empty()) account = host::Ajusta(account, fld::CDREDUCONT.width());
    std::map<ChequeKey, int64_t> applied;
    for (const auto& r : given) {
      if (!r.isCheque()) continue;
      if (account.empty())
        throw Refusal("CdRed_n_inf",
                      "Conta cobrança do boleto deve ser informada para receber "
                      "em cheque.");
      applied[r.cheque] += r.value;
    }
    std::vector<std::pair<ChequeKey, int64_t>> toRegister;
    for (const auto& [key, value] : applied) {
      const auto reg = registeredCheque(ctx, key);
      if (!reg) {
        toRegister.emplace_back(key, value);
        continue;
      }
      if (!reg->account.empty() && host::AllTrim(reg->account) != account)
        throw Refusal("CHEQUE_CAD_COB", fmt::format("O cheque {} está cadastrado para a conta "
                                                    "cobrança {}.",
                                                    key.shown(), reg->account));
      if (host::AllTrim(reg->customer) != host::AllTrim(boleto.customer))
        throw Refusal("CHEQUE_OUTRO_CLI",
                      fmt::format("O cheque {} está cadastrado para outro cliente.", key.shown()));
      const int64_t free = reg->value - usedElsewhere(ctx, key, branch, number);
      if (value > free)
        throw Refusal("Vr_sup_che", fmt::format("O cheque {} tem {} disponível; os tipos de "
                                                "recebimento aplicam {}.",
                                                key.shown(), moneyText(std::max<int64_t>(free, 0)),
                                                moneyText(value)));
    }

    ctx.sql() << "DELETE FROM CHEQUEBOLREC WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number);
    ctx.sql() << "DELETE FROM CARTAOBOLREC WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number);
    ctx.sql() << "DELETE FROM TPRECBOLETO WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(branch), soci::use(number);
    const std::string company = ctx.company();
    for (const auto& [key, value] : toRegister) {
      const double worth = static_cast<double>(value) / 100.0;
      ctx.sql() << "INSERT INTO CHEQUE (NRCHEQUERECE, CDBANCHEQREC, CDAGECHEQREC, CDCNTCHEQREC, "
                   "CDEMPRESA, CDCLIENTE, VRCHEQUERECE, IDSITCHEQREC, CDREDUCONT) VALUES (:n, :b, "
                   ":a, :k, :e, :c, :v, 'A', :r)",
          soci::use(key.number), soci::use(key.bank), soci::use(key.agency), soci::use(key.account),
          soci::use(company), soci::use(boleto.customer), soci::use(worth), soci::use(account);
    }
    for (const auto& r : given) {
      const double value = static_cast<double>(r.value) / 100.0;
      ctx.sql() << "INSERT INTO TPRECBOLETO (CDFILIAL, NRLANBOLREC, NRSEQTPRECBO, CDTIPORECE, "
                   "VRTPRECBO) VALUES (:f, :n, :s, :t, :v)",
          soci::use(branch), soci::use(number), soci::use(r.seq), soci::use(r.type),
          soci::use(value);
      if (r.isCheque()) {
        std::string date = r.chequeDate ? r.chequeDate->iso() : std::string();
        soci::indicator di = r.chequeDate ? soci::i_ok : soci::i_null;
        std::string note = r.chequeNote;
        soci::indicator ni = note.empty() ? soci::i_null : soci::i_ok;
        ctx.sql() << "INSERT INTO CHEQUEBOLREC (CDFILIAL, NRLANBOLREC, NRSEQTPRECBO, "
                     "NRCHEQBOLREC, CDBANCBOLREC, CDAGENBOLREC, CDCONTBOLREC, DTCHEQBOLREC, "
                     "DSCHEQBOLREC, VRCHEQBOLREC) VALUES (:f, :n, :s, :c, :b, :a, :k, :d, :ds, :v)",
            soci::use(branch), soci::use(number), soci::use(r.seq), soci::use(r.cheque.number),
            soci::use(r.cheque.bank), soci::use(r.cheque.agency), soci::use(r.cheque.account),
            soci::use(date, di), soci::use(note, ni), soci::use(value);
      } else if (!r.card.empty()) {
        ctx.sql() << "INSERT INTO CARTAOBOLREC (CDFILIAL, NRLANBOLREC, NRSEQTPRECBO, CDCARTAO, "
                     "NRCARCREBOLR, VRCARTBOLREC) VALUES (:f, :n, :s, :c, :nr, :v)",
            soci::use(branch), soci::use(number), soci::use(r.seq), soci::use(r.card),
            soci::use(r.cardNumber), soci::use(value);
      }
    }
    a.changedFieldList.set("");
    return Variant(static_cast<int64_t>(given.size()));
  });
}

void seedTipoRecebimentoDemo(soci::session& sql) {
  // The masks a cheque of these banks is shown with.
  sql << "UPDATE BANCO SET CDPICTAGEN = '9999-9', CDPICTCONT = '9999999-9' WHERE CDBANCO = '237'";
  sql << "UPDATE BANCO SET CDPICTAGEN = '9999', CDPICTCONT = '99999-9' WHERE CDBANCO = '341'";
}

}  // namespace service
