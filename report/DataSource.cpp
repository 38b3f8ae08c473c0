#include "report/DataSource.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include "host/ClientDataset.h"
#include "host/Errors.h"

namespace report {

int DataTable::fieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i] == name) return static_cast<int>(i);
  return -1;
}

void MemoryDataSource::add(const std::string& name, DataTable table) {
  tables_[name] = std::move(table);
}

void MemoryDataSource::addDataset(const std::string& name, const host::ClientDataset& ds) {
  DataTable t;
  for (const auto& f : ds.fieldDefs()) t.fields.push_back(f.name);
  for (size_t r = 1; r <= ds.recordCount(); ++r) {
    std::vector<host::Value> row;
    row.reserve(t.fields.size());
    for (const auto& f : t.fields) row.push_back(ds.valueAt(r, f));
    t.rows.push_back(std::move(row));
  }
  add(name, std::move(t));
}

DataTable tableFromRows(const nlohmann::json& rows) {
  if (!rows.is_array()) throw std::invalid_argument("rows: expected an array of objects");
  DataTable t;
  for (const auto& row : rows) {
    if (!row.is_object()) throw std::invalid_argument("rows: expected an array of objects");
    for (const auto& [k, v] : row.items())
      if (t.fieldIndex(k) < 0) t.fields.push_back(k);
  }
  for (const auto& row : rows) {
    std::vector<host::Value> values(t.fields.size());
    for (const auto& [k, v] : row.items()) {
      host::Value& out = values[static_cast<size_t>(t.fieldIndex(k))];
      if (v.is_string())
        out = host::Value(v.get<std::string>());
      else if (v.is_number_integer())
        out = host::Value(v.get<int64_t>());
      else if (v.is_number())
        out = host::Value(v.get<double>());
      else if (v.is_boolean())
        out = host::Value(v.get<bool>());
      else if (!v.is_null())
        throw std::invalid_argument(
            fmt::format("rows: field {} holds neither a text, a number, "
                        "a boolean nor null",
                        k));
    }
    t.rows.push_back(std::move(values));
  }
  return t;
}

void MemoryDataSource::addPacket(const std::string& name, const nlohmann::json& packet) {
  if (packet.is_array()) {
    add(name, tableFromRows(packet));
    return;
  }
  host::ClientDataset ds(name);
  ds.loadPacket(packet);
  addDataset(name, ds);
}

void MemoryDataSource::open(const std::string& host, int port) {
  host_ = host;
  port_ = port;
  ++opens_;
  if (!reachable_)
    throw host::OperationError(
        fmt::format("Não foi possível conectar ao serviço de relatórios em {}:{}", host, port));
  connected_ = true;
}

DataTable MemoryDataSource::fetch(const std::string& dataset,
                                  const std::vector<DataBinding>& bindings) {
  if (!connected_)
    throw host::OperationError(
        fmt::format("Conexão de dados fechada ao ler o conjunto {}", dataset));
  auto it = tables_.find(dataset);
  if (it == tables_.end())
    throw host::OperationError(
        fmt::format("O serviço não conhece o conjunto de dados {}", dataset));
  const DataTable& all = it->second;
  std::vector<int> cols;
  for (const auto& b : bindings) {
    int c = all.fieldIndex(b.name);
    if (c < 0)
      throw host::OperationError(
          fmt::format("O conjunto de dados {} não tem o parâmetro {}", dataset, b.name));
    cols.push_back(c);
  }
  DataTable out;
  out.fields = all.fields;
  for (const auto& row : all.rows) {
    bool match = true;
    for (size_t i = 0; i < bindings.size() && match; ++i)
      match = row[static_cast<size_t>(cols[i])].asString() == bindings[i].value.asString();
    if (match) out.rows.push_back(row);
  }
  return out;
}

}  // namespace report
