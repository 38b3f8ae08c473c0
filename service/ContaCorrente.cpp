// Collection accounts.

#include <fmt/format.h>

#include "records/Tables.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"

namespace service {

namespace {

std::string accountExpr(const std::string& field) {
  if (field == "NMBANCO") return "B.NMBANCO";
  return "K." + field;
}

struct AccountQuery {
  std::string company, code;
  soci::row row;
  soci::statement st;
  explicit AccountQuery(soci::session& sql)
      : st((sql.prepare << fmt::format(
                "SELECT {} FROM CONTCORR K LEFT JOIN BANCO B ON B.CDBANCO = K.CDBANCO "
                "WHERE K.CDEMPRESA = :e AND K.CDREDUCONT = :c",
                selectList(records::BankAccountRecord().fields(), accountExpr)),
            soci::use(company), soci::use(code), soci::into(row))) {}
};

/// The account `code` of `company` as a packet of the bank account record (no rows when
/// there is no such account).
host::DataPacket accountPacket(Database& db, const std::string& company, const std::string& code) {
  const auto& fields = records::BankAccountRecord().fields();
  auto& q = db.prepared<AccountQuery>(
      "GetCont_Corr", [](soci::session& sql) { return std::make_unique<AccountQuery>(sql); });
  q.company = company;
  q.code = code;
  host::DataPacket packet(packetLayout(fields));
  // The key is unique: at most one row; fetching to the end releases the statement.
  for (bool got = q.st.execute(true); got; got = q.st.fetch()) packedRow(q.row, fields, packet);
  return packet;
}

}  // namespace

void registerContaCorrente(Dispatcher& d) {
  d.on<rpc::GetCont_Corr>([](CallContext& ctx, rpc::GetCont_Corr& a) {
    a.CDREDUCONT.set(a.CDREDUCONT.code());
    return remote::Variant::packet(
        accountPacket(ctx.database(), ctx.company(), a.CDREDUCONT.value()));
  });
}

}  // namespace service
