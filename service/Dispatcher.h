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
#include "records/Methods.h"
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

  // The positional readers the dispatcher checks a call's arguments with (checkedArgs); a
  // handler reads its arguments by name from its method's declaration instead.
  /// Text argument `i` (null reads as ""), refused when it is not text or is longer than
  /// `maxSize` characters (0: no limit). `name` names it in the refusal.
  std::string text(size_t i, const std::string& name, int maxSize) const;
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

/// The arguments of a call checked against the method's declaration, in order: each of its
/// declared kind (null read as the kind's empty value) and no text longer than its size;
/// otherwise the call is refused ("ARG_TIPO", "ARG_TAMANHO").
std::vector<remote::Variant> checkedArgs(const CallContext& ctx, const rpc::MethodDecl& decl);

class Dispatcher final : public remote::Handler {
 public:
  Dispatcher(std::shared_ptr<Database> db, std::shared_ptr<const host::Clock> clock);

  /// Registers the handler of the method declared as `M` (records/Methods.h). Calls are
  /// checked against the declaration (count, kinds, sizes) and run as it says (reading or
  /// writing, company checked or not); the handler gets the arguments as an `M`, and the
  /// in-out arguments it `set`s go back to the caller. A method is registered once.
  template <class M, class Handler>
  void on(Handler handler) {
    static_assert(rpc::Declared::contains<M>,
                  "declare the method in records/Methods.h and list it in rpc::Declared");
    rpc::MethodDecl decl = rpc::describe<M>();
    addDeclared(decl, [decl, handler](CallContext& ctx) -> remote::Variant {
      M args = rpc::decode<M>(checkedArgs(ctx, decl));
      remote::Variant result = handler(ctx, args);
      for (auto& [i, v] : rpc::changedArgs(args)) ctx.setArg(i, std::move(v));
      return result;
    });
  }
  /// The declaration a registered method was added with; nullptr for one added without
  /// (`add`) or not registered.
  const rpc::MethodDecl* declarationOf(const std::string& object, const std::string& method) const;
  /// Every registered method, as (object, method).
  std::vector<std::pair<std::string, std::string>> methods() const;

  /// Registers `object`.`method` taking exactly `argCount` arguments, without a declaration:
  /// for the dispatcher's own tests; the service's methods are registered with `on`.
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
    bool checksCompany = true;
    std::optional<rpc::MethodDecl> decl;
  };
  void addDeclared(const rpc::MethodDecl& decl, Method fn);
  remote::Reply run(const Entry& entry, const std::string& op, const remote::Request& req);
  std::shared_ptr<Database> db_;
  std::shared_ptr<const host::Clock> clock_;
  std::map<std::string, std::map<std::string, Entry>> objects_;
  std::set<std::string> unchecked_;
};

/// Does `operatorCode` exist, active, with access to `company`?
bool operatorMayUse(Database& db, const std::string& operatorCode, const std::string& company);

}  // namespace service
