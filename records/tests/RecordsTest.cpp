#include <gtest/gtest.h>

#include <set>

#include "host/Errors.h"
#include "records/EmissionOrder.h"
#include "records/Methods.h"
#include "records/Tables.h"

namespace {

using records::Table;
namespace fld = records::fld;

// The message of the exception `f` throws, or "<none>".
template <class F>
std::string invariantMessage(F&& f) {
  try {
    f();
  } catch (const host::InvariantError& e) {
    return e.what();
  }
  return "<none>";
}

const Table* const kTables[] = {
    &records::BoletoRecord(),        &records::BankAccountRecord(),   &records::cdsBolEmitOrd(),
    &records::cdsChaveBol(),         &records::cdsOrdemPrint(),       &records::cdsVisualiza(),
    &records::cdsCriaLista(),        &records::cdsOpcoes(),           &records::cdsValidaGR(),
    &records::cdsOrcaFestas(),       &records::cdsGeralRec(),         &records::cdsGeral_Rec(),
    &records::cdsParamGeral(),       &records::cdsCntReceber(),       &records::cdsCNABMsg(),
    &records::cdsAjBolRec(),         &records::cdsParcelamento(),     &records::cdsTpRecBoleto(),
    &records::cdsProrrogacao(),      &records::cdsCliente(),          &records::cdsContProrVenc(),
    &records::cdsGrupoOperador(),    &records::cdsFormRec(),          &records::cdsVeiculo(),
    &records::cdsDuplicata(),        &records::cdsBuscaCliente(),     &records::cdsTxMensBol(),
    &records::cdsCheque(),           &records::cdsCdRedTpRe(),        &records::cdsTipoBaixa(),
    &records::cdsInstCobr(),         &records::cdsFilial(),           &records::cdsFilialCC(),
    &records::cdsStatus(),           &records::cdsAdiantamento(),     &records::cdsDevolucao(),
    &records::cdsBolCliDevoAdian(),  &records::cdsValNosNumero(),     &records::cdsValidaNossNum(),
    &records::cdsVdDepIdent(),       &records::cdsInfoDepIdent(),     &records::RelatorioBoleto(),
    &records::cdsEndeFili(),         &records::cdsEmailDanfe(),       &records::cdsNotasEmail(),
    &records::cdsSerieNF(),          &records::cdsListaGerarDANFE(),  &records::cdsStringStream(),
    &records::cdsDetalheRetorno(),   &records::cdsEnvBolMail(),       &records::cdsMensagem(),
    &records::RelatorioNotaFiscal(), &records::RelatorioItensNF(),    &records::cdsParcContBol(),
    &records::cdsBuscaBoletos(),     &records::cdsIncBoletoConjuga(), &records::cdsBolRec(),
    &records::cdsSelImpor(),         &records::cdsPosicao(),          &records::cdsResultado(),
    &records::cdsTipoAjReceber(),    &records::cdsBolProrrogados(),   &records::cdsMotivoParc(),
    &records::cdsVerifAjBolRec(),    &records::cdsValAdian(),         &records::cdsTipoRece(),
    &records::cdsCartao(),           &records::cdsTotChq(),           &records::cdsDiretorio(),
};
// The credits a boleto is discounted by.
const Table* const kCreditTables[] = {
    &records::cdsContaAd(),    &records::cdsVenda(),       &records::cdsGrid(),
    &records::cdsTipoAjDesc(), &records::cdsExistAjuste(),
};

}  // namespace

