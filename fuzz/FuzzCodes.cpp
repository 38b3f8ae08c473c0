// The typed-line and barcode reader on any text: a verdict, never a crash; a code it finds
// valid has a barcode and a typed line that say the same.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/bank/Febraban.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto v = bank::VerificaCodigo(text, host::DateTime::fromYmd(2026, 3, 2));
  if (!v.valid) return 0;
  if (v.barcode.size() != 44 || v.typedLine.size() != 47) __builtin_trap();
  if (bank::LinhaDoCodigo(v.barcode) != v.typedLine) __builtin_trap();
  if (!bank::Vd_CodigoBarras(v.barcode)) __builtin_trap();
  return 0;
}
