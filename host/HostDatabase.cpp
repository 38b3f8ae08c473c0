#include "host/HostDatabase.h"

#include <fmt/format.h>

#include <algorithm>

#include "host/Errors.h"

namespace host {

TADOIBQuery::TADOIBQuery(std::string queryName) : name_(std::move(queryName)) {}

TADOIBQuery::Param& TADOIBQuery::ParamByName(const std::string& name) {
  if (auto it = params_.find(name); it != params_.end()) return it->second;
  // The declaration is asked once, on the first parameter set.
  if (declared_.empty()) declared_ = hostDatabase().parameterNames(name_);
  if (std::find(declared_.begin(), declared_.end(), name) == declared_.end())
    throw OperationError(fmt::format("Query {} has no parameter {}.", name_, name));
  order_.push_back(name);
  return params_[name];
}

void TADOIBQuery::Open() {
  QueryParams params;
  for (const auto& n : order_) params.emplace_back(n, params_.at(n).value());
  rows_ = hostDatabase().run(name_, params);
}

void TADOIBQuery::Close() {
  rows_.reset();
}

Value TADOIBQuery::FieldByName(const std::string& field) const {
  if (!Active()) throw OperationError(fmt::format("Query {} is not open.", name_));
  if (rows_->fieldIndex(field) < 0)
    throw OperationError(fmt::format("Query {} has no field {}.", name_, field));
  return rows_->valueOf(field);
}

ClientDataset& TADOIBQuery::dataset() {
  if (!rows_) throw OperationError(fmt::format("Query {} is not open.", name_));
  return *rows_;
}

}  // namespace host
