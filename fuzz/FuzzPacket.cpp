// The quick packet reader on any bytes: it reads a packet or declines (nothing), never
// crashes; a packet it reads loads into a dataset and is written and read back the same.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/ClientDataset.h"
#include "host/ClientDatasetPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t end = 0;
  auto packet = host::DataPacket::readJson(text, 0, end);
  if (!packet) return 0;
  if (end > text.size()) __builtin_trap();
  std::string written;
  try {
    packet->writeJson(written);
  } catch (const std::invalid_argument&) {
    return 0;  // a text that is not UTF-8 is refused on the way out
  }
  size_t again = 0;
  auto back = host::DataPacket::readJson(written, 0, again);
  if (!back || !(*back == *packet)) __builtin_trap();
  try {
    host::ClientDataset ds("fuzz");
    ds.loadPacked(*packet);
    for (ds.first(); !ds.eof(); ds.next()) {
      for (size_t i = 0; i < ds.fieldCount(); ++i) (void)ds.field(i).value();
    }
  } catch (const std::exception&) {
  }
  return 0;
}