TEST(FieldTables, TheTwoRecordsKeepTheirSizesLabelsFormatsAndMasks) {
  const auto& b = records::BoletoRecord();
  EXPECT_EQ(b.dataset(), "cdsBoletos");
  EXPECT_EQ(b["CDFILIAL"].size, 4);
  EXPECT_EQ(b["NRLANBOLREC"].size, 10);
  EXPECT_EQ(b["CDBARRAREC"].size, 44);
  EXPECT_EQ(b["DSLINHABARREC"].size, 55);
  EXPECT_EQ(b["DSEMAILCLIECOP"].size, 400);
  EXPECT_EQ(b["DTVENBOLREC"].type, host::FieldType::Date);
  EXPECT_EQ(b["DTVENBOLREC"].displayFormat, "dd/mm/yyyy");
  EXPECT_EQ(b["VRFINALBREC"].displayFormat, "#,##0.00");
  EXPECT_EQ(b["VRPEMORBREC"].displayFormat, "#,##0.000");
  EXPECT_EQ(b["VRPEMORBREC"].displayLabel, "Mora Diário (%)");
  EXPECT_EQ(b["CDREDUCONT"].editMask, ">aaa;0; ");
  EXPECT_EQ(b["FTR_NRLICENCAUSO"].editMask, "9999999999;0; ");
  EXPECT_TRUE(b["NRSEQORCAEVE"].fixedWidth);
  EXPECT_EQ(b.indexOf(fld::CDFILIAL), 6u);
  const auto& a = records::BankAccountRecord();
  EXPECT_EQ(a["DSNOSNUMCORR"].size, 200);
  EXPECT_EQ(a["TXMENSBOLETO"].size, 500);
  EXPECT_EQ(a["CDDIAPROTEST"].displayLabel, "Dia para protesto");
  EXPECT_EQ(a["QTDIAPROTEST"].type, host::FieldType::Float);
  EXPECT_EQ(records::boletoKey("0001", "0000000042"), "00010000000042");
}

TEST(FieldTables, AFieldIsTheSameFieldInEveryTableUnlessTheTableSaysOtherwise) {
  // A field's name, type and size are declared once; only the report's printed copies widen
  // a text or hold it whole, and the emission order gives the barcode room.
  const std::set<std::string> widened = {
      "BOLETO.DSLINHABARREC", "BOLETO.CDAGENCIA", "BOLETO.CDCEDENTEBAN", "BOLETO.CDCONTCORR",
      "BOLETO.CDNOSNUMREC", "BOLETO.CDCARTCOBBOL", "BOLETO.NMBANCO", "BOLETO.NMRAZSOCCLIE",
      "cdsBolEmitOrd.CDBARRAREC",
      // The e-mail screen's layouts: names of notes, lists of addresses, the emitting branch.
      "cdsNotasEmail.NMRAZSOCCLIE", "cdsEnvBolMail.DSEMAILCLIE", "cdsEnvBolMail.CDFILIAL",
      "NOTAFISCAL.NMRAZSOCCLIE"};
  const auto& boleto = records::BoletoRecord();
  std::vector<const Table*> all(std::begin(kTables), std::end(kTables));
  all.insert(all.end(), std::begin(kCreditTables), std::end(kCreditTables));
  for (const Table* t : all) {
    std::set<std::string> names;
    for (const auto& f : t->fields()) {
      EXPECT_TRUE(names.insert(f.name).second) << t->dataset() << " repeats " << f.name;
      if (f.type == host::FieldType::String) {
        EXPECT_GT(f.size, 0) << t->dataset() << "." << f.name;
      }
      if (!boleto.has(f.name) || widened.count(t->dataset() + "." + f.name)) continue;
      EXPECT_EQ(f.type, boleto[f.name].type) << t->dataset() << "." << f.name;
      EXPECT_EQ(f.size, boleto[f.name].size) << t->dataset() << "." << f.name;
    }
  }
}

TEST(FieldTables, ALookUpOfAFieldTheTableLacksThrowsNamingTheDatasetAndTheField) {
  const auto& t = records::cdsBolEmitOrd();
  EXPECT_EQ(invariantMessage([&] { (void)t["FTR_IDSTATBRC"]; }),
            "cdsBolEmitOrd has no field FTR_IDSTATBRC");
  EXPECT_EQ(invariantMessage([&] { (void)t.indexOf("CDREDUCONT"); }),
            "cdsBolEmitOrd has no field CDREDUCONT");
  EXPECT_FALSE(t.has("CDREDUCONT"));
  EXPECT_EQ(invariantMessage([] {
              Table twice("cdsTeste", {fld::CDFILIAL, fld::NRLANBOLREC, fld::CDFILIAL});
            }),
            "cdsTeste declares the field CDFILIAL twice");
}

