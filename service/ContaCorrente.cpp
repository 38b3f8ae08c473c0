// Collection accounts.

#include <fmt/format.h>

#include "module/Records.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"

namespace service {

namespace {

std::string accountExpr(const std::string& field) {
  if (field == "NMBANCO") return "B.NMBANCO";
  return "K." + field;
}

/// The account `code` of `company` as a packet of the bank account record (no rows when
/// there is no such account).
nlohmann::json accountPacket(soci::session& sql, const std::string& company,
                             const std::string& code) {
  const auto& fields = rec::BankAccountRecord();
  static const std::string query = fmt::format(
      "SELECT {} FROM CONTCORR K LEFT JOIN BANCO B ON B.CDBANCO = K.CDBANCO "
      "WHERE K.CDEMPRESA = :e AND K.CDREDUCONT = :c",
      selectList(fields, accountExpr));
  soci::rowset<soci::row> rows = (sql.prepare << query, soci::use(company), soci::use(code));
  return packetFromRows(rows, fields);
}

}  // namespace

void registerContaCorrente(Dispatcher& d) {
  // GetCont_Corr(account code, in-out): the account of the caller's company. The code comes
  // back padded to its three digits.
  d.add(kHabContRec, "GetCont_Corr", 1, [](CallContext& ctx) {
    std::string code = ctx.code(0, rec::fieldOf(rec::BankAccountRecord(), "CDREDUCONT"));
    ctx.setArg(0, remote::Variant(code));
    return remote::Variant::packet(accountPacket(ctx.sql(), ctx.company(), code));
  });
}

}  // namespace service
