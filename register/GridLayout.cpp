#include "register/GridLayout.h"

#include <cctype>

#include "host/ClientDataset.h"
#include "host/Screen.h"
#include "records/Tables.h"

namespace rec {

std::string columnLayout(std::string_view txVisuBolRec) {
  if (txVisuBolRec.empty()) return std::string(kDefaultGridLayout);
  std::string layout(txVisuBolRec);
  if (layout.find("NRCNABRECREM") == std::string::npos) layout += kRemittanceColumns;
  return layout;
}

std::optional<GridLayoutEntry> GridLayoutEntry::parse(std::string_view entry) {
  // The field name may itself hold "_" (NF_ORCAMENTO): read the fixed tail from the right.
  if (entry.size() < 7 || entry[entry.size() - 6] != '_') return std::nullopt;
  const std::string_view digits = entry.substr(entry.size() - 5, 3);
  int width = 0;
  for (char c : digits) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
    width = width * 10 + (c - '0');
  }
  GridLayoutEntry e;
  e.field = std::string(entry.substr(0, entry.size() - 6));
  e.width = width;
  e.visible = entry[entry.size() - 2] == 'S';
  e.order = entry[entry.size() - 1];
  return e;
}

void createVisualiza(host::ClientDataset& cdsVisualiza) {
  if (cdsVisualiza.active()) cdsVisualiza.close();
  cdsVisualiza.setFieldDefs(records::cdsVisualiza().fields());
  cdsVisualiza.createDataset();
  cdsVisualiza.addIndex({.name = "idxOrdem", .fields = "ORDEM"});
  cdsVisualiza.setIndexName("idxOrdem");
}

void parseColumnLayout(std::string layout, host::ClientDataset& cdsVisualiza) {
  size_t hash;
  while ((hash = layout.find('#')) != std::string::npos) {
    const auto entry = GridLayoutEntry::parse(std::string_view(layout).substr(0, hash));
    if (entry) {
      cdsVisualiza.append();
      cdsVisualiza.fieldByName("FIELD").setString(entry->listField());
      cdsVisualiza.fieldByName("VISUALIZA").setString(entry->visible ? "S" : "N");
      cdsVisualiza.fieldByName("ORDEM").setString(std::string(1, entry->order));
      cdsVisualiza.fieldByName("TAMANHO").setValue(host::Value(int64_t{entry->width}));
      cdsVisualiza.post();
    }
    layout.erase(0, hash + 1);
  }
}

void applyColumnLayout(host::ClientDataset& cdsVisualiza, host::GridControl& grid,
                       host::ClientDataset& list) {
  size_t next = grid.IndiceCol("IDMARCADO") == 0 ? 1 : 0;
  cdsVisualiza.first();
  while (!cdsVisualiza.eof()) {
    const std::string field = cdsVisualiza.valueOf("FIELD").asString();
    const int at = grid.IndiceCol(field);
    if (at >= 0) {
      const bool shown = cdsVisualiza.valueOf("VISUALIZA").asString() == "S";
      if (shown) {
        if (next < grid.columns().size()) grid.moveColumn(static_cast<size_t>(at), next);
        grid.column(field).width = static_cast<int>(cdsVisualiza.valueOf("TAMANHO").asInteger());
        ++next;
      }
      grid.column(field).visible = shown;
      if (list.fieldIndex(field) >= 0) list.fieldDef(field).visible = shown;
    }
    cdsVisualiza.next();
  }
  // The mark column is the operator's handle on the batch operations: always first.
  if (const int mark = grid.IndiceCol("IDMARCADO"); mark > 0)
    grid.moveColumn(static_cast<size_t>(mark), 0);
  grid.setColumns(grid.columns());  // one refresh for the view
}

}  // namespace rec
