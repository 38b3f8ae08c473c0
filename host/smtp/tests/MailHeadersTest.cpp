#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "host/Base64.h"
#include "host/smtp/MailHeaders.h"

using namespace host::smtp;
using ::testing::ElementsAre;

namespace {

/// The encoded words of a header text, each checked against RFC 2047's limits.
std::vector<std::string> wordsOf(const std::string& encoded) {
  std::vector<std::string> words;
  static const std::regex word(R"(=\?UTF-8\?B\?([A-Za-z0-9+/=]*)\?=)");
  for (std::sregex_iterator it(encoded.begin(), encoded.end(), word), end; it != end; ++it) {
    EXPECT_LE(it->str().size(), 75u);
    words.push_back(host::Decode64((*it)[1].str()));
  }
  return words;
}

bool validUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80) return false;
    i += n;
  }
  return true;
}

}  // namespace

TEST(HeaderText, ShortAsciiStaysAndTheRestBecomesWordsThatNeverSplitACharacter) {
  EXPECT_EQ(encodeHeaderText("Envio de Boleto"), "Envio de Boleto");
  for (const std::string& text :
       {std::string("Envio de Boleto — março"), std::string(200, 'x'), std::string("=?já?="),
        std::string("ção") + std::string(60, 'a') + "ÇÃO€€€€€€€€€€€€€€€€€€€€€€€€€😀😀😀😀😀😀"}) {
    const std::string encoded = encodeHeaderText(text);
    EXPECT_EQ(encoded.find_first_of("\r\n") == std::string::npos, encoded.size() <= 75);
    std::string joined;
    for (const auto& w : wordsOf(encoded)) {
      EXPECT_TRUE(validUtf8(w)) << w;
      joined += w;
    }
    EXPECT_EQ(joined, text);
  }
}

TEST(HeaderText, DisplayNamesAreAtomsQuotedOrEncoded) {
  EXPECT_EQ(formatMailbox("", "a@b.example"), "a@b.example");
  EXPECT_EQ(formatMailbox("Contas a receber", "a@b.example"), "Contas a receber <a@b.example>");
  EXPECT_EQ(formatMailbox("Silva, J. \"Jr\"", "a@b.example"),
            "\"Silva, J. \\\"Jr\\\"\" <a@b.example>");
  EXPECT_EQ(formatMailbox("São", "a@b.example"), "=?UTF-8?B?U8Ojbw==?= <a@b.example>");
}

TEST(HeaderText, LineBreaksAndControlCharactersAreRefused) {
  EXPECT_NO_THROW(checkHeaderText("subject", "Boleto\tde março"));
  EXPECT_THROW(checkHeaderText("subject", "a\rb"), std::invalid_argument);
  EXPECT_THROW(checkHeaderText("subject", "a\nb"), std::invalid_argument);
  EXPECT_THROW(checkHeaderText("subject", std::string("a\x7f")), std::invalid_argument);
  EXPECT_THROW(checkEnvelopeAddress("recipient", " "), std::invalid_argument);
  EXPECT_THROW(checkEnvelopeAddress("recipient", "a b@c.example"), std::invalid_argument);
}

TEST(AddressLists, CommasAndSemicolonsSplitAndBlanksGo) {
  EXPECT_THAT(splitAddresses(" a@x.example; b@x.example ,c@x.example;; "),
              ElementsAre("a@x.example", "b@x.example", "c@x.example"));
  EXPECT_TRUE(splitAddresses(" ; ").empty());
}

TEST(AttachmentNames, RepeatedNamesGetTheFirstFreeSuffix) {
  EXPECT_EQ(distinctFileName("a.pdf", {}), "a.pdf");
  EXPECT_EQ(distinctFileName("A.PDF", {"a.pdf"}), "A_2.PDF");
  EXPECT_EQ(distinctFileName("a.pdf", {"a.pdf", "a_2.pdf", "A_3.pdf"}), "a_4.pdf");
  EXPECT_EQ(distinctFileName("LEIA", {"leia"}), "LEIA_2");
  EXPECT_EQ(contentTypeFor("x.PDF"), "application/pdf");
  EXPECT_EQ(contentTypeFor("x"), "application/octet-stream");
}

TEST(MailDate, IsRfc5322) {
  EXPECT_TRUE(std::regex_match(
      formatDate(1'800'000'000),
      std::regex(
          R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d [+-]\d{4})")));
}
