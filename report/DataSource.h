#pragma once
// The report data connection: where a report's datasets come from. The report opens it
// before each output and closes it afterwards, also when the output fails. The real one
// reads the application service; MemoryDataSource serves tables held in memory.

#include <map>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <utility>
#include <vector>

#include "host/Value.h"

namespace host {
class ClientDataset;
}

namespace report {

/// Rows of one dataset, read by field name.
struct DataTable {
  std::vector<std::string> fields;
  std::vector<std::vector<host::Value>> rows;

  /// Position of a field (exact name), or -1.
  int fieldIndex(std::string_view name) const;
};

/// One parameter binding of a dataset request: the service's parameter and its value.
struct DataBinding {
  std::string name;
  host::Value value;
};

class ReportDataSource {
 public:
  virtual ~ReportDataSource() = default;
  /// Connects to the service at host:port; throws host::OperationError when it cannot.
  virtual void open(const std::string& host, int port) = 0;
  /// Disconnects; harmless when not connected.
  virtual void close() noexcept = 0;
  virtual bool connected() const = 0;
  /// Fetches the named dataset with its bindings; throws host::OperationError naming the
  /// dataset when it is unknown or the connection fails.
  virtual DataTable fetch(const std::string& dataset, const std::vector<DataBinding>& bindings) = 0;
};

/// A data connection over tables held in memory: a request returns the rows of the named
/// table whose bound fields equal the bound values. `setReachable(false)` plays a dead
/// service.
class MemoryDataSource final : public ReportDataSource {
 public:
  void add(const std::string& name, DataTable table);
  /// The rows of a client dataset (its current filter and order).
  void addDataset(const std::string& name, const host::ClientDataset& dataset);
  /// A data packet (the client dataset's JSON form) or a plain array of row objects.
  void addPacket(const std::string& name, const nlohmann::json& packet);
  void setReachable(bool reachable) { reachable_ = reachable; }

  void open(const std::string& host, int port) override;
  void close() noexcept override { connected_ = false; }
  bool connected() const override { return connected_; }
  DataTable fetch(const std::string& dataset, const std::vector<DataBinding>& bindings) override;

  int openCount() const { return opens_; }
  const std::string& lastHost() const { return host_; }
  int lastPort() const { return port_; }

 private:
  std::map<std::string, DataTable> tables_;
  bool reachable_ = true;
  bool connected_ = false;
  int opens_ = 0;
  std::string host_;
  int port_ = 0;
};

/// A table from a plain JSON array of row objects: strings stay texts, numbers become
/// integers or floats, booleans and nulls stay what they are. Fields are the union of the
/// rows' keys in order of first appearance.
DataTable tableFromRows(const nlohmann::json& rows);

}  // namespace report
