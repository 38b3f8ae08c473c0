// Emitting from the register against the seeded service: the emission lists built from the
// marked boletos, "Emitir Boleto" with its questions and the boletos it leaves out, the run
// of the emission screen seen from the register, and the refresh of report templates.

#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/Errors.h"
#include "module/Units.h"
#include "records/Tables.h"
#include "register/tests/RegisterFixture.h"

using namespace rec;
using rec::testing::keyOf;
using rec::testing::RegisterFixture;

namespace {

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const std::filesystem::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

class EmissionFromRegister : public RegisterFixture {
 public:
  void SetUp() override {
    RegisterFixture::SetUp();
    reports_ = dir_ / "reports";
    settings_.reportDir = reports_.string() + "/";
    useSettings();
    Cli_rec12000::stDiretorio.clear();
  }
  void mark(TfrmHabContRec& f, const std::string& branch, const std::string& number) {
    ASSERT_TRUE(
        f.cdsBoletos.locate(records::kBoletoKeyFields, {host::Value(branch), host::Value(number)}));
    f.Marca_Boleto(false, 'M');
    ASSERT_EQ(f.cdsBoletos.valueOf("IDMARCADO").asString(), "M");
  }
  // Changes the list row as the screen's own data (no rule runs).
  void setLocally(TfrmHabContRec& f, const std::string& branch, const std::string& number,
                  const std::string& field, host::Value v) {
    ASSERT_TRUE(
        f.cdsBoletos.locate(records::kBoletoKeyFields, {host::Value(branch), host::Value(number)}));
    host::DetachedEvents noRules(f.cdsBoletos);
    f.cdsBoletos.edit();
    f.cdsBoletos.fieldByName(field).setValue(std::move(v));
    f.cdsBoletos.post();
  }
  std::string key(const host::ClientDataset& ds) {
    return ds.valueOf("CDFILIAL").asString() + ds.valueOf("NRLANBOLREC").asString();
  }
  size_t markedRows(TfrmHabContRec& f) {
    size_t n = 0;
    for (size_t r = 1; r <= f.cdsBoletos.recordCount(); ++r)
      if (f.cdsBoletos.valueAt(r, "IDMARCADO").asString() == "M") ++n;
    return n;
  }
  std::filesystem::path reports_;
};

TEST_F(EmissionFromRegister, TheListsOfOneAccountFollowThePrintOrder) {
  auto& f = listed();
  mark(f, "0001", "0000000001");
  dialogs_->expectQuestion("adiantamento", false);
  dialogs_->expectQuestion("devolução", false);
  mark(f, "0001", "0000000002");
  setLocally(f, "0001", "0000000001", "NRPARCBOLREC", host::Value("00"));
  setLocally(f, "0001", "0000000002", "NRPARCBOLREC", host::Value("7"));
  // The list by value puts 0001/2 first; the print order of company 04 is by invoice number,
  // which puts 0001/1 first.
  f.cdsBoletos.setIndexFieldNames("FTR_VRFINALBREC");
  ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields,
                                  {host::Value("0001"), host::Value("0000000002")}));
  f.bContaUnica = true;
  f.Atualiza_Emissao(true);

  // The list is back on its boleto and alive.
  EXPECT_EQ(key(f.cdsBoletos), "00010000000002");
  EXPECT_FALSE(f.cdsBoletos.frozen());
  EXPECT_TRUE(static_cast<bool>(f.cdsBoletos.events().afterScroll));

  ASSERT_EQ(f.klContas.Count(), 1);
  EXPECT_EQ(f.klContas.Key(0), "001");
  ASSERT_EQ(f.cdsBolEmitOrd.recordCount(), 2u);
  ASSERT_EQ(f.klEmissao.Count(), 2);
  f.cdsBolEmitOrd.first();
  for (int i = 0; i < 2; ++i, f.cdsBolEmitOrd.next()) {
    EXPECT_EQ(f.klEmissao.Key(i).substr(0, 14), key(f.cdsBolEmitOrd)) << i;
  }
  EXPECT_EQ(f.klEmissao.Key(0).substr(0, 14), "00010000000001");
  const auto& first = f.klEmissao.Sum(0);
  ASSERT_TRUE(first.isArray());
  ASSERT_TRUE(f.cdsBoletos.locate(records::kBoletoKeyFields,
                                  {host::Value("0001"), host::Value("0000000001")}));
  EXPECT_EQ(f.klEmissao.Key(0), "00010000000001" + f.cdsBoletos.valueOf("CDNOSNUMREC").asString());
  EXPECT_EQ(first.element(0).asString(),
            f.cdsBoletos.valueOf("DTVENBOLREC").asDate().format("dd/mm/yyyy"));
  EXPECT_EQ(first.element(1).asString(), f.cdsBoletos.valueOf("NMRAZSOCCLIE").asString());
  EXPECT_EQ(first.element(2).asString(), "1.520,40");

  ASSERT_EQ(f.klCarteira.Count(), 2);
  const int one = f.klCarteira.IndexOf("00010000000001");
  const int two = f.klCarteira.IndexOf("00010000000002");
  ASSERT_GE(one, 0);
  ASSERT_GE(two, 0);
  EXPECT_EQ(f.klCarteira.Sum(one).array().size(), 8u);
  EXPECT_EQ(f.klCarteira.Sum(one).element(6).asString(), "01");
  EXPECT_EQ(f.klCarteira.Sum(one).element(7).asString(), "001");
  EXPECT_EQ(f.klCarteira.Sum(two).element(7).asString(), "007");
  EXPECT_DOUBLE_EQ(f.klCarteira.Sum(two).element(3).asDouble(), 830.00);

  f.cdsBolEmitOrd.first();
  EXPECT_EQ(f.cdsBolEmitOrd.valueOf("FTR_NRNOTAFISC").asString(),
            f.cdsBoletos.valueOf("FTR_NRNOTAFISC").asString());
  EXPECT_DOUBLE_EQ(f.cdsBolEmitOrd.valueOf("FTR_VRFINALBREC").asDouble(), 1520.40);
  EXPECT_FALSE(Cli_rec12000::BoCreditoEmConta);
}

