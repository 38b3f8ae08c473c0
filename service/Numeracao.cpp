// Numbering of boletos: the nosso número counters per account and model, the store of the
// codes with the uniqueness of the number within its account, and identified deposits.

#include <fmt/format.h>

#include "host/Consiste.h"
#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"
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
    throw Refusal("ESTRUT_CONFIG",
                  fmt::format("the sequence width \"{}\" is not a number from 1 to 20", text));
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
    throw Refusal("CONTA_NC",
                  fmt::format("account {} does not exist for company {}", code, company));
  }
  return code;
}

/// The next value of a counter written with `width` digits; a counter that no longer fits
/// its width is refused rather than cut, which would repeat numbers already printed.
std::string nextNumber(CallContext& ctx, const std::string& name, int width) {
  const int64_t next = nextSequence(ctx.sql(), ctx.company(), name);
  std::string text = std::to_string(next);
  if (static_cast<int>(text.size()) > width) {
    throw Refusal("NOSSO<SEQ",
                  fmt::format("counter {} reached {}, beyond {} digits", name, text, width));
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

/// The boleto's account, or a refusal when the boleto is not one of the caller's company.
std::string boletoAccount(CallContext& ctx, const BoletoKey& k) {
  std::string account;
  soci::indicator ind = soci::i_null;
  const std::string company = ctx.company();
  ctx.sql() << "SELECT CDREDUCONT FROM BOLRECEBER WHERE CDFILIAL = :f AND NRLANBOLREC = :n "
               "AND CDEMPRESA = :e",
      soci::use(k.branch), soci::use(k.number), soci::use(company), soci::into(account, ind);
  if (!ctx.sql().got_data()) {
    throw Refusal("BOL_NC", fmt::format("boleto {}/{} does not exist for company {}", k.branch,
                                        k.number, company));
  }
  return ind == soci::i_ok ? account : std::string();
}

bool isDigits(const std::string& s) {
  return s.empty() || host::IsDigits(s);
}

}  // namespace

void registerNumeracao(Dispatcher& d) {
  // GetNossoNumero(counter name): the number the counter hands out next, as digits. The
  // emission proposes it and checks the run's range from it; the last number handed out is
  // already on a boleto, and a counter never used would read as 0, below every range.
  d.on<rpc::GetNossoNumero>([](CallContext& ctx, rpc::GetNossoNumero& a) {
    const std::string& name = a.sequence.value();
    return remote::Variant(std::to_string(currentSequence(ctx.sql(), ctx.company(), name) + 1));
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
      throw Refusal("NosNumInv", fmt::format("\"{}\" is not a counter value", value));
    }
    setSequence(ctx.sql(), ctx.company(), "NOSSONUMPREIMP" + account, host::StrToIntDef(value, 0));
    return remote::Variant(int64_t{1});
  });

  // GetValNosNumero(nosso número in-out, account): the boletos of the account that carry it.
  d.on<rpc::GetValNosNumero>([](CallContext& ctx, rpc::GetValNosNumero& a) {
    const std::string number = host::AllTrim(a.CDNOSNUMREC.value());
    const std::string account = a.CDREDUCONT.code();
    const std::string company = ctx.company();
    const auto& fields = records::cdsValNosNumero().fields();
    soci::rowset<soci::row> rows =
        (ctx.sql().prepare << "SELECT CDNOSNUMREC, CDREDUCONT FROM BOLRECEBER WHERE "
                              "CDEMPRESA = :e AND CDREDUCONT = :c AND CDNOSNUMREC = :n",
         soci::use(company), soci::use(account), soci::use(number));
    return remote::Variant::packet(packetFromRows(rows, fields));
  });

  // SetCodBarra(typed line in-out, barcode, nosso número in-out, branch in-out, number in-out,
  // identified deposit, model in-out, account in-out): stores the codes on the boleto.
  d.on<rpc::SetCodBarra>([](CallContext& ctx, rpc::SetCodBarra& a) {
    const std::string& line = a.DSLINHABARREC.value();
    const std::string& barcode = a.CDBARRAREC.value();
    const std::string number = host::AllTrim(a.CDNOSNUMREC.value());
    const BoletoKey k = boletoKey(a);
    const std::string& deposit = a.CDDEPIDENREC.value();
    const std::string& model = a.IDBOLEMITIDO.value();
    if (!model.empty() && model != "1" && model != "2") {
      throw Refusal("ARG_INVALIDO", fmt::format("the print model \"{}\" is neither \"1\" "
                                                "(pre-printed) nor \"2\" (complete)",
                                                model));
    }
    if (!barcode.empty() && (barcode.size() != 44 || !isDigits(barcode))) {
      throw Refusal("CODBARRA_INV", fmt::format("the barcode \"{}\" is not 44 digits", barcode));
    }
    const std::string account = boletoAccount(ctx, k);
    if (!deposit.empty()) {
      ctx.sql() << "UPDATE BOLRECEBER SET CDDEPIDENREC = :d WHERE CDFILIAL = :f AND "
                   "NRLANBOLREC = :n",
          soci::use(deposit), soci::use(k.branch), soci::use(k.number);
      return remote::Variant(int64_t{1});
    }
    // The uniqueness is checked again here, inside the writing transaction, so that two
    // operators who asked GetValNosNumero at the same moment cannot both store one number.
    if (!number.empty()) {
      int taken = 0;
      ctx.sql() << "SELECT COUNT(*) FROM BOLRECEBER WHERE CDREDUCONT = :c AND CDNOSNUMREC = :n "
                   "AND CDEMPRESA = (SELECT CDEMPRESA FROM BOLRECEBER WHERE CDFILIAL = :f AND "
                   "NRLANBOLREC = :b) AND NOT (CDFILIAL = :f2 AND NRLANBOLREC = :b2)",
          soci::use(account), soci::use(number), soci::use(k.branch), soci::use(k.number),
          soci::use(k.branch), soci::use(k.number), soci::into(taken);
      if (taken > 0) {
        throw Refusal("NN_JA_CAD", fmt::format("nosso número {} is already on another boleto of "
                                               "account {}",
                                               number, account));
      }
    }
    soci::indicator lineInd = line.empty() ? soci::i_null : soci::i_ok;
    soci::indicator barInd = barcode.empty() ? soci::i_null : soci::i_ok;
    soci::indicator numInd = number.empty() ? soci::i_null : soci::i_ok;
    ctx.sql() << "UPDATE BOLRECEBER SET DSLINHABARREC = :l, CDBARRAREC = :b, CDNOSNUMREC = :n "
                 "WHERE CDFILIAL = :f AND NRLANBOLREC = :r",
        soci::use(line, lineInd), soci::use(barcode, barInd), soci::use(number, numInd),
        soci::use(k.branch), soci::use(k.number);
    // The model goes with the number: AltBoletos turns it into the emitted model. A pre-printed
    // run marks its whole list emitted after the first boleto, before the others are numbered;
    // those take their model here, as they are numbered.
    if (!model.empty()) {
      ctx.sql() << "UPDATE BOLRECEBER SET IDMODELONUM = :m, IDBOLEMITIDO = CASE WHEN IDSTATBREC = "
                   "'E' THEN :m2 ELSE IDBOLEMITIDO END WHERE CDFILIAL = :f AND NRLANBOLREC = :r",
          soci::use(model), soci::use(model), soci::use(k.branch), soci::use(k.number);
    }
    return remote::Variant(int64_t{1});
  });

  // GetValidaNosNum(branch in-out, number in-out): the boleto when its nosso número is stored.
  d.on<rpc::GetValidaNosNum>([](CallContext& ctx, rpc::GetValidaNosNum& a) {
    const BoletoKey k = boletoKey(a);
    const auto& fields = records::cdsValidaNossNum().fields();
    const std::string company = ctx.company();
    soci::rowset<soci::row> rows =
        (ctx.sql().prepare << "SELECT CDFILIAL, NRLANBOLREC FROM BOLRECEBER WHERE CDFILIAL = :f "
                              "AND NRLANBOLREC = :n AND CDEMPRESA = :e AND CDNOSNUMREC IS NOT "
                              "NULL AND CDNOSNUMREC <> ''",
         soci::use(k.branch), soci::use(k.number), soci::use(company));
    return remote::Variant::packet(packetFromRows(rows, fields));
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
}

}  // namespace service