TEST(FieldTables, ADatasetHandedOverAsATablesMustCarryEveryFieldOfIt) {
  host::ClientDataset ds("cdsBolEmitOrd");
  std::vector<host::FieldDef> defs;
  for (const auto& f : records::cdsBolEmitOrd().fields())
    if (f.name != "FTR_IDSTATBREC") defs.push_back(f);
  ds.setFieldDefs(defs);
  ds.createDataset();
  EXPECT_EQ(invariantMessage([&] { records::cdsBolEmitOrd().requireIn(ds); }),
            "cdsBolEmitOrd has no field FTR_IDSTATBREC");

  host::ClientDataset whole("cdsBolEmitOrd");
  whole.setFieldDefs(records::cdsBolEmitOrd().fields());
  EXPECT_NO_THROW(records::cdsBolEmitOrd().requireIn(whole));
  // And the dataset itself refuses a look-up by a name it does not carry.
  whole.createDataset();
  EXPECT_THROW((void)whole.valueOf("FTR_IDSTATBRC"), host::OperationError);
}

TEST(RemoteMethods, EachDeclarationListsItsArgumentsInOrderWithKindSizeAndDirection) {
  const rpc::MethodDecl d = rpc::describe<rpc::SetCodBarra>();
  EXPECT_EQ(d.object, "Rec12000.rdmHabContRec");
  EXPECT_EQ(d.name, "SetCodBarra");
  EXPECT_FALSE(d.readOnly);
  EXPECT_TRUE(d.checksCompany);
  ASSERT_EQ(d.args.size(), 8u);
  const struct {
    const char* name;
    int size;
    bool inOut;
  } expected[] = {{"DSLINHABARREC", 55, true}, {"CDBARRAREC", 44, true},
                  {"CDNOSNUMREC", 20, true},   {"CDFILIAL", 4, true},
                  {"NRLANBOLREC", 10, true},   {"CDDEPIDENREC", 30, false},
                  {"IDBOLEMITIDO", 1, true},   {"CDREDUCONT", 3, true}};
  for (size_t i = 0; i < d.args.size(); ++i) {
    EXPECT_EQ(d.args[i].name, expected[i].name) << i;
    EXPECT_EQ(d.args[i].kind, rpc::Kind::Text) << i;
    EXPECT_EQ(d.args[i].size, expected[i].size) << i;
    EXPECT_EQ(d.args[i].inOut, expected[i].inOut) << i;
  }

  const rpc::MethodDecl f = rpc::describe<rpc::Filtro>();
  EXPECT_TRUE(f.readOnly);
  ASSERT_EQ(f.args.size(), 37u);
  EXPECT_EQ(f.args[4].kind, rpc::Kind::Boolean);
  EXPECT_EQ(f.args[11].kind, rpc::Kind::Date);
  EXPECT_EQ(f.args[15].kind, rpc::Kind::Number);
  EXPECT_EQ(f.args[22].kind, rpc::Kind::PacketOrNull);
  EXPECT_EQ(f.args[25].kind, rpc::Kind::Integer);
  EXPECT_EQ(f.args[36].name, "vehicle list");

  const rpc::MethodDecl o = rpc::describe<rpc::Operador>();
  EXPECT_TRUE(o.args.empty());
  EXPECT_FALSE(o.checksCompany);
}

TEST(RemoteMethods, EveryMethodIsDeclaredOnceAndEveryTextHasASize) {
  std::set<std::pair<std::string, std::string>> seen;
  for (const auto& d : rpc::declarations()) {
    EXPECT_TRUE(seen.insert({d.object, d.name}).second) << d.object << "." << d.name;
    for (const auto& a : d.args) {
      EXPECT_FALSE(a.name.empty()) << d.name;
      EXPECT_GE(a.size, 0) << d.name << "(" << a.name << ")";
      if (a.inOut) {
        EXPECT_EQ(a.kind, rpc::Kind::Text) << d.name << "(" << a.name << ")";
      }
    }
  }
  EXPECT_EQ(seen.size(), rpc::declarations().size());
}

