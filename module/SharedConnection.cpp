#include "module/SharedConnection.h"

#include "module/Records.h"

namespace rec {

remote::Connection& netHabContRec() {
  static remote::Connection conn("Rec12000.rdmHabContRec");
  return conn;
}

void ensureConnected() {
  auto& conn = netHabContRec();
  if (!conn.connected()) conn.connect();
}

void loadRecordRows(const remote::Variant& packet, host::ClientDataset& ds,
                    const std::vector<host::FieldDef>& record) {
  if (!ds.active()) {
    if (ds.fieldCount() == 0) ds.setFieldDefs(record);
    ds.createDataset();
  }
  ds.emptyDataset();
  remote::appendPacketRows(ds, packet);
  ds.first();
}

void fetchBankAccount(remote::Connection& conn, std::string& accountCode,
                      host::ClientDataset& cdsContCorr) {
  remote::Variant packet =
      remote::CheckResultServ(conn.call("GetCont_Corr", {remote::Arg::ref(accountCode)}));
  loadRecordRows(packet, cdsContCorr, BankAccountRecord());
}

}  // namespace rec
