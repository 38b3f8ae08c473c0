// The register's filter: its checks, its modes and what it leaves behind when it fails.

#include "host/Errors.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;
using rec::testing::keyOf;
using rec::testing::RegisterFixture;

class Filter : public RegisterFixture {
 protected:
  /// Shows the filter again with `script`; the modal result.
  int again(std::function<void(TfrmFiltroHabRec&)> script) {
    onFilter(std::move(script));
    return CriaFiltroHabRec("BOTAO_FILTRO");
  }
  int boletos(const std::string& where) {
    return count("SELECT COUNT(*) FROM BOLRECEBER WHERE CDEMPRESA = '04' AND " + where);
  }
};

TEST_F(Filter, TheChecksRefuseBadRangesInTheirOrderAndKeepWhatWasTyped) {
  auto& reg = listed();
  const size_t before = reg.cdsBoletos.recordCount();
  struct Case {
    std::vector<std::pair<const char*, const char*>> typed;
    const char* message;
    const char* focus;
  };
  const Case cases[] = {
      {{{"edtNumeIni", "10"}, {"edtNumeFin", "9"}},
       "Número inicial deve ser menor ou igual ao número final.",
       "edtNumeIni"},
      {{{"edtNumeIni", ""}, {"edtNumeFin", "5"}},
       "Número inicial deve ser informado.",
       "edtNumeIni"},
      {{{"edtDtEmisIni", "01/02/2026"}, {"edtDtEmisFin", ""}},
       "Data de emissão final deve ser informada.",
       "edtDtEmisFin"},
      {{{"edtDtVencIni", "02/03/2026"}, {"edtDtVencFin", "01/03/2026"}},
       "Data de vencimento inicial deve ser menor ou igual a data de vencimento final.",
       "edtDtVencIni"},
      {{{"nedValorIni", "100,00"}, {"nedValorFin", "99,99"}},
       "Valor inicial deve ser menor ou igual ao valor final.",
       "nedValorIni"},
      {{{"edtDtVencIni", "31/02/2026"}}, "Data inválida.", "edtDtVencIni"},
  };
  for (const auto& c : cases) {
    std::string focused;
    std::map<std::string, std::string> after;
    dialogs_->expectError(c.message);
    const int result = again([&](TfrmFiltroHabRec& flt) {
      for (const auto& [name, text] : c.typed) flt.control(name).setText(text);
      flt.control("sbtConfirma").click();
      focused = flt.focusedControl() ? flt.focusedControl()->name() : "";
      for (const auto& [name, text] : c.typed) after[name] = flt.control(name).text();
    });
    EXPECT_EQ(result, host::mrCancel) << c.message;
    EXPECT_EQ(focused, c.focus) << c.message;
    for (const auto& [name, text] : c.typed) EXPECT_EQ(after[name], text) << name;
  }
  // A list chosen but left empty.
  dialogs_->expectError("Cliente deve ser informado.");
  again([](TfrmFiltroHabRec& flt) {
    flt.control("rgpCliente").choose(1);
    EXPECT_TRUE(flt.control("btnCliente").enabled());
    flt.control("sbtConfirma").click();
  });
  EXPECT_EQ(reg.cdsBoletos.recordCount(), before);
}

