#include "host/Lookup.h"

#include <algorithm>
#include <set>

#include "host/ClientDataset.h"
#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/Errors.h"

namespace host {

std::vector<std::string> SplitLista(std::string_view list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    std::string item = AllTrim(std::string(list.substr(start, end - start)));
    if (!item.empty()) out.push_back(std::move(item));
    start = end + 1;
  }
  return out;
}

std::string JoinLista(const std::vector<std::string>& codes) {
  std::string out;
  for (const auto& c : codes) {
    if (c.empty()) continue;
    if (!out.empty()) out += ',';
    out += c;
  }
  return out;
}

std::optional<std::string> PesquisaLista(ClientDataset& source, std::string_view keyField,
                                         const std::string& title, const std::string& current) {
  const auto chosenBefore = SplitLista(current);
  const std::set<std::string> before(chosenBefore.begin(), chosenBefore.end());
  std::vector<std::string> items;
  std::vector<std::string> keys;
  std::vector<int> marked;
  source.first();
  while (!source.eof()) {
    std::string line;
    for (const auto& def : source.fieldDefs()) {
      if (!def.visible || def.name == "IDMARCADO") continue;
      if (!line.empty()) line += " | ";
      line += source.fieldByName(def.name).displayText();
    }
    std::string key = AllTrim(source.valueOf(keyField).asString());
    if (before.count(key) != 0) marked.push_back(static_cast<int>(keys.size()));
    items.push_back(std::move(line));
    keys.push_back(std::move(key));
    source.next();
  }
  auto picked = dialogs().pickMany(title, items, marked);
  if (!picked) return std::nullopt;
  std::vector<int> rows = *picked;
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::vector<std::string> codes;
  for (int r : rows) {
    BOLETO_CHECK(r >= 0 && static_cast<size_t>(r) < keys.size(), "pick outside the list");
    codes.push_back(keys[static_cast<size_t>(r)]);
  }
  return JoinLista(codes);
}

std::optional<std::string> PesquisaListaMsg(ClientDataset& source, std::string_view keyField,
                                            const std::string& title,
                                            const std::string& emptyMessage,
                                            const std::string& current) {
  if (!source.active() || source.isEmpty()) MensErro(emptyMessage);
  return PesquisaLista(source, keyField, title, current);
}

}  // namespace host
