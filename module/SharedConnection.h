#pragma once
// The one connection to the service that every screen uses (the register's `netHabContRec`).

#include <string>

#include "host/ClientDataset.h"
#include "records/Tables.h"
#include "remote/Connection.h"

namespace rec {

/// Names the server object "Rec12000.rdmHabContRec"; reaches the service through the
/// process's default transport.
remote::Connection& netHabContRec();

/// Connects the shared connection when a screen finds it disconnected. Never throws: a
/// connection that stays down fails the screen's first call with a clear error.
void ensureConnected();

/// Loads the rows of a data packet result into `ds` by field name, declaring `ds` with the
/// table's fields first when it is not open. Earlier rows are dropped; the rows arrive as
/// fetched, not as changes.
void loadRecordRows(const remote::Variant& packet, host::ClientDataset& ds,
                    const records::Table& table);

/// `GetCont_Corr` with the account code (in-out) into `cdsContCorr` (bank account record),
/// through CheckResultServ.
void fetchBankAccount(remote::Connection& conn, std::string& accountCode,
                      host::ClientDataset& cdsContCorr);

}  // namespace rec