TEST(RemoteMethods, ACallSendsItsNamedArgumentsInDeclaredOrderAndBindsTheInOutOnes) {
  std::string linha = "L", barras = "B", nosso = "N", filial = "1", lanc = "42", modelo = "2",
              conta = "1";
  const rpc::SetCodBarra call{.DSLINHABARREC = linha,
                              .CDBARRAREC = barras,
                              .CDNOSNUMREC = nosso,
                              .CDFILIAL = filial,
                              .NRLANBOLREC = lanc,
                              .CDDEPIDENREC = "D",
                              .IDBOLEMITIDO = modelo,
                              .CDREDUCONT = conta};
  const auto args = rpc::encode(call);
  ASSERT_EQ(args.size(), 8u);
  const char* values[] = {"L", "B", "N", "1", "42", "D", "2", "1"};
  const bool byRef[] = {true, true, true, true, true, false, true, true};
  for (size_t i = 0; i < args.size(); ++i) {
    EXPECT_EQ(args[i].value().asString(), values[i]) << i;
    EXPECT_EQ(args[i].byRef(), byRef[i]) << i;
  }
  // The service's answer reaches the caller's variable.
  args[3].writeBack(remote::Variant("0001"));
  EXPECT_EQ(filial, "0001");

  const auto dates = rpc::encode(rpc::GetDuplicata{
      .CDEMPRESA = "04", .dueFrom = host::DateTime::fromYmd(2026, 3, 2), .dueTo = std::nullopt});
  EXPECT_EQ(dates[1].value().kind(), remote::Variant::Kind::Date);
  EXPECT_TRUE(dates[2].value().isNull());
}

TEST(RemoteMethods, TheServiceReadsCheckedValuesAndAnswersOnlyTheInOutArgumentsItSet) {
  const std::vector<remote::Variant> wire{remote::Variant("1"), remote::Variant("42"),
                                          remote::Variant()};
  rpc::GetParcelamento a = rpc::decode<rpc::GetParcelamento>(wire);
  EXPECT_EQ(a.CDFILIAL.value(), "1");
  EXPECT_EQ(a.CDFILIAL.code(), "0001");
  EXPECT_EQ(a.NRLANBOLREC.code(), "0000000042");
  EXPECT_EQ(a.NRORIGBOLREC.code(), "") << "an empty code stays empty";
  EXPECT_TRUE(rpc::changedArgs(a).empty());
  a.NRLANBOLREC.set(a.NRLANBOLREC.code());
  const auto changed = rpc::changedArgs(a);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].first, 1u);
  EXPECT_EQ(changed[0].second.asString(), "0000000042");
}

TEST(RemoteMethods, AMethodIsCalledOnlyOnAConnectionToItsServerObject) {
  remote::Connection reports(rpc::kQRDesign);
  std::string code = "001";
  EXPECT_EQ(invariantMessage([&] { rpc::call(reports, rpc::GetCont_Corr{.CDREDUCONT = code}); }),
            "GetCont_Corr is a method of Rec12000.rdmHabContRec, called on a connection to "
            "Qrd.rdmQRDesign");
}

TEST(EmissionOrder, CarriesTheRegistersListsAndDatasetByReference) {
  host::TKeyList emissao, carteira, contas;
  host::ClientDataset ds("cdsBolEmitOrd");
  int ordered = 0;
  const records::EmissionOrder order{.klEmissao = emissao,
                                     .klCarteira = carteira,
                                     .klContas = contas,
                                     .cdsBolEmitOrd = ds,
                                     .CDEMPRESA = "04",
                                     .IDSISDOS = "3",
                                     .IDEXIBDADORC = "N",
                                     .AplicaOrdemImpres = [&] { ++ordered; },
                                     .BaixaRelatorio = nullptr};
  const records::EmissionOrder copy = order;
  contas.Add("001", host::KeyValue(host::Value(0.0)));
  EXPECT_EQ(copy.klContas.Count(), 1) << "a copy of the order still refers to the register's lists";
  copy.AplicaOrdemImpres();
  EXPECT_EQ(ordered, 1);
  EXPECT_EQ(&copy.cdsBolEmitOrd, &ds);
}