TEST_F(EmissionFromRegister, AccountsAreCheckedUnlessGenerating) {
  auto& f = listed();
  // Nothing marked.
  EXPECT_EQ(keyOf([&] { f.Atualiza_Emissao(false); }), "BOL_NI");

  mark(f, "0001", "0000000001");  // account 001
  mark(f, "0001", "0000000003");  // account 002
  f.bContaUnica = true;
  EXPECT_EQ(keyOf([&] { f.Atualiza_Emissao(true); }), "BANCO_Dif");
  EXPECT_FALSE(f.cdsBoletos.frozen());
  EXPECT_TRUE(static_cast<bool>(f.cdsBoletos.events().afterScroll));

  // Generation passes with the boletos up to the first of the second account.
  f.bContaUnica = false;
  EXPECT_EQ(keyOf([&] { f.Atualiza_Emissao(true, true); }), "<none>");
  EXPECT_EQ(f.klContas.Count(), 2);
  std::string firstMarked;
  for (size_t r = 1; r <= f.cdsBoletos.recordCount() && firstMarked.empty(); ++r) {
    if (f.cdsBoletos.valueAt(r, "IDMARCADO").asString() == "M") {
      firstMarked = f.cdsBoletos.valueAt(r, "CDFILIAL").asString() +
                    f.cdsBoletos.valueAt(r, "NRLANBOLREC").asString();
    }
  }
  ASSERT_EQ(f.cdsBolEmitOrd.recordCount(), 1u);
  EXPECT_EQ(key(f.cdsBolEmitOrd), firstMarked);
  EXPECT_EQ(f.klEmissao.Count(), 1);

  // A first marked boleto without an account.
  setLocally(f, firstMarked.substr(0, 4), firstMarked.substr(4), "CDREDUCONT", host::Value());
  EXPECT_EQ(keyOf([&] { f.Atualiza_Emissao(true, true); }), "BANCO_NI");
  EXPECT_EQ(f.klContas.Key(0), "xxxx");
  EXPECT_EQ(f.cdsBolEmitOrd.recordCount(), 0u);
}

