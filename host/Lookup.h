#pragma once
// The host's look-ups: the multi-selection search that fills a criterion's list of codes,
// and the list text those codes travel in.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

class ClientDataset;

/// The codes of a list text: separated by commas, blanks trimmed, empty items dropped.
std::vector<std::string> SplitLista(std::string_view list);
/// The list text of some codes ("0001,0002"), as the service reads it.
std::string JoinLista(const std::vector<std::string>& codes);

/// The multi-selection search over `source`: each row offered as the texts of its visible
/// fields, the rows whose `keyField` is already in `current` ticked. Gives the chosen codes
/// as a list text in the order of the rows, or nothing when the operator cancelled.
std::optional<std::string> PesquisaLista(ClientDataset& source, std::string_view keyField,
                                         const std::string& title, const std::string& current);

/// The same, raising `emptyMessage` (a text, already resolved) when the source has no row.
std::optional<std::string> PesquisaListaMsg(ClientDataset& source, std::string_view keyField,
                                            const std::string& title,
                                            const std::string& emptyMessage,
                                            const std::string& current);

}  // namespace host
