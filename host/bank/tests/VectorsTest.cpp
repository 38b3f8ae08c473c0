// Known answers of every bank, read from vectors.tsv (each row names its public source).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/Consiste.h"
#include "host/bank/BankLayout.h"
#include "host/bank/Febraban.h"
#include "host/bank/Template.h"

namespace {

struct Vector {
  std::string source, bank, agency, account, carteira, agreement, bankConv, operation,
      collectionType, templ, sequence, due, value, nossoNumero, freeField, barcode, typedLine;
};

std::vector<Vector> loadVectors() {
  const char* root = std::getenv("BOLETO_SOURCE_DIR");
  std::ifstream in(std::string(root ? root : ".") + "/host/bank/tests/vectors.tsv");
  std::vector<Vector> rows;
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) f.push_back(cell);
    f.resize(17);
    rows.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], f[11], f[12],
                    f[13], f[14], f[15], f[16]});
  }
  return rows;
}

TEST(BankVectors, EveryRowMatchesItsPublishedAnswer) {
  auto rows = loadVectors();
  ASSERT_GE(rows.size(), 20u) << "vectors.tsv not found or truncated";
  for (const auto& v : rows) {
    SCOPED_TRACE(v.bank + " from " + v.source);
    const bank::BankLayout* layout = bank::findBank(v.bank);
    ASSERT_NE(layout, nullptr);
    std::string templ = v.templ.empty() ? layout->defaultTemplate() : v.templ;
    auto width = static_cast<size_t>(bank::Retorna_Size_NossNum(templ));
    ASSERT_GT(width, 0u);
    std::string seq = bank::PadRight(v.sequence, width);
    std::string n =
        bank::Read_MneMonicos(templ, v.bank, v.agency, v.carteira, seq, v.account, v.agreement);
    if (!v.nossoNumero.empty()) {
      bank::NossoNumeroInput in{n,           seq,        v.carteira, v.agency, v.account,
                                v.agreement, v.bankConv, "1",        v.bank};
      EXPECT_EQ(layout->nossoNumero(in), v.nossoNumero);
    }
    if (v.due.empty()) continue;
    host::DateTime due = *host::DateTime::parseIso(v.due);
    double value = host::StrToFloatDef(v.value, -1);
    std::string line =
        bank::LinhaDigitavel(v.bank, v.agency, v.carteira, n, v.account, due, value, "",
                             v.agreement, v.collectionType, "001", v.bankConv, v.operation);
    ASSERT_EQ(line.size(), 47u);
    std::string barcode = bank::CodigoBarras(line, 0);
    if (!v.typedLine.empty()) {
      EXPECT_EQ(line, v.typedLine);
    }
    if (!v.barcode.empty()) {
      EXPECT_EQ(barcode, v.barcode);
    }
    if (!v.freeField.empty()) {
      EXPECT_EQ(barcode.substr(19), v.freeField);
    }

    // What the barcode carries reads back as what went in.
    bank::Verificacao check = bank::VerificaCodigo(bank::FormataLinha(line), due);
    EXPECT_TRUE(check.valid) << check.reason;
    EXPECT_EQ(check.barcode, barcode);
    ASSERT_TRUE(check.dueDate.has_value());
    EXPECT_EQ(*check.dueDate, due);
    EXPECT_EQ(check.cents, static_cast<int64_t>(value * 100 + 0.5));
    std::string size = n.size() == 17 && v.bank == "104" ? "17" : "";
    std::string back = bank::NossoNumeroCdBarra(barcode, "", size);
    const std::string significant = seq.substr(std::min(seq.find_first_not_of('0'), seq.size()));
    EXPECT_TRUE(back.size() >= significant.size() &&
                back.compare(back.size() - significant.size(), significant.size(), significant) ==
                    0)
        << "the number read back from the barcode, " << back << ", must end with the sequence";
  }
}

TEST(BankVectors, EveryRegisteredBankHasADefaultTemplateAndABarcode) {
  host::DateTime due = host::DateTime::fromYmd(2026, 12, 8);
  for (const auto& code : bank::registeredBanks()) {
    SCOPED_TRACE(code);
    // A code that issues through its agreement bank has no layout of its own.
    if (code != "104" && bank::CodigoEmissao(code, "104") == "104") continue;
    const bank::BankLayout* layout = bank::findBank(code);
    std::string templ = layout->defaultTemplate();
    int width = bank::Retorna_Size_NossNum(templ);
    ASSERT_GT(width, 0);
    std::string seq = bank::PadRight("4711", static_cast<size_t>(width));
    std::string n = bank::Read_MneMonicos(templ, code, "1234", "1", seq, "123456", "123456");
    std::string line = bank::LinhaDigitavel(code, "1234", "1", n, "123456", due, 10.0, "", "123456",
                                            "01", "001", "", "");
    EXPECT_EQ(line.size(), 47u);
  }
}

}  // namespace
