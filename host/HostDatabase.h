#pragma once
// Direct queries on the host's database: a query declared once under a name, run with named
// parameters, its rows handed back in a client dataset. The module never sees SQL; an adapter
// (the service's own copy, or a local database) runs the declaration.

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/ClientDataset.h"
#include "host/Value.h"

namespace host {

/// Named parameter values of one run, in the order they were set.
using QueryParams = std::vector<std::pair<std::string, Value>>;

/// The port. Implementations answer from the declarations of the direct-query library.
class HostDatabase {
 public:
  virtual ~HostDatabase() = default;
  /// Runs the query declared as `name`: its rows in a dataset with the declared fields, in
  /// browse state with the cursor on the first row. An unknown query or parameter, or a
  /// failing database, throws (OperationError or ServiceError) saying which.
  virtual std::unique_ptr<ClientDataset> run(const std::string& name,
                                             const QueryParams& params) = 0;
  /// The parameter names the query `name` declares; OperationError when there is no such query.
  virtual std::vector<std::string> parameterNames(const std::string& name) const = 0;
};

/// The process's direct-query database (host/Host.h); OperationError when none was set.
HostDatabase& hostDatabase();

/// The host's query component: a declared query opened with parameters set by name.
class TADOIBQuery {
 public:
  /// One parameter; assigning a value sets it for the next Open.
  class Param {
   public:
    Param& operator=(Value v) {
      value_ = std::move(v);
      return *this;
    }
    const Value& value() const { return value_; }
    Value AsValue() const { return value_; }

   private:
    Value value_;
  };

  /// `queryName` names a declaration ("qryEmpresa"); nothing runs until Open.
  explicit TADOIBQuery(std::string queryName);

  const std::string& name() const { return name_; }
  /// The parameter `name` (unset parameters are null). A name the query does not declare
  /// throws OperationError naming both.
  Param& ParamByName(const std::string& name);
  /// Runs the query with the parameters as set; the rows replace any earlier ones.
  void Open();
  void Close();
  bool Active() const { return rows_ != nullptr && rows_->active(); }
  /// True when closed or without rows.
  bool IsEmpty() const { return !Active() || rows_->isEmpty(); }
  /// The current row's value of `field`; OperationError when the query is closed or has no
  /// such field.
  Value FieldByName(const std::string& field) const;
  /// The rows (for pick lists); OperationError when the query is closed.
  ClientDataset& dataset();

 private:
  std::string name_;
  std::vector<std::string> declared_;
  std::map<std::string, Param> params_;
  std::vector<std::string> order_;
  std::unique_ptr<ClientDataset> rows_;
};

}  // namespace host