TEST_F(Filter, FieldRulesPadNumbersAndZeroValuesPass) {
  auto& reg = listed();
  const int result = again([](TfrmFiltroHabRec& flt) {
    flt.control("edtNumeIni").setFocus();
    flt.control("edtNumeIni").type("123");
    flt.control("edtNrRemessa").setFocus();
    EXPECT_EQ(flt.control("edtNumeIni").text(), "000000123");
    EXPECT_EQ(flt.control("edtNumeFin").text(), "000000123");
    flt.control("edtNrRemessa").type("77");
    flt.control("edtNumeIni").setFocus();
    EXPECT_EQ(flt.control("edtNrRemessa").text(), "0000000077");
    EXPECT_EQ(flt.KeyPress("edtNumeIni", '-'), '\0');
    flt.control("nedValorIni").setText("12");
    EXPECT_EQ(flt.KeyPress("nedValorIni", '5'), '5');
    flt.control("nedValorIni").setText("1234567890");
    EXPECT_EQ(flt.KeyPress("nedValorIni", '1'), '\0');  // ten integer digits at most
    // The same rules over a whole text, as the desktop reports a finished field.
    flt.control("edtNrRetorno").type("-12");
    EXPECT_EQ(flt.control("edtNrRetorno").text(), "12");
    flt.control("nedValorFin").type("-1.234,5");
    EXPECT_EQ(flt.control("nedValorFin").text(), "1234,5");
    EXPECT_EQ(keyOf([&] { flt.control("nedValorFin").type("12345678901"); }), "Valor_inv");
    EXPECT_EQ(keyOf([&] { flt.control("nedValorFin").type("1,234"); }), "Valor_inv");
    flt.control("edtNrRetorno").setText("");
    flt.control("edtNumeIni").setText("");
    flt.control("edtNumeFin").setText("");
    flt.control("edtNrRemessa").setText("");
    flt.control("nedValorIni").setText("0");
    flt.control("nedValorFin").setText("0");
    flt.control("sbtConfirma").click();
  });
  EXPECT_EQ(result, host::mrOk);
  EXPECT_GT(reg.cdsBoletos.recordCount(), 0u);
}

TEST_F(Filter, ANossoNumeroSkipsEveryOtherCheckAndFindsItsBoleto) {
  auto& reg = listed();
  std::string nn;
  svc_->db->session() << "SELECT MIN(CDNOSNUMREC) FROM BOLRECEBER WHERE CDEMPRESA = '04' AND "
                         "CDNOSNUMREC IS NOT NULL",
      soci::into(nn);
  ASSERT_FALSE(nn.empty());
  const int result = again([&](TfrmFiltroHabRec& flt) {
    flt.control("edtNumeIni").setText("10");
    flt.control("edtNumeFin").setText("9");  // would be refused, but is not checked
    flt.control("edtNossoNumero").type(nn);
    EXPECT_FALSE(flt.control("grpCliente").enabled());
    EXPECT_FALSE(flt.control("grpVencimento").enabled());
    EXPECT_FALSE(flt.control("grpFiliOrig").enabled());
    EXPECT_TRUE(flt.control("grpNossoNumero").enabled());
    flt.control("sbtConfirma").click();
  });
  EXPECT_EQ(result, host::mrOk);
  ASSERT_EQ(reg.cdsBoletos.recordCount(), 1u);
  EXPECT_EQ(reg.cdsBoletos.valueOf("CDNOSNUMREC").asString(), nn);
  // Emptying it brings the groups back.
  again([](TfrmFiltroHabRec& flt) {
    flt.control("edtNossoNumero").type("");
    EXPECT_TRUE(flt.control("grpCliente").enabled());
    EXPECT_FALSE(flt.control("btnCliente").enabled());
    flt.control("sbtCancela").click();
  });
}

TEST_F(Filter, ACancelledEditIsForgottenAndTheHiddenModeReappliesTheConfirmedCriteria) {
  auto& reg = listed();
  // Narrow to emitted boletos.
  again([](TfrmFiltroHabRec& flt) {
    flt.control("rgpStatus").choose(1);
    flt.control("sbtConfirma").click();
  });
  const int emitted = boletos("IDSTATBREC = 'E'");
  ASSERT_GT(emitted, 0);
  EXPECT_EQ(static_cast<int>(reg.cdsBoletos.recordCount()), emitted);
  // Changed, then cancelled: shown again, the confirmed values are back.
  again([](TfrmFiltroHabRec& flt) {
    flt.control("rgpStatus").choose(2);
    flt.control("edtNrRemessa").setText("0000000005");
    flt.control("sbtCancela").click();
  });
  again([](TfrmFiltroHabRec& flt) {
    EXPECT_EQ(flt.control("rgpStatus").itemIndex(), 1);
    EXPECT_EQ(flt.control("edtNrRemessa").text(), "");
    flt.control("sbtCancela").click();
  });
  // The hidden mode: the same criteria, the marks dropped, no screen shown.
  reg.cdsMarca.append();
  reg.cdsMarca.fieldByName("CDFILIAL").setString("0001");
  reg.cdsMarca.post();
  const size_t shown = screens_->shown().size();
  EXPECT_EQ(CriaFiltroHabRec("ESCONDE_FILTRO"), host::mrOk);
  EXPECT_EQ(screens_->shown().size(), shown);
  EXPECT_EQ(static_cast<int>(reg.cdsBoletos.recordCount()), emitted);
  EXPECT_EQ(reg.cdsMarca.recordCount(), 0u);
  EXPECT_EQ(stFiltroHabRec, "Sim");
}

