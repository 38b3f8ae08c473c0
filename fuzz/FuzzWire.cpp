// The wire readers on any bytes: a request or a reply either reads or is refused with
// std::invalid_argument (or the JSON library's own error), never a crash; what reads is
// written again and reads back the same.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "remote/Wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const remote::Request r = remote::readRequest(text);
    const remote::Request again = remote::readRequest(remote::writeRequest(r));
    if (again.method != r.method || again.args.size() != r.args.size() || again.byRef != r.byRef)
      __builtin_trap();
    for (size_t i = 0; i < r.args.size(); ++i)
      if (!(again.args[i] == r.args[i])) __builtin_trap();
  } catch (const std::exception&) {
  }
  try {
    const remote::Reply r = remote::readReply(text);
    if (r.ok()) {
      const remote::Reply again = remote::readReply(remote::writeReply(r));
      if (!again.ok() || !(again.result == r.result)) __builtin_trap();
    }
  } catch (const std::exception&) {
  }
  return 0;
}
