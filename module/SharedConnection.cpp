#include "module/SharedConnection.h"

#include "records/Methods.h"

namespace rec {

remote::Connection& netHabContRec() {
  static remote::Connection conn(rpc::kHabContRec);
  return conn;
}

void ensureConnected() {
  auto& conn = netHabContRec();
  if (!conn.connected()) conn.connect();
}

void loadRecordRows(const remote::Variant& packet, host::ClientDataset& ds,
                    const records::Table& table) {
  if (!ds.active()) {
    if (ds.fieldCount() == 0) ds.setFieldDefs(table.fields());
    ds.createDataset();
  }
  ds.emptyDataset();
  remote::appendPacketRows(ds, packet);
  ds.first();
}

void fetchBankAccount(remote::Connection& conn, std::string& accountCode,
                      host::ClientDataset& cdsContCorr) {
  remote::Variant packet = rpc::call(conn, rpc::GetCont_Corr{.CDREDUCONT = accountCode});
  loadRecordRows(packet, cdsContCorr, records::BankAccountRecord());
}

}  // namespace rec
