#include "service/PixBoleto.h"

#include <fmt/format.h>

#include <cmath>

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

PixSource pixSource(CallContext& ctx, const std::string& branch, const std::string& number) {
  PixSource s;
  std::string stored, barcode, key, company, city;
  double value = 0;
  soci::indicator i1 = soci::i_null, i2 = soci::i_null, i3 = soci::i_null, i4 = soci::i_null,
                  i5 = soci::i_null, i6 = soci::i_null;
  const std::string owner = ctx.company();
  ctx.sql() << "SELECT B.DSPIXBOLREC, B.CDBARRAREC, B.VRFINALBREC, K.DSCHAVEPIX, E.NMEMPRESA, "
               "A.NMCIDAFILI FROM BOLRECEBER B JOIN EMPRESA E ON E.CDEMPRESA = B.CDEMPRESA "
               "LEFT JOIN CONTCORR K ON K.CDEMPRESA = B.CDEMPRESA AND K.CDREDUCONT = "
               "B.CDREDUCONT LEFT JOIN ENDEFILI A ON A.CDFILIAL = B.CDFILIAL WHERE B.CDFILIAL = "
               ":f AND B.NRLANBOLREC = :n AND B.CDEMPRESA = :e",
      soci::use(branch), soci::use(number), soci::use(owner), soci::into(stored, i1),
      soci::into(barcode, i2), soci::into(value, i3), soci::into(key, i4), soci::into(company, i5),
      soci::into(city, i6);
  if (!ctx.sql().got_data()) return s;
  s.found = true;
  s.stored = orEmpty(stored, i1);
  s.barcode = orEmpty(barcode, i2);
  s.cents = i3 == soci::i_ok ? std::llround(value * 100.0) : 0;
  s.key = orEmpty(key, i4);
  s.company = orEmpty(company, i5);
  s.city = orEmpty(city, i6);
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
