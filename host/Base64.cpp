#include "host/Base64.h"

#include <sodium.h>

#include <stdexcept>

namespace host {

namespace {

constexpr int kVariant = sodium_base64_VARIANT_ORIGINAL;

void initSodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("libsodium could not be initialised");
}

}  // namespace

std::string Encode64(std::string_view bytes) {
  initSodium();
  std::string out(sodium_base64_encoded_len(bytes.size(), kVariant), '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                    bytes.size(), kVariant);
  out.resize(out.size() - 1);  // the terminating zero sodium writes
  return out;
}

std::string Decode64(std::string_view text) {
  initSodium();
  std::string out(text.size() / 4 * 3 + 3, '\0');
  size_t written = 0;
  const char* end = nullptr;
  const int rc = sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(),
                                   text.data(), text.size(), " \t\r\n", &written, &end, kVariant);
  // With `end` given, sodium stops quietly at the first character it does not take: the
  // whole text must have been taken.
  if (rc != 0 || end != text.data() + text.size())
    throw std::invalid_argument("Decode64: the text is not valid Base64");
  out.resize(written);
  return out;
}

}  // namespace host
