#include "module/CamposValidos.h"

#include "host/Consiste.h"

namespace rec {

std::string CamposValidos(std::string_view text) {
  // Fold by code point after upper-casing, so both cases of Latin-1 letters are covered.
  const std::string upper = host::UpperCase(text);
  std::string out;
  for (size_t i = 0; i < upper.size();) {
    const auto c = static_cast<unsigned char>(upper[i]);
    if (c < 0x80) {
      if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) out += static_cast<char>(c);
      ++i;
      continue;
    }
    if ((c & 0xE0) == 0xC0 && i + 1 < upper.size()) {
      const unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(upper[i + 1]) & 0x3Fu);
      i += 2;
      if (cp >= 0xC0 && cp <= 0xC4)
        out += 'A';
      else if (cp == 0xC7)
        out += 'C';
      else if (cp >= 0xC8 && cp <= 0xCB)
        out += 'E';
      else if (cp >= 0xCC && cp <= 0xCF)
        out += 'I';
      else if (cp >= 0xD2 && cp <= 0xD6)
        out += 'O';
      else if (cp >= 0xD9 && cp <= 0xDC)
        out += 'U';
      continue;
    }
    // Other multi-byte characters are dropped whole.
    ++i;
    while (i < upper.size() && (static_cast<unsigned char>(upper[i]) & 0xC0) == 0x80) ++i;
  }
  return out;
}

}  // namespace rec
