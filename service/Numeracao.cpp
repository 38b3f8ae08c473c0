// Numbering of boletos: the nosso número counters per account and model, the store of the
// codes with the uniqueness of the number within its account and the accounts of the same
// agreement, and identified deposits.

#include <fmt/format.h>

#include <array>
#include <memory>

#include "host/Consiste.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Febraban.h"
#include "host/bank/Template.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Migrations.h"
#include "service/Packets.h"
#include "service/PixBoleto.h"
#include "service/Sequences.h"

namespace service {

namespace {

nlohmann::json emptyPacket(const std::vector<host::FieldDef>& fields) {
  return {{"fields", packetFields(fields)}, {"rows", nlohmann::json::array()}};
}

/// The sequence width a caller asks for: digits, 1 to 20.
int seqWidth(const std::string& text) {
  const int64_t width = host::StrToIntDef(text, -1);
  if (width < 1 || width > 20) {
    throw Refusal("ESTRUT_CONFIG", fmt::format("A largura da sequência do nosso número \"{}\" "
                                               "não é um número de 1 a 20.",
                                               text));
  }
  return static_cast<int>(width);
}

/// The account must exist for the caller's company: numbers are never handed out for an
/// account nobody can print on.
std::string requireAccount(CallContext& ctx, const std::string& code) {
  int found = 0;
  const std::string company = ctx.company();
  ctx.sql() << "SELECT COUNT(*) FROM CONTCORR WHERE CDEMPRESA = :e AND CDREDUCONT = :c",
      soci::use(company), soci::use(code), soci::into(found);
  if (found == 0) {
    throw Refusal("CONTA_NC", fmt::format("Conta cobrança {} não cadastrada para a empresa {}.",
                                          code, company));
  }
  return code;
}

/// The next value of a counter written with `width` digits; a counter that no longer fits
/// its width is refused rather than cut, which would repeat numbers already printed.
std::string nextNumber(CallContext& ctx, const std::string& name, int width) {
  const int64_t next = nextSequence(ctx.sql(), ctx.company(), name);
  std::string text = std::to_string(next);
  if (static_cast<int>(text.size()) > width) {
    throw Refusal("NOSSO<SEQ", fmt::format("Operação bloqueada! O contador {} chegou a {}, além "
                                           "dos {} dígitos do nosso número.",
                                           name, text, width));
  }
  return host::Ajusta(text, static_cast<size_t>(width));
}

struct BoletoKey {
  std::string branch;
  std::string number;
};

template <class Args>
BoletoKey boletoKey(Args& a) {
  a.CDFILIAL.set(a.CDFILIAL.code());
  a.NRLANBOLREC.set(a.NRLANBOLREC.code());
  return BoletoKey{a.CDFILIAL.value(), a.NRLANBOLREC.value()};
}

/// A statement prepared once per session (parsing a small statement costs more than running
/// it, and numbering a run of boletos runs each of these a thousand times).
template <class Query>
Query& prepared(CallContext& ctx, const char* key) {
  return ctx.database().prepared<Query>(
      key, [](soci::session& sql) { return std::make_unique<Query>(sql); });
}

/// Runs `st` to its end (a statement left in the middle would hold its read); whether it gave
/// a row.
bool runToEnd(soci::statement& st) {
  bool got = st.execute(true);
  const bool any = got;
  while (got) got = st.fetch();
  return any;
}

struct AccountQuery {
  std::string branch, number, company, account;
  soci::indicator ind = soci::i_null;
  soci::statement st;
  explicit AccountQuery(soci::session& sql)
      : st((sql.prepare << "SELECT CDREDUCONT FROM BOLRECEBER WHERE CDFILIAL = :f AND "
                           "NRLANBOLREC = :n AND CDEMPRESA = :e",
            soci::use(branch), soci::use(number), soci::use(company), soci::into(account, ind))) {}
};

/// The boleto's account, or a refusal when the boleto is not one of the caller's company.
std::string boletoAccount(CallContext& ctx, const BoletoKey& k) {
  auto& q = prepared<AccountQuery>(ctx, "Numeracao.account");
  q.branch = k.branch;
  q.number = k.number;
  q.company = ctx.company();
  q.ind = soci::i_null;
  if (!runToEnd(q.st)) {
    throw Refusal("BOL_NC", fmt::format("Boleto {}/{} não cadastrado para a empresa {}.", k.branch,
                                        k.number, q.company));
  }
  return q.ind == soci::i_ok ? q.account : std::string();
}

bool isDigits(const std::string& s) {
  return s.empty() || host::IsDigits(s);
}

/// The print model of a numbering call: "1" pre-printed, "2" complete; empty only where
/// `emptyKeeps` (the model already recorded stays).
std::string checkedModel(const std::string& model, bool emptyKeeps) {
  if ((model.empty() && !emptyKeeps) || (!model.empty() && model != "1" && model != "2")) {
    throw Refusal("ARG_INVALIDO", fmt::format("O modelo de impressão \"{}\" não é \"1\" "
                                              "(pré-impresso) nem \"2\" (completo).",
                                              model));
  }
  return model;
}

void checkBarcode(const std::string& barcode) {
  if (!barcode.empty() && (barcode.size() != 44 || !isDigits(barcode))) {
    throw Refusal("CODBARRA_INV",
                  fmt::format("O código de barras \"{}\" não tem 44 dígitos.", barcode));
  }
}

/// What a boleto carries of its numbering.
struct Codes {
  std::string number, barcode, line, model;
};

struct CodesQuery {
  std::string branch, number;
  Codes c;
  soci::indicator i1 = soci::i_null, i2 = soci::i_null, i3 = soci::i_null, i4 = soci::i_null;
  soci::statement st;
  explicit CodesQuery(soci::session& sql)
      : st((sql.prepare << "SELECT CDNOSNUMREC, CDBARRAREC, DSLINHABARREC, IDMODELONUM FROM "
                           "BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
            soci::use(branch), soci::use(number), soci::into(c.number, i1),
            soci::into(c.barcode, i2), soci::into(c.line, i3), soci::into(c.model, i4))) {}
};

Codes storedCodes(CallContext& ctx, const BoletoKey& k) {
  auto& q = prepared<CodesQuery>(ctx, "Numeracao.codes");
  q.branch = k.branch;
  q.number = k.number;
  q.i1 = q.i2 = q.i3 = q.i4 = soci::i_null;
  Codes c;
  if (!runToEnd(q.st)) return c;
  if (q.i1 == soci::i_ok) c.number = host::AllTrim(q.c.number);
  if (q.i2 == soci::i_ok) c.barcode = q.c.barcode;
  if (q.i3 == soci::i_ok) c.line = q.c.line;
  if (q.i4 == soci::i_ok) c.model = q.c.model;
  return c;
}

/// The account and the accounts of the caller's company that share its place at the bank
/// (bank, agency, bank account and payee code): the bank knows one nosso número once over
/// all of them, whatever range each register allows. Binds the account, the company and the
/// account again, in that order; written as one list so that the (company, account, number)
/// index still finds the holders.
constexpr const char* kSameAgreement =
    "(SELECT CAST(:c AS TEXT) UNION SELECT O.CDREDUCONT FROM CONTCORR O JOIN CONTCORR K ON "
    "K.CDEMPRESA = O.CDEMPRESA AND K.CDBANCO = O.CDBANCO AND COALESCE(K.CDAGENCIA, '') = "
    "COALESCE(O.CDAGENCIA, '') AND COALESCE(K.CDCONTCORR, '') = COALESCE(O.CDCONTCORR, '') AND "
    "COALESCE(K.CDCEDENTEBAN, '') = COALESCE(O.CDCEDENTEBAN, '') WHERE K.CDEMPRESA = :ke AND "
    "K.CDREDUCONT = :kc)";

void lockCounter(CallContext& ctx, const std::string& name);

/// Holds the agreement of `account` for the rest of the transaction. Each account keeps a
/// counter of its own, so the counter's lock does not keep two servers numbering boletos of
/// two accounts of one agreement from both finding a number free and both storing it.
struct AgreementQuery {
  std::string company, account;
  std::array<std::string, 4> v;
  std::array<soci::indicator, 4> i{};
  soci::statement st;
  explicit AgreementQuery(soci::session& sql)
      : st((sql.prepare << "SELECT CDBANCO, CDAGENCIA, CDCONTCORR, CDCEDENTEBAN FROM CONTCORR "
                           "WHERE CDEMPRESA = :e AND CDREDUCONT = :c",
            soci::use(company), soci::use(account), soci::into(v[0], i[0]), soci::into(v[1], i[1]),
            soci::into(v[2], i[2]), soci::into(v[3], i[3]))) {}
};

void lockAgreement(CallContext& ctx, const std::string& account) {
  auto& q = prepared<AgreementQuery>(ctx, "Numeracao.agreement");
  q.company = ctx.company();
  q.account = account;
  q.i.fill(soci::i_null);
  if (!runToEnd(q.st)) return;  // no account, no agreement: the account's own check holds
  auto text = [&q](size_t k) { return q.i[k] == soci::i_ok ? q.v[k] : std::string(); };
  lockCounter(ctx, fmt::format("CONVENIO/{}/{}/{}/{}", text(0), text(1), text(2), text(3)));
}

struct TakenQuery {
  std::string account, number, company, branch, boleto;
  int taken = 0, dropped = 0;
  soci::statement onBoleto, dropped_;
  explicit TakenQuery(soci::session& sql)
      : onBoleto((sql.prepare << std::string("SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA = "
                                             ":e AND CDNOSNUMREC = :n AND CDREDUCONT IN ") +
                                     kSameAgreement +
                                     " AND NOT (CDFILIAL = :f AND NRLANBOLREC = :b)",
                  soci::use(company), soci::use(number), soci::use(account), soci::use(company),
                  soci::use(account), soci::use(branch), soci::use(boleto), soci::into(taken))),
        // Searched from the numbers given up (an index on account and number): joined the other
        // way, SQLite walked every boleto of the company for each boleto numbered.
        dropped_((sql.prepare << std::string("SELECT COUNT(*) FROM PRORROGACAO P WHERE "
                                             "P.CDNOSNUMANT = :n AND P.CDREDUCONTANT IN ") +
                                     kSameAgreement +
                                     " AND NOT (P.CDFILIAL = :f AND P.NRLANBOLREC = :b) AND "
                                     "EXISTS (SELECT 1 FROM BOLRECEBER B WHERE B.CDFILIAL = "
                                     "P.CDFILIAL AND B.NRLANBOLREC = P.NRLANBOLREC AND "
                                     "B.CDEMPRESA = :e)",
                  soci::use(number), soci::use(account), soci::use(company), soci::use(account),
                  soci::use(branch), soci::use(boleto), soci::use(company), soci::into(dropped))) {}
};

/// The uniqueness of a number within its account and the accounts of the same agreement,
/// checked inside the writing transaction, with the agreement held, so that two callers who
/// asked GetValNosNumero at the same moment cannot both store it.
void requireFree(CallContext& ctx, const std::string& account, const std::string& number,
                 const BoletoKey& k) {
  lockAgreement(ctx, account);
  auto& q = prepared<TakenQuery>(ctx, "Numeracao.taken");
  q.account = account;
  q.number = number;
  q.company = ctx.company();
  q.branch = k.branch;
  q.boleto = k.number;
  q.taken = q.dropped = 0;
  runToEnd(q.onBoleto);
  // A number an extension gave up may still be at the bank: it is never handed out again.
  runToEnd(q.dropped_);
  if (q.taken > 0 || q.dropped > 0) {
    throw Refusal("NN_JA_CAD", fmt::format("Operação Bloqueada! Nosso número {} já cadastrado em "
                                           "outro boleto da conta {} ou do mesmo convênio.",
                                           number, account));
  }
}

// The model goes with the number: AltBoletos turns it into the emitted model. A pre-printed
// run marks its whole list emitted after the first boleto, before the others are numbered;
// those take their model here, as they are numbered.
struct ModelUpdate {
  std::string model, branch, number;
  soci::statement st;
  explicit ModelUpdate(soci::session& sql)
      : st((sql.prepare << "UPDATE BOLRECEBER SET IDMODELONUM = :m, IDBOLEMITIDO = CASE WHEN "
                           "IDSTATBREC = 'E' THEN :m2 ELSE IDBOLEMITIDO END WHERE CDFILIAL = :f "
                           "AND NRLANBOLREC = :r",
            soci::use(model), soci::use(model), soci::use(branch), soci::use(number))) {}
};

void recordModel(CallContext& ctx, const BoletoKey& k, const std::string& model) {
  if (model.empty()) return;
  auto& q = prepared<ModelUpdate>(ctx, "Numeracao.model");
  q.model = model;
  q.branch = k.branch;
  q.number = k.number;
  q.st.execute(true);
}

struct CodesUpdate {
  std::string line, barcode, number, branch, boleto;
  soci::indicator lineInd = soci::i_ok, barInd = soci::i_ok, numInd = soci::i_ok;
  soci::statement st;
  explicit CodesUpdate(soci::session& sql)
      : st((sql.prepare << "UPDATE BOLRECEBER SET DSLINHABARREC = :l, CDBARRAREC = :b, "
                           "CDNOSNUMREC = :n WHERE CDFILIAL = :f AND NRLANBOLREC = :r",
            soci::use(line, lineInd), soci::use(barcode, barInd), soci::use(number, numInd),
            soci::use(branch), soci::use(boleto))) {}
};

void storeCodes(CallContext& ctx, const BoletoKey& k, const std::string& line,
                const std::string& barcode, const std::string& number, const std::string& model) {
  auto& q = prepared<CodesUpdate>(ctx, "Numeracao.store");
  q.line = line;
  q.barcode = barcode;
  q.number = number;
  q.lineInd = line.empty() ? soci::i_null : soci::i_ok;
  q.barInd = barcode.empty() ? soci::i_null : soci::i_ok;
  q.numInd = number.empty() ? soci::i_null : soci::i_ok;
  q.branch = k.branch;
  q.boleto = k.number;
  q.st.execute(true);
  recordModel(ctx, k, model);
}

/// A numbered boleto without barcode and typed line takes those the caller computed for its
/// number; a barcode once stored never changes.
void completeCodes(CallContext& ctx, const BoletoKey& k, const Codes& stored,
                   const std::string& line, const std::string& barcode) {
  if (barcode.empty()) return;
  if (!stored.barcode.empty()) {
    if (stored.barcode == barcode) return;
    throw Refusal("CODBARRA_JA_CAD",
                  fmt::format("O boleto {}/{} já tem o código de barras {}: um código de barras "
                              "armazenado não muda.",
                              k.branch, k.number, stored.barcode));
  }
  soci::indicator lineInd = line.empty() ? soci::i_null : soci::i_ok;
  ctx.sql() << "UPDATE BOLRECEBER SET DSLINHABARREC = :l, CDBARRAREC = :b WHERE CDFILIAL = :f "
               "AND NRLANBOLREC = :r",
      soci::use(line, lineInd), soci::use(barcode), soci::use(k.branch), soci::use(k.number);
}

template <class Args>
void returnCodes(Args& a, const Codes& c) {
  a.DSLINHABARREC.set(c.line);
  a.CDBARRAREC.set(c.barcode);
  a.CDNOSNUMREC.set(c.number);
  a.IDBOLEMITIDO.set(c.model);
}

/// A counter value as a number: digits, at most 18 significant.
int64_t counterValue(const std::string& sequence) {
  const size_t significant = sequence.find_first_not_of('0');
  if (sequence.empty() || !host::IsDigits(sequence) ||
      (significant != std::string::npos && sequence.size() - significant > 18)) {
    throw Refusal(
        "NosNumInv",
        fmt::format("Nosso número inválido: \"{}\" não é um valor de contador.", sequence));
  }
  return significant == std::string::npos ? 0 : std::stoll(sequence.substr(significant));
}

/// Holds the counter's row for the rest of the transaction, so that a second server on the
/// same PostgreSQL database reads the value this call leaves, not the one before it.
struct CounterLock {
  std::string company, name;
  soci::statement insert, touch;
  explicit CounterLock(soci::session& sql)
      : insert((sql.prepare << "INSERT INTO SEQUENCIA (CDEMPRESA, NMSEQUENCIA, NRSEQUENCIA) "
                               "VALUES (:e, :n, '0') ON CONFLICT DO NOTHING",
                soci::use(company), soci::use(name))),
        touch((sql.prepare << "UPDATE SEQUENCIA SET NRSEQUENCIA = NRSEQUENCIA WHERE CDEMPRESA = "
                              ":e AND NMSEQUENCIA = :n",
               soci::use(company), soci::use(name))) {}
};

void lockCounter(CallContext& ctx, const std::string& name) {
  auto& q = prepared<CounterLock>(ctx, "Numeracao.lock");
  q.company = ctx.company();
  q.name = name;
  q.insert.execute(true);
  q.touch.execute(true);
}

/// A counter's value read and written through statements prepared once per session: the
/// numbering of a run reads and moves its counter once per boleto.
struct CounterValue {
  std::string company, name, value;
  soci::indicator ind = soci::i_null;
  soci::statement read, write;
  explicit CounterValue(soci::session& sql)
      : read((sql.prepare << "SELECT NRSEQUENCIA FROM SEQUENCIA WHERE CDEMPRESA = :e AND "
                             "NMSEQUENCIA = :n",
              soci::use(company), soci::use(name), soci::into(value, ind))),
        write((sql.prepare << "UPDATE SEQUENCIA SET NRSEQUENCIA = :v WHERE CDEMPRESA = :e AND "
                              "NMSEQUENCIA = :n",
               soci::use(value), soci::use(company), soci::use(name))) {}
};

/// The counter's current value, 0 when it was never taken.
int64_t counterNow(CallContext& ctx, const std::string& name) {
  auto& q = prepared<CounterValue>(ctx, "Numeracao.counter");
  q.company = ctx.company();
  q.name = name;
  q.ind = soci::i_null;
  return runToEnd(q.read) && q.ind == soci::i_ok ? std::stoll(q.value) : 0;
}

/// Moves a counter held by lockCounter (its row exists) so that its next value is `value` + 1.
void moveCounter(CallContext& ctx, const std::string& name, int64_t value) {
  auto& q = prepared<CounterValue>(ctx, "Numeracao.counter");
  q.company = ctx.company();
  q.name = name;
  q.value = std::to_string(value);
  q.write.execute(true);
}

/// The rows of a prepared statement of N text columns as a packet of `fields`.
template <size_t N>
struct TextRows {
  std::array<std::string, N> v;
  std::array<soci::indicator, N> i{};

