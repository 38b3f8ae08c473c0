#pragma once
// The report data connection over the application service: each dataset a template declares
// is asked of the server object "Qrd.rdmQRDesign" (`GetDataSet`) with its bindings.

#include <memory>
#include <string>
#include <vector>

#include "remote/Connection.h"
#include "report/DataSource.h"

namespace report {

class RemoteDataSource final : public ReportDataSource {
 public:
  /// `factory` says how the service is reached; none: the process's default transport, as
  /// the module's own connection uses.
  explicit RemoteDataSource(std::shared_ptr<remote::TransportFactory> factory = {});

  /// Connects to the service at exactly `host`:`port` (what the report was handed from
  /// WebURL() and WebPort()); throws host::OperationError saying where it failed.
  void open(const std::string& host, int port) override;
  void close() noexcept override;
  bool connected() const override { return connection_.connected(); }
  /// The company the datasets are read for, when a screen works on another one than the
  /// host's current company (the register's company panel); empty: the host's.
  void setCompany(std::string company) { connection_.setCompany(std::move(company)); }
  /// A refusal of the service or a failed call throws host::OperationError naming the
  /// dataset (the service's message key is the error's key).
  DataTable fetch(const std::string& dataset, const std::vector<DataBinding>& bindings) override;

 private:
  std::shared_ptr<remote::TransportFactory> factory_;
  remote::Connection connection_;
};

/// A data packet (the client dataset's JSON form) as a table; throws std::invalid_argument
/// for a malformed packet.
DataTable tableFromPacket(const nlohmann::json& packet);

}  // namespace report
