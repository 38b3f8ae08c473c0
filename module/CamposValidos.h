#pragma once
// The cleaning of texts that become parts of file names, shared by the screens that write
// boletos to files (register, emission, e-mail).

#include <string>
#include <string_view>

namespace rec {

/// Upper case, accented Latin letters folded to their base letter, only 0-9 and A-Z kept.
std::string CamposValidos(std::string_view text);

}  // namespace rec