TEST_F(Filter, AFailingFiltroLeavesTheListAndTheConfirmedCriteriaAsTheyWere) {
  auto& reg = listed();
  const size_t before = reg.cdsBoletos.recordCount();
  // A nosso número longer than any bank's: the service refuses it.
  dialogs_->expectError("");
  const int result = again([](TfrmFiltroHabRec& flt) {
    flt.control("edtNossoNumero").type("1234567890123456789012345");
    flt.control("sbtConfirma").click();
  });
  EXPECT_EQ(result, host::mrCancel);
  EXPECT_EQ(reg.cdsBoletos.recordCount(), before);
  again([](TfrmFiltroHabRec& flt) {
    EXPECT_EQ(flt.control("edtNossoNumero").text(), "");
    flt.control("sbtCancela").click();
  });
  EXPECT_FALSE(dialogs_->waitShown());
}

TEST_F(Filter, ListCriteriaComeFromTheSearchesAndNarrowTheList) {
  auto& reg = listed();
  // Accounts: the search offers every account of the company; choose the first.
  dialogs_->expectError("Conta Corrente deve ser informada.");
  again([](TfrmFiltroHabRec& flt) {
    flt.control("rgpContaCorr").choose(1);
    flt.control("sbtConfirma").click();  // "Lista" without a choice
  });
  std::string chosen;
  dialogs_->expectPickMany(std::vector<int>{0});
  const int result = again([&](TfrmFiltroHabRec& flt) {
    flt.control("rgpContaCorr").choose(1);
    flt.control("btnContaCorr").click();
    chosen = flt.stListaCCorr;
    flt.control("sbtConfirma").click();
  });
  EXPECT_EQ(result, host::mrOk);
  ASSERT_FALSE(chosen.empty());
  EXPECT_EQ(chosen.find(','), std::string::npos);
  EXPECT_EQ(static_cast<int>(reg.cdsBoletos.recordCount()),
            boletos("CDREDUCONT = '" + chosen + "'"));
  for (reg.cdsBoletos.first(); !reg.cdsBoletos.eof(); reg.cdsBoletos.next()) {
    EXPECT_EQ(reg.cdsBoletos.valueOf("CDREDUCONT").asString(), chosen);
  }
  // Saved with the options on the service, and read back by a filter made afresh.
  again([](TfrmFiltroHabRec& flt) {
    flt.control("btfSaveOpc").click();
    flt.control("sbtLimpa").click();
    EXPECT_EQ(flt.control("rgpContaCorr").itemIndex(), 0);
    flt.control("sbtCancela").click();
  });
  EXPECT_EQ(count("SELECT COUNT(*) FROM OPCAOFILTRO WHERE CDOPERADOR = 'demo' AND CDTELA = "
                  "'REC12100' AND NMCHAVE = 'opt.stContaCorr'"),
            1);
  reg.close();
  auto& reopened = open();
  onFilter([&](TfrmFiltroHabRec& flt) {
    EXPECT_EQ(flt.control("rgpContaCorr").itemIndex(), 0);
    flt.control("btfLoadOpc").click();
    EXPECT_EQ(flt.control("rgpContaCorr").itemIndex(), 1);
    EXPECT_TRUE(flt.control("btnContaCorr").enabled());
    EXPECT_EQ(flt.stListaCCorr, chosen);
    flt.control("sbtConfirma").click();
  });
  chooseCompany(reopened, "04");
  EXPECT_EQ(static_cast<int>(reopened.cdsBoletos.recordCount()),
            boletos("CDREDUCONT = '" + chosen + "'"));
}
