// The Pix text of a hybrid boleto: built when the boleto of an account with a key gets its
// codes, or the one the bank returned; never changed once stored.

#include <gtest/gtest.h>

#include <cmath>

#include "ServiceFixture.h"
#include "host/Pix.h"

using remote::Variant;
namespace pix = host::pix;

namespace {

const std::string kBars = "00191166600001234560000001234567000000012317";

class PixBoleto : public service::testing::SeededService {
 protected:
  void SetUp() override {
    SeededService::SetUp();
    key_ = pending("002");
    ASSERT_EQ(key_.size(), 14u) << "the demo data have a pending boleto on account 002";
  }
  /// A boleto of company 04 on `account` that has no barcode yet.
  std::string pending(const std::string& account) {
    std::string key;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << "SELECT CDFILIAL || NRLANBOLREC FROM BOLRECEBER WHERE CDEMPRESA = "
                           "'04' AND CDREDUCONT = :a AND (CDBARRAREC IS NULL OR CDBARRAREC = '') "
                           "ORDER BY CDFILIAL, NRLANBOLREC LIMIT 1",
        soci::use(account), soci::into(key, ind);
    return ind == soci::i_ok ? key : "";
  }
  std::string column(const std::string& name, const std::string& key) {
    std::string v;
    soci::indicator ind = soci::i_null;
    svc_->db->session() << "SELECT " + name + " FROM BOLRECEBER WHERE CDFILIAL = '" +
                               key.substr(0, 4) + "' AND NRLANBOLREC = '" + key.substr(4) + "'",
        soci::into(v, ind);
    return ind == soci::i_ok ? v : "";
  }
  int64_t cents(const std::string& key) {
    double v = 0;
    svc_->db->session() << "SELECT VRFINALBREC FROM BOLRECEBER WHERE CDFILIAL = '" +
                               key.substr(0, 4) + "' AND NRLANBOLREC = '" + key.substr(4) + "'",
        soci::into(v);
    return std::llround(v * 100.0);
  }
  /// SetCodBarra with the boleto's own nosso número, or a new one when it has none.
  remote::Reply number(const std::string& key, const std::string& account) {
    std::string nosso = column("CDNOSNUMREC", key);
    if (nosso.empty()) nosso = "NN" + key;
    return call("SetCodBarra",
                {Variant(""), Variant(kBars), Variant(nosso), Variant(key.substr(0, 4)),
                 Variant(key.substr(4)), Variant(""), Variant("2"), Variant(account)});
  }
  remote::Reply bankText(const std::string& key, const std::string& text) {
    return call("SetPixBoleto", {Variant(key.substr(0, 4)), Variant(key.substr(4)), Variant(text)},
                {true, true, true});
  }
  void setAccountKey(const std::string& key) {
    svc_->db->session() << "UPDATE CONTCORR SET DSCHAVEPIX = :k WHERE CDEMPRESA = '04' AND "
                           "CDREDUCONT = '002'",
        soci::use(key);
  }
  std::string key_;
};

TEST_F(PixBoleto, BuiltWhenTheBoletoGetsItsCodesAndNeverChanged) {
  EXPECT_EQ(column("DSPIXBOLREC", key_), "");
  ASSERT_TRUE(number(key_, "002").ok());
  const std::string text = column("DSPIXBOLREC", key_);
  const pix::Decoded d = pix::decode(text);
  ASSERT_TRUE(d.valid) << text << ": " << d.reason;
  std::string companyCnpj;
  svc_->db->session() << "SELECT NRINSJUREMPR FROM EMPRESA WHERE CDEMPRESA = '04'",
      soci::into(companyCnpj);
  EXPECT_EQ(d.key, companyCnpj);
  EXPECT_EQ(d.keyKind, pix::KeyKind::Cnpj);
  ASSERT_TRUE(d.cents.has_value());
  EXPECT_EQ(*d.cents, cents(key_));
  EXPECT_EQ(d.txid, key_);
  EXPECT_EQ(d.merchantName, "Comercial Exemplo Ltda");
  EXPECT_FALSE(d.merchantCity.empty());
  EXPECT_EQ(d.crc, pix::crc16Hex(text.substr(0, text.size() - 4)));

  // Another key on the account, the codes sent again, a text offered by the bank: the printed
  // text stays.
  setAccountKey("123e4567-e12b-12d1-a456-426655440000");
  ASSERT_TRUE(number(key_, "002").ok());
  EXPECT_EQ(column("DSPIXBOLREC", key_), text);
  const pix::Built other =
      pix::buildStatic({"123e4567-e12b-12d1-a456-426655440000", cents(key_), "X", "Y", "", ""});
  const remote::Reply r = bankText(key_, other.text);
  EXPECT_EQ(r.key, "PIX_JA_CAD");
  EXPECT_EQ(column("DSPIXBOLREC", key_), text);
  const remote::Reply same = bankText(key_, text);
  ASSERT_TRUE(same.ok()) << same.text;
  EXPECT_EQ(same.result.asInteger(), 0);
}

TEST_F(PixBoleto, AnAccountWithoutKeyPrintsNoPix) {
  const std::string plain = pending("001");
  ASSERT_FALSE(plain.empty());
  ASSERT_TRUE(number(plain, "001").ok());
  EXPECT_EQ(column("CDBARRAREC", plain), kBars);
  EXPECT_EQ(column("DSPIXBOLREC", plain), "");
}

TEST_F(PixBoleto, TheBanksTextIsKeptWhenItFitsTheBoleto) {
  const std::string random = "123e4567-e12b-12d1-a456-426655440000";
  // Refused, and nothing stored: a broken text, a charge of another amount.
  std::string broken = pix::buildStatic({random, cents(key_), "Banco", "Recife", "", ""}).text;
  broken.back() = broken.back() == '0' ? '1' : '0';
  EXPECT_EQ(bankText(key_, broken).key, "PIX_INVALIDO");
  EXPECT_EQ(bankText(key_, pix::buildStatic({random, cents(key_) + 1, "B", "R", "", ""}).text).key,
            "PIX_VALOR");
  EXPECT_EQ(column("DSPIXBOLREC", key_), "");

  // A text without an amount (the payer types it) or with the boleto's: kept, and the emission
  // prints it instead of one of its own.
  const std::string banks =
      pix::buildStatic({random, cents(key_), "Banco Exemplo", "Recife", "ABC123", ""}).text;
  const remote::Reply r = bankText(key_, banks);
  ASSERT_TRUE(r.ok()) << r.text;
  EXPECT_EQ(r.result.asInteger(), 1);
  ASSERT_TRUE(number(key_, "002").ok());
  EXPECT_EQ(column("DSPIXBOLREC", key_), banks);
  EXPECT_EQ(bankText("9999" + key_.substr(4), banks).key, "BOL_NAO_ENC");
}

TEST_F(PixBoleto, AMalformedAccountKeyStopsTheNumberingWithItsReason) {
  setAccountKey("fulano@");
  const remote::Reply r = number(key_, "002");
  EXPECT_EQ(r.key, "PIX_CHAVE");
  EXPECT_NE(r.text.find("fulano@"), std::string::npos) << r.text;
  // The whole call is undone: no barcode without its Pix.
  EXPECT_EQ(column("CDBARRAREC", key_), "");
  EXPECT_EQ(column("DSPIXBOLREC", key_), "");
}

}  // namespace
