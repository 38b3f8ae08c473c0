// Boletos marked emitted: what the emission, e-mail and generation screens report once a
// boleto has gone out on paper, as a file or by mail.

#include <fmt/format.h>

#include <memory>

#include "host/Consiste.h"
#include "host/DateTime.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"

namespace service {

namespace {

// A written-off ("B") or discounted ("D") boleto is left as it is: a reprint must not undo
// its settlement. Every other boleto becomes "E". The model the boleto was numbered for
// becomes its emitted model; a boleto numbered without one (an identified deposit) keeps the
// emitted model it had, so that the next emission still compares against the model it
// really went out on.
constexpr const char* kMarkEmitted =
    "UPDATE BOLRECEBER SET IDSTATBREC = 'E', IDBOLEMITIDO = COALESCE(IDMODELONUM, IDBOLEMITIDO), "
    "DTEMITBOLREC = :d WHERE IDSTATBREC NOT IN ('B', 'D') AND ";

constexpr size_t kKeySize = 14;

std::string keyText(const std::string& key) {
  return fmt::format("{}/{}", key.substr(0, 4), key.substr(4));
}

// One boleto: the key is CDFILIAL + NRLANBOLREC and must be one of the caller's company.
// Prepared once per session: a run records each of its boletos with a call of its own.
struct MarkOne {
  std::string branch, number, company, when;
  int found = 0;
  soci::statement count, mark;
  explicit MarkOne(soci::session& sql)
      : count((sql.prepare << "SELECT COUNT(*) FROM BOLRECEBER WHERE CDFILIAL = :f AND "
                              "NRLANBOLREC = :n AND CDEMPRESA = :e",
               soci::use(branch), soci::use(number), soci::use(company), soci::into(found))),
        mark((sql.prepare << std::string(kMarkEmitted) + "CDFILIAL = :f AND NRLANBOLREC = :n",
              soci::use(when), soci::use(branch), soci::use(number))) {}
};

int64_t markOne(CallContext& ctx, const std::string& key, const std::string& when) {
  auto& q = ctx.database().prepared<MarkOne>(
      "Emissao.markOne", [](soci::session& sql) { return std::make_unique<MarkOne>(sql); });
  q.branch = key.substr(0, 4);
  q.number = key.substr(4);
  q.company = ctx.company();
  q.when = when;
  q.found = 0;
  for (bool got = q.count.execute(true); got;) got = q.count.fetch();
  if (q.found == 0) {
    throw Refusal("BOL_NC", fmt::format("Boleto {} não cadastrado para a empresa {}.", keyText(key),
                                        q.company));
  }
  q.mark.execute(true);
  return 1;
}

// Every boleto of the list, once: the emission calls once per row of its list and the
// generation screen once for the whole list, and both must end alike. Marking the list again
// on each of n calls would read it n times; the list remembers that it was marked instead.
int64_t markList(CallContext& ctx, const std::string& list, const std::string& key,
                 const std::string& when) {
  int held = 0;
  ctx.sql() << "SELECT COUNT(*) FROM LISTAITEM WHERE NRLISTA = :l AND CDLISTA = :k",
      soci::use(list), soci::use(key), soci::into(held);
  if (held == 0) {
    throw Refusal("LISTA_NC", fmt::format("A lista {} não existe ou não contém o boleto {}.", list,
                                          keyText(key)));
  }
  int size = 0;
  ctx.sql() << "SELECT COUNT(*) FROM LISTAITEM WHERE NRLISTA = :l", soci::use(list),
      soci::into(size);
  std::string marked;
  soci::indicator markedInd = soci::i_null;
  ctx.sql() << "SELECT DTEMITLISTA FROM LISTA WHERE NRLISTA = :l", soci::use(list),
      soci::into(marked, markedInd);
  if (markedInd == soci::i_ok) return size;

  const std::string company = ctx.company();
  std::string stranger;
  soci::indicator ind = soci::i_null;
  ctx.sql() << "SELECT MIN(I.CDLISTA) FROM LISTAITEM I WHERE I.NRLISTA = :l AND NOT EXISTS "
               "(SELECT 1 FROM BOLRECEBER B WHERE B.CDFILIAL = SUBSTR(I.CDLISTA, 1, 4) AND "
               "B.NRLANBOLREC = SUBSTR(I.CDLISTA, 5) AND B.CDEMPRESA = :e)",
      soci::use(list), soci::use(company), soci::into(stranger, ind);
  if (ind == soci::i_ok) {
    throw Refusal("BOL_NC", fmt::format("A lista {} contém \"{}\", que não é boleto da empresa {}.",
                                        list, stranger, company));
  }
  ctx.sql() << std::string(kMarkEmitted) +
                   "(CDFILIAL, NRLANBOLREC) IN (SELECT SUBSTR(CDLISTA, 1, 4), SUBSTR(CDLISTA, 5) "
                   "FROM LISTAITEM WHERE NRLISTA = :l)",
      soci::use(when), soci::use(list);
  ctx.sql() << "UPDATE LISTA SET DTEMITLISTA = :d WHERE NRLISTA = :l", soci::use(when),
      soci::use(list);
  return size;
}

}  // namespace

void registerEmissao(Dispatcher& d) {
  // AltBoletos(count, NRLISTA, key): with NRLISTA empty, the boleto whose CDFILIAL +
  // NRLANBOLREC is the key; otherwise every boleto of list NRLISTA, the key being one of its
  // CDLISTA. Answers the number of boletos of the list, or 1.
  d.on<rpc::AltBoletos>([](CallContext& ctx, rpc::AltBoletos& a) {
    const int64_t count = a.count.value();
    const std::string list = host::AllTrim(a.NRLISTA.value());
    const std::string key = host::AllTrim(a.CDLISTA.value());
    if (count < 1) {
      throw Refusal(
          "ARG_INVALIDO",
          fmt::format("AltBoletos: a quantidade de boletos deve ser ao menos 1, não {}.", count));
    }
    if (key.size() != kKeySize) {
      throw Refusal("ARG_INVALIDO", fmt::format("AltBoletos: \"{}\" não é chave de boleto (filial "
                                                "e número, {} caracteres).",
                                                key, kKeySize));
    }
    const std::string when = ctx.now().iso();
    return remote::Variant(list.empty() ? markOne(ctx, key, when) : markList(ctx, list, key, when));
  });
}

}  // namespace service
