#pragma once
// The register run headless by the command line: console dialogs, a screen host that plays
// the modal screens by script, and the register opened as the host opens it.

#include <functional>
#include <memory>
#include <string>

#include "apps/boleto/ConsoleDialogs.h"
#include "host/Host.h"
#include "module/ScreenHost.h"
#include "register/FiltroHabRec.h"
#include "register/HabContRec.h"

namespace CLI {
class App;
}  // namespace CLI

namespace cli {

/// The boletos a headless run takes: one company's account, within a due-date range.
struct AccountRun {
  std::string company = "04";
  std::string account;
  std::string dueFrom, dueTo;  ///< dd/mm/yyyy; empty: any
};
/// The options every account run of the command line takes: --company, --account (required),
/// --due-from and --due-to.
void addAccountRunOptions(CLI::App& command, AccountRun& run);

class HeadlessRegister {
 public:
  /// Connects to the configured service for `company` and installs the dialogs (questions
  /// answered `answerYes`) and the headless screen host.
  HeadlessRegister(const std::string& company, bool answerYes);

  /// What the operator does in the filter before confirming it.
  void onFilter(std::function<void(rec::TfrmFiltroHabRec&)> script);
  /// The filter of an account run: its due-date range (any when empty), the status chosen
  /// (0 every boleto, 2 the pending ones) and `account` alone, then confirmed.
  void filterAccount(const AccountRun& run, const std::string& account, int status);
  /// The filter confirmed with no due-date range: every boleto of the company is listed.
  void listAllDates();
  /// Opens the register (IniProc) and chooses the company: the filter runs. Throws
  /// host::OperationError when the register did not open or the filter did not complete.
  rec::TfrmHabContRec& open();

  ConsoleDialogs& dialogs() { return *dialogs_; }
  rec::HeadlessScreenHost& screens() { return *screens_; }

 private:
  std::string company_;
  std::shared_ptr<ConsoleDialogs> dialogs_;
  std::shared_ptr<rec::HeadlessScreenHost> screens_;
  host::HostScope host_;
};

/// A boleto named on the command line: branch and number, padded.
struct BoletoKey {
  std::string branch, number;
};
/// "0001/0000000012" (or the 14-digit key; codes may be short): refused with a validation
/// error naming `flag` otherwise.
BoletoKey parseBoletoKey(const std::string& text, const std::string& flag);
/// Puts the register's list on the boleto; false when it is not listed.
bool locate(rec::TfrmHabContRec& reg, const BoletoKey& k);
/// Marks every listed boleto of `account` (the emitted ones left out with `skipEmitted`), as
/// mark all does, without the discount questions; how many were marked.
size_t markAccount(rec::TfrmHabContRec& reg, const std::string& account, bool skipEmitted);

/// Runs a command's body: an operation error or a service refusal is printed on standard
/// error and gives the exit status 1.
int reportingErrors(const std::function<int()>& body);

}  // namespace cli
