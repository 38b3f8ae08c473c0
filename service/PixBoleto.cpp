#include "service/PixBoleto.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <memory>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/Pix.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"

namespace service {

namespace {

namespace pix = host::pix;

/// What a boleto's Pix charge is made of, read in the calling transaction.
struct PixSource {
  bool found = false;
  std::string stored, barcode, key, company, city;
  int64_t cents = 0;
};

std::string orEmpty(const std::string& s, soci::indicator i) {
  return i == soci::i_ok ? host::AllTrim(s) : std::string();
}

/// Read once for every boleto numbered: prepared once per session.
struct PixSourceQuery {
  std::string branch, number, owner;
  std::string stored, barcode, key, company, city;
  double value = 0;
  std::array<soci::indicator, 6> i{};
  soci::statement st;
  explicit PixSourceQuery(soci::session& sql)
      : st((sql.prepare << "SELECT B.DSPIXBOLREC, B.CDBARRAREC, B.VRFINALBREC, K.DSCHAVEPIX, "
                           "E.NMEMPRESA, A.NMCIDAFILI FROM BOLRECEBER B JOIN EMPRESA E ON "
                           "E.CDEMPRESA = B.CDEMPRESA LEFT JOIN CONTCORR K ON K.CDEMPRESA = "
                           "B.CDEMPRESA AND K.CDREDUCONT = B.CDREDUCONT LEFT JOIN ENDEFILI A ON "
                           "A.CDFILIAL = B.CDFILIAL WHERE B.CDFILIAL = :f AND B.NRLANBOLREC = :n "
                           "AND B.CDEMPRESA = :e",
            soci::use(branch), soci::use(number), soci::use(owner), soci::into(stored, i[0]),
            soci::into(barcode, i[1]), soci::into(value, i[2]), soci::into(key, i[3]),
            soci::into(company, i[4]), soci::into(city, i[5]))) {}
};

PixSource pixSource(CallContext& ctx, const std::string& branch, const std::string& number) {
  auto& q = ctx.database().prepared<PixSourceQuery>(
      "Pix.source", [](soci::session& sql) { return std::make_unique<PixSourceQuery>(sql); });
  q.branch = branch;
  q.number = number;
  q.owner = ctx.company();
  q.i.fill(soci::i_null);
  PixSource s;
  // Fetched to its end, so the statement holds no read between calls.
  for (bool got = q.st.execute(true); got; got = q.st.fetch()) s.found = true;
  if (!s.found) return s;
  s.stored = orEmpty(q.stored, q.i[0]);
  s.barcode = orEmpty(q.barcode, q.i[1]);
  s.cents = q.i[2] == soci::i_ok ? std::llround(q.value * 100.0) : 0;
  s.key = orEmpty(q.key, q.i[3]);
  s.company = orEmpty(q.company, q.i[4]);
  s.city = orEmpty(q.city, q.i[5]);
  return s;
}

void storePix(CallContext& ctx, const std::string& branch, const std::string& number,
              const std::string& text) {
  ctx.sql() << "UPDATE BOLRECEBER SET DSPIXBOLREC = :t WHERE CDFILIAL = :f AND NRLANBOLREC = :n "
               "AND (DSPIXBOLREC IS NULL OR DSPIXBOLREC = '')",
      soci::use(text), soci::use(branch), soci::use(number);
}

}  // namespace

void completePix(CallContext& ctx, const std::string& branch, const std::string& number) {
  const PixSource s = pixSource(ctx, branch, number);
  if (!s.found || !s.stored.empty() || s.barcode.empty() || s.key.empty()) return;
  const pix::KeyCheck key = pix::normalizeKey(s.key);
  if (!key.kind) {
    throw Refusal("PIX_CHAVE", fmt::format("A chave Pix \"{}\" da conta do boleto {}/{} é "
                                           "inválida: {}",
                                           s.key, branch, number, key.problem));
  }
  pix::StaticCharge charge;
  charge.key = key.value;
  charge.cents = s.cents;
  charge.merchantName = s.company;
  charge.merchantCity = s.city;
  charge.txid = pix::txidForBoleto(branch, number);
  try {
    storePix(ctx, branch, number, pix::buildStatic(charge).text);
  } catch (const host::OperationError& e) {
    throw Refusal("PIX_DADOS", fmt::format("O Pix do boleto {}/{} não pôde ser gerado: {}", branch,
                                           number, e.what()));
  }
}

void registerPix(Dispatcher& d) {
  // SetPixBoleto(branch in-out, number in-out, text in-out): keeps the text the bank returned.
  d.on<rpc::SetPixBoleto>([](CallContext& ctx, rpc::SetPixBoleto& a) {
    a.CDFILIAL.set(a.CDFILIAL.code());
    a.NRLANBOLREC.set(a.NRLANBOLREC.code());
    const std::string branch = a.CDFILIAL.value();
    const std::string number = a.NRLANBOLREC.value();
    const std::string text = host::AllTrim(a.DSPIXBOLREC.value());
    const PixSource s = pixSource(ctx, branch, number);
    if (!s.found) {
      throw Refusal("BOL_NAO_ENC", fmt::format("Boleto {}/{} não encontrado.", branch, number));
    }
    if (!s.stored.empty()) {
      if (!text.empty() && text != s.stored) {
        throw Refusal("PIX_JA_CAD", fmt::format("O boleto {}/{} já tem o Pix {}: um Pix "
                                                "armazenado não muda.",
                                                branch, number, s.stored));
      }
      a.DSPIXBOLREC.set(s.stored);
      return remote::Variant(int64_t{0});
    }
    const pix::Decoded read = pix::decode(text);
    if (!read.valid) {
      throw Refusal("PIX_INVALIDO", fmt::format("O Pix do boleto {}/{} é inválido: {}", branch,
                                                number, read.reason));
    }
    if (read.cents && *read.cents != s.cents) {
      throw Refusal("PIX_VALOR",
                    fmt::format("O Pix do boleto {}/{} cobra {} e o boleto vale {},{:02d}.", branch,
                                number, read.amount, s.cents / 100, s.cents % 100));
    }
    storePix(ctx, branch, number, text);
    a.DSPIXBOLREC.set(text);
    return remote::Variant(int64_t{1});
  });
}

}  // namespace service