TEST_F(EmissionFromRegister, GenerationPutsEachInstalmentInTheCarteiraList) {
  auto& f = listed();
  // 0001/8 is the first instalment of itself; a second one makes it a split boleto.
  svc_->db->session() << "INSERT INTO BOLRECEBER (CDFILIAL, NRLANBOLREC, CDEMPRESA, CDCLIENTE, "
                         "VRBOLREC, VRFINALBREC, DTVENBOLREC, IDSTATBREC, CDREDUCONT, "
                         "CDCARTCOBBOL, NRORIGBOLREC, NRPARCBOLREC) SELECT CDFILIAL, "
                         "'0000000950', CDEMPRESA, CDCLIENTE, 60, 60, DTVENBOLREC, 'A', "
                         "CDREDUCONT, '77', NRORIGBOLREC, '02' FROM BOLRECEBER WHERE CDFILIAL = "
                         "'0001' AND NRLANBOLREC = '0000000008'";
  mark(f, "0001", "0000000008");
  f.Atualiza_Emissao(true, true);
  const int part = f.klCarteira.IndexOf("00010000000950");
  ASSERT_GE(part, 0);
  EXPECT_EQ(f.klCarteira.Sum(part).element(0).asString(), "77");
  EXPECT_DOUBLE_EQ(f.klCarteira.Sum(part).element(3).asDouble(), 60.0);
  // The carteira and instalment text are the listed boleto's.
  EXPECT_EQ(f.klCarteira.Sum(part).element(7).asString(), "001");
  EXPECT_GE(f.klCarteira.IndexOf("00010000000008"), 0);
  EXPECT_EQ(f.cdsBolEmitOrd.recordCount(), 1u);
}

TEST_F(EmissionFromRegister, AnEmittedBoletoLeftOutIsUnmarkedAndNothingIsEmitted) {
  auto& f = listed();
  f.control("sbtImprimir").click();
  ASSERT_TRUE(f.control("pmnBoleto").visible());
  EXPECT_TRUE(f.control("mnuCarne").enabled());
  EXPECT_TRUE(f.control("mnuGeraBoletoTxt").enabled());
  dialogs_->expectError("Nenhum boleto foi marcado");
  f.control("mnuBoleto").click();
  EXPECT_FALSE(f.control("pmnBoleto").visible());

  mark(f, "0001", "0000000003");  // emitted
  ASSERT_EQ(f.nMarcEmitidos, 1);
  // One emitted boleto asks no global question, only its own.
  dialogs_->expectMsgAlert("\rFilial 0001 - Nº Lanc. Boleto 0000000003 - Parc. ",
                           host::kMsgAlertFirstButton + 1);
  f.control("sbtImprimir").click();
  f.control("mnuBoleto").click();

  EXPECT_EQ(markedRows(f), 0u);
  EXPECT_TRUE(f.cdsMarca.isEmpty());
  EXPECT_TRUE(f.cdsMarcaAux.isEmpty());
  EXPECT_EQ(f.nMarcEmitidos, 0);
  EXPECT_EQ(f.control("nedCont").text(), "0");
  EXPECT_FALSE(f.busy);
  for (const auto& s : screens_->shown()) EXPECT_NE(s.className, "TfrmImprimeBol");
  EXPECT_EQ(Cli_rec12000::stDiretorio, settings_.reportDir);
}

TEST_F(EmissionFromRegister, TheOriginBranchMustBeAllowedOnTheAccount) {
  auto& f = listed();
  // 0001/1 names branch 0002 as its origin; its account belongs to branch 0001.
  setLocally(f, "0001", "0000000001", "IDIMPRBOLBOL", host::Value("F"));
  mark(f, "0001", "0000000001");
  f.cdsBoletos.first();
  EXPECT_EQ(keyOf([&] { f.mnuBoletoClick(); }), "FILORIG_N_CC");
  EXPECT_EQ(key(f.cdsBoletos), "00010000000001");
  EXPECT_TRUE(f.pageControl("pgcDadosRec").isShown("tshCnab"));
  EXPECT_EQ(f.focusedControl(), &f.control("edtCDFILORIG"));
  EXPECT_FALSE(f.busy);
  EXPECT_TRUE(f.cdsMarcaAux.isEmpty());
  EXPECT_EQ(f.cdsMarca.recordCount(), 1u);

  setLocally(f, "0001", "0000000001", "CDFILORIG", host::Value());
  f.Marca_Boleto(false, 'D');
  mark(f, "0001", "0000000001");
  EXPECT_EQ(keyOf([&] { f.mnuBoletoClick(); }), "FIL_INF");
}

TEST_F(EmissionFromRegister, ACustomerWithoutAddressStopsThePreparationOnItsBoleto) {
  auto& f = listed();
  mark(f, "0001", "0000000001");
  const std::string customer = f.cdsBoletos.valueOf("CDCLIENTE").asString();
  svc_->db->session() << "UPDATE CLIENTE SET DSENDECLIE = NULL WHERE CDCLIENTE = :c",
      soci::use(customer);
  f.cdsBoletos.first();
  dialogs_->expectInformation("Cliente sem endereço cadastrado: " + customer);
  EXPECT_THROW(f.Atualiza_Emissao(true), host::OperationAborted);
  EXPECT_EQ(key(f.cdsBoletos), "00010000000001");
}

