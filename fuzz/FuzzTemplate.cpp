// The report template parser on any text: a template or a TemplateError, never a crash.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "report/Template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    report::parseTemplate(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.QR2");
  } catch (const report::TemplateError&) {
  }
  return 0;
}
