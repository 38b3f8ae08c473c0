#include <gtest/gtest.h>

#include <stdexcept>

#include "host/Base64.h"

using host::Decode64;
using host::Encode64;

TEST(Base64, KnownAnswersOfRfc4648) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(Encode64(plain), encoded);
    EXPECT_EQ(Decode64(encoded), plain);
  }
}

TEST(Base64, EveryByteValueSurvivesTheRoundTrip) {
  std::string bytes;
  for (int i = 0; i < 256 * 3 + 1; ++i) bytes += static_cast<char>(i * 31 & 0xff);
  EXPECT_EQ(Decode64(Encode64(bytes)), bytes);
}

TEST(Base64, LineBreaksAndBlanksOfWritersAreTaken) {
  EXPECT_EQ(Decode64("Zm9v\r\nYmFy\n"), "foobar");
  EXPECT_EQ(Decode64("  Zm9vYmE=\t"), "fooba");
}

TEST(Base64, MalformedTextIsRefusedNeverDecodedInPart) {
  for (const char* bad : {"Zm9vYmF", "Zm9vYg", "Zm9v!mFy", "Zm9vYmFy=", "Zm8=Zm8=x",
                          "Zm9v-_==", "=Zm9v", "Zm9vYmE=garbage"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(Decode64(bad), std::invalid_argument);
  }
}