TEST_F(EmissionFromRegister, TemplatesAreRefreshedWhenTheServiceHasANewerOne) {
  auto& f = listed();
  const auto local = reports_ / "MODBOLCOMP.QR2";
  // No local copy: downloaded.
  f.BaixaRelatorio("C:\\Relatorios\\MODBOLCOMP.QR2");
  ASSERT_TRUE(std::filesystem::exists(local));
  const std::string served = slurp(local);
  ASSERT_TRUE(served.ends_with("00000001#"));

  // Same version, newer here: kept.
  spit(local, "copia local 00000001#");
  f.BaixaRelatorio("MODBOLCOMP.QR2");
  EXPECT_EQ(slurp(local), "copia local 00000001#");
  // An older version: replaced, however new the file.
  spit(local, "copia local 00000000#");
  f.BaixaRelatorio("MODBOLCOMP.QR2");
  EXPECT_EQ(slurp(local), served);
  // No version mark at all: replaced as soon as the service has a version.
  spit(local, "copia local sem versao");
  f.BaixaRelatorio("MODBOLCOMP.QR2");
  EXPECT_EQ(slurp(local), served);

  // A template the service does not keep: nothing to do.
  f.BaixaRelatorio("NENHUM.QR2");
  EXPECT_FALSE(std::filesystem::exists(reports_ / "NENHUM.QR2"));

  // A download that fails informs and lets the caller go on.
  svc_->db->session() << "UPDATE MODELORELAT SET TXCONTEUDO = '' WHERE NMARQUIVO = "
                         "'MODBOLCOMP.QR2'";
  spit(local, "copia local sem versao");
  dialogs_->expectError("Não foi possível atualizar o relatório do servidor.\r" + local.string());
  EXPECT_NO_THROW(f.BaixaRelatorio("MODBOLCOMP.QR2"));
  EXPECT_EQ(slurp(local), "copia local sem versao");
}

class EmissionRun : public EmissionFromRegister {
 public:
  // Company 04's pending boletos of account 001 not yet numbered, marked.
  TfrmHabContRec& markedPending() {
    auto& f = listed();
    mark(f, "0001", "0000000001");
    dialogs_->expectQuestion("devolução", false);
    mark(f, "0002", "0000000003");
    return f;
  }
  std::filesystem::path folder() const {
    return reports_ / "Boletos_Emitidos" / "2026-03-02";  // the fixture's day
  }
};

TEST_F(EmissionRun, ACompletedRunWritesThePdfsAndDropsTheMarks) {
  auto& f = markedPending();
  ASSERT_EQ(f.nMarcOutros, 2);
  dialogs_->expectQuestion("arquivos PDF", true);
  dialogs_->expectInformation("Boletos emitidos com sucesso em:\r" + settings_.reportDir +
                              "Boletos_Emitidos/2026-03-02");
  f.control("sbtImprimir").click();
  f.control("mnuBoleto").click();

  size_t pdfs = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder()))
    if (e.path().extension() == ".pdf") ++pdfs;
  EXPECT_EQ(pdfs, 2u);
  EXPECT_EQ(markedRows(f), 0u);
  EXPECT_TRUE(f.cdsMarca.isEmpty());
  EXPECT_TRUE(f.cdsMarcaAux.isEmpty());
  EXPECT_EQ(f.control("nedCont").text(), "0");
  EXPECT_FALSE(f.busy);
}

TEST_F(EmissionRun, AFailedRunShowsNoSuccessAndGivesTheMarksBack) {
  auto& f = markedPending();
  svc_->db->session() << "DELETE FROM MODELORELAT";
  dialogs_->expectQuestion("arquivos PDF", true);
  dialogs_->expectError("Modelo de boleto completo não cadastrado");
  f.control("sbtImprimir").click();
  f.control("mnuBoleto").click();

  for (const auto& d : dialogs_->shown())
    EXPECT_EQ(d.text.find("sucesso"), std::string::npos) << d.text;
  EXPECT_EQ(markedRows(f), 2u);
  EXPECT_EQ(f.cdsMarca.recordCount(), 2u);
  EXPECT_TRUE(f.cdsMarcaAux.isEmpty());
  EXPECT_EQ(f.nMarcOutros, 2);
  EXPECT_EQ(f.control("nedCont").text(), "2");
  EXPECT_FALSE(f.busy);
}
