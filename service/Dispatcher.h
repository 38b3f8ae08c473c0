#pragma once
// Server objects and their methods by exact name; each call runs in one transaction and its
// arguments are checked before anything is written.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "remote/Wire.h"
#include "service/Database.h"

namespace service {

/// A refusal: the call ends, nothing it wrote is kept, and the caller gets `key`.
class Refusal : public std::runtime_error {
 public:
  Refusal(std::string key, const std::string& text)
      : std::runtime_error(text), key_(std::move(key)) {}
  const std::string& key() const { return key_; }

 private:
  std::string key_;
};

/// What a method sees of its call: the operator, the company, checked arguments and the
/// open transaction.
class CallContext {
 public:
  CallContext(Database& db, const host::Clock& clock, const std::string& op,
              const remote::Request& req);

  soci::session& sql() { return db_.session(); }
  Database& database() { return db_; }
  Dialect dialect() const { return db_.dialect(); }
  const std::string& operatorCode() const { return operator_; }
  /// The service's "now" and "today" (its clock, never the machine's directly).
  host::DateTime now() const { return clock_.now(); }
  host::DateTime today() const { return clock_.today(); }
  /// The caller's company; refused when the call carries none.
  const std::string& company() const;
  const std::string& method() const { return request_.method; }
  size_t argCount() const { return args_.size(); }

  /// Text argument `i` (null reads as ""), refused when it is not text or is longer than
  /// the field allows. `field` names it in the refusal.
  std::string text(size_t i, const host::FieldDef& field) const;
  std::string text(size_t i, const std::string& name, int maxSize) const;
  /// Text argument of a code padded with leading zeros to the field width.
  std::string code(size_t i, const host::FieldDef& field) const;
  double number(size_t i, const std::string& name) const;
  int64_t integer(size_t i, const std::string& name) const;
  bool boolean(size_t i, const std::string& name) const;
  /// Date argument; null gives nothing.
  std::optional<host::DateTime> date(size_t i, const std::string& name) const;
  const nlohmann::json& packet(size_t i, const std::string& name) const;
  const remote::Variant& arg(size_t i) const { return args_.at(i); }

  /// Changes argument `i`; the caller sees it when it passed it by reference.
  void setArg(size_t i, remote::Variant v);
  const std::vector<std::pair<size_t, remote::Variant>>& changedArgs() const { return changed_; }

  /// May the caller's operator use `company`? Refuses with "ACESSO_EMPRESA" otherwise.
  void requireCompany(const std::string& company) const;

 private:
  [[noreturn]] void wrongKind(size_t i, const std::string& name, const char* wanted) const;
  Database& db_;
  const host::Clock& clock_;
  std::string operator_;
  const remote::Request& request_;
  std::vector<remote::Variant> args_;
  std::vector<std::pair<size_t, remote::Variant>> changed_;
};

/// A method: reads its arguments from the context, returns its result or throws Refusal.
using Method = std::function<remote::Variant(CallContext&)>;

class Dispatcher final : public remote::Handler {
 public:
  Dispatcher(std::shared_ptr<Database> db, std::shared_ptr<const host::Clock> clock);

  /// Registers `object`.`method` taking exactly `argCount` arguments.
  void add(const std::string& object, const std::string& method, size_t argCount, Method fn);
  /// The methods of `object` answer about access itself: the caller's company is not checked
  /// before they run.
  void skipCompanyCheck(const std::string& object) { unchecked_.insert(object); }
  /// `object`.`method` (already added) only reads: its calls run on a reading session of
  /// their own, beside other calls, instead of waiting for the writers' session.
  void setReadOnly(const std::string& object, const std::string& method);

  remote::Reply handle(const std::string& operatorCode, const remote::Request& request) override;

  Database& database() { return *db_; }

 private:
  struct Entry {
    size_t argCount;
    Method fn;
    bool readOnly = false;
  };
  remote::Reply run(const Entry& entry, const std::string& op, const remote::Request& req);
  std::shared_ptr<Database> db_;
  std::shared_ptr<const host::Clock> clock_;
  std::map<std::string, std::map<std::string, Entry>> objects_;
  std::set<std::string> unchecked_;
};

/// Does `operatorCode` exist, active, with access to `company`?
bool operatorMayUse(Database& db, const std::string& operatorCode, const std::string& company);

}  // namespace service
