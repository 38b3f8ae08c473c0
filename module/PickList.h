#pragma once
// The host's pick list over rows of codes and names.

#include <optional>
#include <string>
#include <string_view>

#include "host/ClientDataset.h"

namespace rec {

/// Shows the rows as "code - name" in the host's pick list; the code of the row picked,
/// nothing when the operator cancels.
std::optional<std::string> pickCode(const std::string& caption, const host::ClientDataset& rows,
                                    std::string_view codeField, std::string_view nameField);

}  // namespace rec
