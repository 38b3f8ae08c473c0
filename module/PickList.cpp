#include "module/PickList.h"

#include <vector>

#include "host/Dialogs.h"

namespace rec {

std::optional<std::string> pickCode(const std::string& caption, const host::ClientDataset& rows,
                                    std::string_view codeField, std::string_view nameField) {
  std::vector<std::string> items;
  for (size_t r = 1; r <= rows.recordCount(); ++r)
    items.push_back(rows.valueAt(r, codeField).asString() + " - " +
                    rows.valueAt(r, nameField).asString());
  auto picked = host::dialogs().pickList(caption, items);
  if (!picked || *picked < 0 || static_cast<size_t>(*picked) >= items.size()) return std::nullopt;
  return rows.valueAt(static_cast<size_t>(*picked) + 1, codeField).asString();
}

}  // namespace rec
