#pragma once
// The working context the host gives the module: who works, for which company and branch,
// on which processing date, and where the remote service and the report directory are.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/DateTime.h"

namespace host {

/// The host's context services. One instance is installed for the process with the other
/// ports (host/Host.h); tests install their own.
class Context {
 public:
  virtual ~Context() = default;
  virtual std::string EmprProc() const = 0;  ///< company code (2)
  virtual std::string FiliProc() const = 0;  ///< branch code (4)
  /// The module works per branch: each branch sees its own boletos only.
  virtual bool ModuFili() const = 0;
  /// Processing date of a branch (the context's branch when `branch` is empty).
  virtual DateTime DataProc(const std::string& branch = {}) const = 0;
  virtual std::string Operador() const = 0;   ///< operator code
  virtual std::string ReportDir() const = 0;  ///< report directory, with a trailing separator
  virtual int WebPort() const = 0;
  virtual std::string WebURL() const = 0;
  /// May the operator work on the company?
  virtual bool AcessoOperEmpresa(const std::string& oper, const std::string& company) const = 0;
  /// Is `date` locked for `module` (a date before the module's locked processing date)?
  virtual bool DtProcBloq(const std::string& module, const std::string& oper,
                          const DateTime& date) const = 0;
  /// The serial device the generation notifies of each text file ("USB001" on the host's
  /// machines); empty: none.
  virtual std::string DispositivoSerial() const { return {}; }
  /// Where the diagnostic log of the device notices goes, with a trailing separator (the
  /// program's own directory is not writable on an installed system): the report directory
  /// unless set.
  virtual std::string LogDir() const { return ReportDir(); }
  /// Where the host's other packages are loaded from (`LoadBPL`); empty: beside the program.
  virtual std::string PackageDir() const { return {}; }
};

/// Context settings read from a file of "key = value" lines or from command-line pairs.
struct ContextSettings {
  std::string company = "04";
  std::string branch = "0001";
  bool branchModule = false;               ///< the module works per branch (ModuFili)
  std::optional<DateTime> processingDate;  ///< empty: the clock's today
  std::map<std::string, DateTime> branchProcessingDates;
  std::string operatorCode = "demo";
  std::string reportDir = "./reports/";
  std::string webUrl = "127.0.0.1";
  int webPort = 8211;
  /// Companies the operator may use; empty means every company.
  std::set<std::string> companies;
  /// Locked processing dates per module ("REC" ...): dates before them are locked.
  std::map<std::string, DateTime> lockedBefore;
  std::string serialDevice;  ///< the generation's serial device ("USB001"); empty: none
  std::string logDir;        ///< the device notices' log; empty: the report directory
  std::string packageDir;    ///< the host's packages (LoadBPL); empty: beside the program

  /// Applies one setting; throws std::invalid_argument naming an unknown key or a bad value.
  /// Keys: company, branch, branch-module (S/N), processing-date (dd/mm/yyyy or yyyy-mm-dd),
  /// processing-date.<branch>, operator, report-dir, web-url, web-port, companies (a;b),
  /// locked-before.<module>, serial-device, log-dir, package-dir.
  void set(const std::string& key, const std::string& value);
  /// Reads "key = value" lines ('#' starts a comment); throws naming the file and line.
  static ContextSettings fromFile(const std::string& path);
};

/// A context answering from settings; the access answer may be replaced (the service's).
/// Without a processing date in the settings, `DataProc` is the installed clock's today.
class ConfiguredContext final : public Context {
 public:
  explicit ConfiguredContext(ContextSettings settings);
  ContextSettings& settings() { return settings_; }
  const ContextSettings& settings() const { return settings_; }

  std::string EmprProc() const override { return settings_.company; }
  std::string FiliProc() const override { return settings_.branch; }
  bool ModuFili() const override { return settings_.branchModule; }
  DateTime DataProc(const std::string& branch = {}) const override;
  std::string Operador() const override { return settings_.operatorCode; }
  std::string ReportDir() const override;
  int WebPort() const override { return settings_.webPort; }
  std::string WebURL() const override { return settings_.webUrl; }
  bool AcessoOperEmpresa(const std::string& oper, const std::string& company) const override;
  bool DtProcBloq(const std::string& module, const std::string& oper,
                  const DateTime& date) const override;
  std::string DispositivoSerial() const override { return settings_.serialDevice; }
  std::string LogDir() const override;
  std::string PackageDir() const override { return settings_.packageDir; }

 private:
  ContextSettings settings_;
};

/// The process's context. Throws InvariantError when none was installed.
Context& context();

/// "Now" and "today" as the installed clock tells them (host/Host.h): the module never reads
/// the machine's clock itself, so that a test can fix the day. InvariantError when no clock
/// was installed.
DateTime Now();
DateTime Today();

// The host's free functions, answering from the installed context.
inline std::string EmprProc() {
  return context().EmprProc();
}
inline std::string FiliProc() {
  return context().FiliProc();
}
inline bool ModuFili() {
  return context().ModuFili();
}
inline DateTime DataProc(const std::string& branch = {}) {
  return context().DataProc(branch);
}
inline std::string Operador() {
  return context().Operador();
}
inline std::string ReportDir() {
  return context().ReportDir();
}
inline int WebPort() {
  return context().WebPort();
}
inline std::string WebURL() {
  return context().WebURL();
}
inline bool AcessoOperEmpresa(const std::string& oper, const std::string& company) {
  return context().AcessoOperEmpresa(oper, company);
}
inline bool DtProcBloq(const std::string& module, const std::string& oper, const DateTime& date) {
  return context().DtProcBloq(module, oper, date);
}

}  // namespace host