  nlohmann::json packet(soci::statement& st, const std::vector<host::FieldDef>& fields) {
    nlohmann::json rows = nlohmann::json::array();
    i.fill(soci::i_null);
    for (bool got = st.execute(true); got; got = st.fetch()) {
      nlohmann::json row = nlohmann::json::array();
      for (size_t k = 0; k < N; ++k)
        row.push_back(i[k] == soci::i_ok ? nlohmann::json(v[k]) : nlohmann::json(nullptr));
      rows.push_back(std::move(row));
      i.fill(soci::i_null);
    }
    return {{"fields", packetFields(fields)}, {"rows", std::move(rows)}};
  }
};

struct HoldersQuery : TextRows<2> {
  std::string company, account, number;
  soci::statement st;
  explicit HoldersQuery(soci::session& sql)
      : st((sql.prepare << std::string("SELECT CDNOSNUMREC, CDREDUCONT FROM BOLRECEBER WHERE "
                                       "CDEMPRESA = :e AND CDREDUCONT IN ") +
                               kSameAgreement + " AND CDNOSNUMREC = :n",
            soci::use(company), soci::use(account), soci::use(company), soci::use(account),
            soci::use(number), soci::into(v[0], i[0]), soci::into(v[1], i[1]))) {}
};

struct NumberedQuery : TextRows<6> {
  std::string branch, number, company;
  soci::statement st;
  explicit NumberedQuery(soci::session& sql)
      : st((sql.prepare << "SELECT CDFILIAL, NRLANBOLREC, CDNOSNUMREC, CDBARRAREC, "
                           "DSLINHABARREC, IDMODELONUM FROM BOLRECEBER WHERE CDFILIAL = :f AND "
                           "NRLANBOLREC = :n AND CDEMPRESA = :e AND CDNOSNUMREC IS NOT NULL AND "
                           "CDNOSNUMREC <> ''",
            soci::use(branch), soci::use(number), soci::use(company), soci::into(v[0], i[0]),
            soci::into(v[1], i[1]), soci::into(v[2], i[2]), soci::into(v[3], i[3]),
            soci::into(v[4], i[4]), soci::into(v[5], i[5]))) {}
};

}  // namespace

void canonicalizeNossoNumeros(soci::session& sql) {
  struct Row {
    std::string branch, number, stored, barcode, carteira, form;
    std::string bank, conv, agency, account, payee, templ, accountForm;
  };
  std::vector<Row> rows;
  {
    soci::rowset<soci::row> rs =
        (sql.prepare << "SELECT B.CDFILIAL, B.NRLANBOLREC, B.CDNOSNUMREC, B.CDBARRAREC, "
                        "B.CDCARTCOBBOL, B.IDFORMCADBREC, K.CDBANCCNAB, K.CDBANCOCONV, "
                        "K.CDAGENCIA, K.CDCONTCORR, K.CDCEDENTEBAN, K.DSNOSNUMCORR, "
                        "K.IDFORMCADBANC FROM BOLRECEBER B JOIN CONTCORR K ON K.CDEMPRESA = "
                        "B.CDEMPRESA AND K.CDREDUCONT = B.CDREDUCONT WHERE B.CDNOSNUMREC IS NOT "
                        "NULL AND B.CDNOSNUMREC <> '' AND B.CDBARRAREC IS NOT NULL");
    for (const auto& r : rs) {
      auto text = [&](size_t i) {
        return r.get_indicator(i) == soci::i_ok ? host::AllTrim(r.get<std::string>(i))
                                                : std::string();
      };
      rows.push_back({text(0), text(1), text(2), text(3), text(4), text(5), text(6), text(7),
                      text(8), text(9), text(10), text(11), text(12)});
    }
  }
  for (const auto& r : rows) {
    if (r.barcode.size() != 44 || !host::IsDigits(r.barcode)) continue;
    const std::string bankCode = bank::CodigoEmissao(r.bank, r.conv);
    const bank::BankLayout* layout = bank::findBank(bankCode);
    const int width = bank::Retorna_Size_NossNum(r.templ);
    if (!layout || width == 0) continue;
    // The older form is exactly what the barcode reads back as: anything else was stored
    // otherwise (a pre-printed number, a number already in the printed form) and stays.
    if (bank::NossoNumeroCdBarra(r.barcode, "", "") != r.stored &&
        bank::NossoNumeroCdBarra(r.barcode, "", "17") != r.stored)
      continue;
    const std::string agreement = bank::Nr_Codigo(r.payee);
    const bank::CheckCountInput in{agreement, r.carteira, width, r.conv};
    // The read-back is the printed number without its check characters.
    auto body = layout->sequenceOf(
        r.stored + std::string(static_cast<size_t>(layout->checkCharacters(in)), '0'), in);
    if (!body) continue;
    const std::string sequence = host::Right(*body, static_cast<size_t>(width));
    const std::string form =
        !r.form.empty() ? r.form : (r.accountForm.empty() ? "1" : r.accountForm);
    std::string printed;
    try {
      printed = bank::NossoNumeroImpresso({bankCode, r.agency, r.account, r.payee, r.conv, r.templ},
                                          r.carteira, sequence, form);
    } catch (const std::exception&) {
      continue;  // a number the rules cannot write again stays as it was stored
    }
    if (printed.empty() || printed == r.stored ||
        bank::Nr_Codigo(printed).rfind(bank::Nr_Codigo(r.stored), 0) != 0)
      continue;
    sql << "UPDATE BOLRECEBER SET CDNOSNUMREC = :p WHERE CDFILIAL = :f AND NRLANBOLREC = :n",
        soci::use(printed), soci::use(r.branch), soci::use(r.number);
  }
}

void registerNumeracao(Dispatcher& d) {
  // GetNossoNumero(counter name): the number the counter hands out next, as digits. The
  // emission proposes it and checks the run's range from it; the last number handed out is
  // already on a boleto, and a counter never used would read as 0, below every range.
  d.on<rpc::GetNossoNumero>([](CallContext& ctx, rpc::GetNossoNumero& a) {
    return remote::Variant(std::to_string(counterNow(ctx, a.sequence.value()) + 1));
  });

  // prxNossoNumero(account, width) and PrxNossoNumPreImp(account, width): the next number of
  // the complete and of the pre-printed model, taken atomically.
  d.on<rpc::prxNossoNumero>([](CallContext& ctx, rpc::prxNossoNumero& a) {
    const std::string account = requireAccount(ctx, a.CDREDUCONT.code());
    return remote::Variant(nextNumber(ctx, "NOSSONUMERO" + account, seqWidth(a.seqSize.value())));
  });
  d.on<rpc::PrxNossoNumPreImp>([](CallContext& ctx, rpc::PrxNossoNumPreImp& a) {
    const std::string account = requireAccount(ctx, a.CDREDUCONT.code());
    return remote::Variant(
        nextNumber(ctx, "NOSSONUMPREIMP" + account, seqWidth(a.seqSize.value())));
  });

  // SetNovoCod(account in-out, value, NRLISTA, CDLISTA): the pre-printed counter restarts
  // after `value`.
  d.on<rpc::SetNovoCod>([](CallContext& ctx, rpc::SetNovoCod& a) {
    const std::string account = requireAccount(ctx, a.CDREDUCONT.code());
    a.CDREDUCONT.set(account);
    const std::string& value = a.NRSEQUENCIA.value();
    const size_t significant = value.find_first_not_of('0');
    if (!host::IsDigits(value) ||
        (significant != std::string::npos && value.size() - significant > 18)) {
      throw Refusal(
          "NosNumInv",
          fmt::format("Nosso número inválido: \"{}\" não é um valor de contador.", value));
    }
    setSequence(ctx.sql(), ctx.company(), "NOSSONUMPREIMP" + account, host::StrToIntDef(value, 0));
    return remote::Variant(int64_t{1});
  });

  // GetValNosNumero(nosso número in-out, account): the boletos that carry it, of the account
  // or of another account of the same agreement.
  d.on<rpc::GetValNosNumero>([](CallContext& ctx, rpc::GetValNosNumero& a) {
    auto& q = prepared<HoldersQuery>(ctx, "Numeracao.holders");
    q.number = host::AllTrim(a.CDNOSNUMREC.value());
    q.account = a.CDREDUCONT.code();
    q.company = ctx.company();
    return remote::Variant::packet(q.packet(q.st, records::cdsValNosNumero().fields()));
  });

  // SetCodBarra(typed line in-out, barcode in-out, nosso número in-out, branch in-out, number
  // in-out, identified deposit, model in-out, account in-out): stores the codes on the boleto.
  // A boleto that carries a number keeps it: the same number completes a missing barcode and
  // typed line, another number is refused. The arguments come back as the boleto holds them.
  d.on<rpc::SetCodBarra>([](CallContext& ctx, rpc::SetCodBarra& a) {
    const std::string line = a.DSLINHABARREC.value();
    const std::string barcode = a.CDBARRAREC.value();
    const std::string number = host::AllTrim(a.CDNOSNUMREC.value());
    const BoletoKey k = boletoKey(a);
    const std::string& deposit = a.CDDEPIDENREC.value();
    const std::string model = checkedModel(a.IDBOLEMITIDO.value(), true);
    checkBarcode(barcode);
    const std::string account = boletoAccount(ctx, k);
    if (!deposit.empty()) {
      // A deposit code once given is the one the customer deposits with: printing or sending
      // the boleto again keeps it.
      ctx.sql() << "UPDATE BOLRECEBER SET CDDEPIDENREC = :d WHERE CDFILIAL = :f AND "
                   "NRLANBOLREC = :n AND (CDDEPIDENREC IS NULL OR CDDEPIDENREC = '')",
          soci::use(deposit), soci::use(k.branch), soci::use(k.number);
      return remote::Variant(int64_t{1});
    }
    const Codes stored = storedCodes(ctx, k);
    if (!stored.number.empty()) {
      if (!number.empty() && number != stored.number) {
        throw Refusal("NN_JA_NUMERADO",
                      fmt::format("O boleto {}/{} já tem o nosso número {}: um nosso número "
                                  "armazenado não muda.",
                                  k.branch, k.number, stored.number));
      }
      completeCodes(ctx, k, stored, line, barcode);
    } else {
      if (!number.empty()) requireFree(ctx, account, number, k);
      storeCodes(ctx, k, line, barcode, number, model);
    }
    completePix(ctx, k.branch, k.number);
    returnCodes(a, storedCodes(ctx, k));
    return remote::Variant(int64_t{1});
  });

  // NumeraBoleto(branch in-out, number in-out, account, sequence, typed line in-out, barcode
  // in-out, nosso número in-out, model in-out): numbers a boleto that has none with the codes
  // the caller computed for `sequence`, and moves the account's counter of the model ("1"
  // pre-printed, "2" complete) to `sequence`, in one transaction. The sequence must lie above
  // every value the counter handed out ("NN_CONCORRENTE": another caller took it; ask for the
  // next one) and its number must be free in the account ("NN_JA_CAD"). A boleto that has a
  // number keeps it (its missing barcode and typed line are completed when the caller computed
  // them for that number) and the counter does not move. Answers 1 when this call numbered the
  // boleto, 0 when it was numbered already; the in-out arguments come back as stored.
  d.on<rpc::NumeraBoleto>([](CallContext& ctx, rpc::NumeraBoleto& a) {
    const BoletoKey k = boletoKey(a);
    const std::string account = a.CDREDUCONT.code();
    const std::string sequence = host::AllTrim(a.NRSEQUENCIA.value());
    const std::string line = a.DSLINHABARREC.value();
    const std::string barcode = a.CDBARRAREC.value();
    const std::string number = host::AllTrim(a.CDNOSNUMREC.value());
    const std::string model = checkedModel(a.IDBOLEMITIDO.value(), false);
    checkBarcode(barcode);
    if (boletoAccount(ctx, k) != account) {
      throw Refusal("BOL_CONTA", fmt::format("O boleto {}/{} não é da conta cobrança {}.", k.branch,
                                             k.number, account));
    }
    const Codes stored = storedCodes(ctx, k);
    if (!stored.number.empty()) {
      if (number == stored.number) {
        completeCodes(ctx, k, stored, line, barcode);
        // A number given without a model (an older row) takes the one it is printed on.
        if (stored.model.empty()) recordModel(ctx, k, model);
      }
      completePix(ctx, k.branch, k.number);
      returnCodes(a, storedCodes(ctx, k));
      return remote::Variant(int64_t{0});
    }
    if (number.empty()) {
      throw Refusal("NosNumInv",
                    fmt::format("Nosso número vazio para o boleto {}/{}.", k.branch, k.number));
    }
    const std::string counter = (model == "1" ? "NOSSONUMPREIMP" : "NOSSONUMERO") + account;
    const int64_t value = counterValue(sequence);
    lockCounter(ctx, counter);
    const int64_t last = counterNow(ctx, counter);
    if (value <= last) {
      throw Refusal("NN_CONCORRENTE",
                    fmt::format("A sequência {} do contador {} já foi entregue (o último valor é "
                                "{}): tome o próximo valor.",
                                sequence, counter, last));
    }
    requireFree(ctx, account, number, k);
    storeCodes(ctx, k, line, barcode, number, model);
    moveCounter(ctx, counter, value);
    completePix(ctx, k.branch, k.number);
    returnCodes(a, storedCodes(ctx, k));
    return remote::Variant(int64_t{1});
  });

  // GetValidaNosNum(branch in-out, number in-out): the boleto when its nosso número is stored,
  // with the codes it carries.
  d.on<rpc::GetValidaNosNum>([](CallContext& ctx, rpc::GetValidaNosNum& a) {
    const BoletoKey k = boletoKey(a);
    auto& q = prepared<NumberedQuery>(ctx, "Numeracao.numbered");
    q.branch = k.branch;
    q.number = k.number;
    q.company = ctx.company();
    return remote::Variant::packet(q.packet(q.st, records::cdsValidaNossNum().fields()));
  });

  // GetVdDepIdent(company, bank): whether the company and the bank use identified deposits.
  d.on<rpc::GetVdDepIdent>([](CallContext& ctx, rpc::GetVdDepIdent& a) {
    const std::string company = a.CDEMPRESA.code();
    const std::string bank = a.CDBANCO.code();
    ctx.requireCompany(company);
    auto setting = [&](const std::string& name) {
      std::string value;
      soci::indicator ind = soci::i_null;
      ctx.sql() << "SELECT TXVALOR FROM PARAMETRO WHERE CDEMPRESA = :e AND NMPARAMETRO = :n",
          soci::use(company), soci::use(name), soci::into(value, ind);
      return ctx.sql().got_data() && ind == soci::i_ok ? value : std::string();
    };
    std::string result = "OK";
    if (setting("IDDEPIDENT") != "S") {
      result = "EMPR_DI_NH";
    } else {
      const std::string banks = ";" + setting("DEPIDENTBANCOS") + ";";
      if (banks.find(";" + bank + ";") == std::string::npos) result = "BANC_DI_NH";
    }
    auto packet = emptyPacket(records::cdsVdDepIdent().fields());
    packet["rows"].push_back({result});
    return remote::Variant::packet(packet);
  });

  // GetInfoDepIdent(bank, branch in-out, number in-out): [status, packet with the cost centre
  // of the boleto's branch, error text or null].
  d.on<rpc::GetInfoDepIdent>([](CallContext& ctx, rpc::GetInfoDepIdent& a) {
    const BoletoKey k = boletoKey(a);
    auto packet = emptyPacket(records::cdsInfoDepIdent().fields());
    std::string centre;
    soci::indicator ind = soci::i_null;
    const std::string company = ctx.company();
    ctx.sql() << "SELECT F.CDCENTCUST FROM BOLRECEBER B JOIN FILIAL F ON F.CDFILIAL = B.CDFILIAL "
                 "WHERE B.CDFILIAL = :f AND B.NRLANBOLREC = :n AND B.CDEMPRESA = :e",
        soci::use(k.branch), soci::use(k.number), soci::use(company), soci::into(centre, ind);
    if (!ctx.sql().got_data()) {
      return remote::Variant::array(
          {remote::Variant(int64_t{0}), remote::Variant::packet(packet),
           remote::Variant(fmt::format("Boleto {}/{} não encontrado.", k.branch, k.number))});
    }
    if (ind != soci::i_ok || host::EmptyString(centre)) {
      return remote::Variant::array(
          {remote::Variant(int64_t{0}), remote::Variant::packet(packet),
           remote::Variant(
               fmt::format("Centro de custo não cadastrado para a filial {}.", k.branch))});
    }
    packet["rows"].push_back({centre});
    return remote::Variant::array(
        {remote::Variant(int64_t{1}), remote::Variant::packet(packet), remote::Variant()});
  });

  // GetSeqDepIdent(branch in-out): the branch's next deposit sequence.
  d.on<rpc::GetSeqDepIdent>([](CallContext& ctx, rpc::GetSeqDepIdent& a) {
    a.CDFILIAL.set(a.CDFILIAL.code());
    const std::string& branch = a.CDFILIAL.value();
    return remote::Variant(
        std::to_string(nextSequence(ctx.sql(), ctx.company(), "DEPIDENT" + branch)));
  });

  registerPix(d);
}

}  // namespace service
