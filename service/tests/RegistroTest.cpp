// The register's reads and its bank-message update, against the seeded service.

#include <gtest/gtest.h>

#include "ServiceFixture.h"
#include "host/ClientDataset.h"

using remote::Variant;

namespace {

using Registro = service::testing::SeededService;

const nlohmann::json& rowsOf(const remote::Reply& r) {
  return r.result.packetJson().at("rows");
}

nlohmann::json cell(const nlohmann::json& packet, const std::string& field, size_t row = 0) {
  const auto& fields = packet.at("fields");
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].at("name") == field) return packet.at("rows").at(row).at(i);
  ADD_FAILURE() << "no field " << field;
  return nullptr;
}
nlohmann::json cell(const remote::Reply& r, const std::string& field, size_t row = 0) {
  return cell(r.result.packetJson(), field, row);
}
std::string refArg(const remote::Reply& r, size_t pos) {
  for (const auto& [p, v] : r.refArgs)
    if (p == pos) return v.asString();
  return "<unchanged>";
}

}  // namespace

TEST_F(Registro, SettingsComeFromTheCallersCompany) {
  auto valida = call("GetValidaGR", {});
  ASSERT_TRUE(valida.ok()) << valida.text;
  EXPECT_EQ(cell(valida, "IDSISDOS"), "1");
  EXPECT_EQ(cell(call("GetOrcaFestas", {}, {}, "08"), "IDEXIBDADORC"), "S");
  EXPECT_EQ(cell(call("GetOrcaFestas", {}), "IDEXIBDADORC"), "N");
  auto geral = call("GetGeralRec", {});
  EXPECT_EQ(cell(geral, "IDBLOQALTBOLREC"), "N");
  EXPECT_TRUE(cell(geral, "TXVISUBOLREC").is_null()) << "no layout saved: the register's default";
  EXPECT_EQ(cell(call("GetGeralRec", {}, {}, "12"), "IDBLOQALTBOLREC"), "S");
  auto days = call("GetGeral_Rec", {});
  EXPECT_EQ(cell(days, "QTDIAANTBOLR"), 5.0);
  EXPECT_EQ(cell(days, "QTDIAAPOBOLR"), 30.0);
  EXPECT_EQ(rowsOf(call("GetParamGeral", {})).size(), 1u);

  EXPECT_EQ(call("GetGeralRec", {}, {}, "").key, "EMPRESA_VAZIA");
  EXPECT_EQ(call("GetGeralRec", {}, {}, "99").key, "ACESSO_EMPRESA");
  EXPECT_EQ(call("GetGeralRec", {Variant("x")}).key, "ARG_QTDE");
}

TEST_F(Registro, PagesOfTheCurrentBoletoWithItsKeyPadded) {
  auto rec = call("GetCntReceber", {Variant("1"), Variant("3")}, {true, true});
  ASSERT_TRUE(rec.ok()) << rec.text;
  EXPECT_EQ(refArg(rec, 0), "0001");
  EXPECT_EQ(refArg(rec, 1), "0000000003");
  ASSERT_EQ(rowsOf(rec).size(), 2u);
  EXPECT_EQ(cell(rec, "NRDUPLICATA", 0), "000003");
  EXPECT_EQ(cell(rec, "NRDUPLICATA", 1), "000500");
  EXPECT_DOUBLE_EQ(
      cell(rec, "VRORIGREC", 0).get<double>() + cell(rec, "VRORIGREC", 1).get<double>(), 215.90);

  auto aj = call("GetAjBolRec", {Variant("0001"), Variant("0000000003")}, {true, true});
  ASSERT_EQ(rowsOf(aj).size(), 1u);
  EXPECT_EQ(cell(aj, "IDAJUCTREC"), "D");
  EXPECT_EQ(cell(aj, "VRAJBOLREC"), 10.0);
  EXPECT_EQ(cell(aj, "DSAJUCTREC"), "Desconto");

  auto tp = call("GetTpRecBoleto", {Variant("0001"), Variant("0000000001")}, {true, true});
  ASSERT_EQ(rowsOf(tp).size(), 2u);
  EXPECT_EQ(cell(tp, "NRSEQTPRECBO", 0), "01");
  EXPECT_EQ(cell(tp, "NMTIPORECE", 1), "Cheque");
  EXPECT_EQ(cell(tp, "NRCHEQBOLREC", 1), "000123");
  EXPECT_TRUE(cell(tp, "NRCHEQBOLREC", 0).is_null());

  // Never split: the boleto alone as instalment "00". Split: the instalments of its origin.
  auto alone = call("GetParcelamento", {Variant("0001"), Variant("0000000002"), Variant("")},
                    {true, true, true});
  ASSERT_EQ(rowsOf(alone).size(), 1u);
  EXPECT_EQ(cell(alone, "NRPARCBOLRECVISU"), "00");
  EXPECT_EQ(cell(alone, "NRPARCBOLRECNUM"), 0.0);
  auto split = call("GetParcelamento", {Variant("0001"), Variant("0000000008"), Variant("8")},
                    {true, true, true});
  ASSERT_TRUE(split.ok()) << split.text;
  EXPECT_EQ(refArg(split, 2), "0000000008");
  ASSERT_EQ(rowsOf(split).size(), 1u);
  EXPECT_EQ(cell(split, "NRPARCBOLRECVISU"), "01");
  EXPECT_EQ(cell(split, "DSMOTIPARC"), "Acordo comercial");
  EXPECT_EQ(cell(split, "CDCONTCORR"), "0081234");

  EXPECT_EQ(
      rowsOf(call("GetCntReceber", {Variant("0001"), Variant("0000009999")}, {true, true})).size(),
      0u);
  EXPECT_EQ(call("GetCntReceber", {Variant("00001"), Variant("1")}).key, "ARG_TAMANHO");
  // A boleto of a company the operator may not use is not shown.
  svc_->db->session() << "DELETE FROM OPEREMPRESA WHERE CDOPERADOR = 'demo' AND CDEMPRESA = '12'";
  EXPECT_EQ(call("GetCntReceber", {Variant("0004"), Variant("1")}).key, "ACESSO_EMPRESA");
}

TEST_F(Registro, BankMessageChangesOnlyWhereNobodyChangedItMeanwhile) {
  auto read = call("GetCNABMsg", {Variant("0001"), Variant("0000000001")}, {true, true});
  ASSERT_TRUE(read.ok()) << read.text;
  host::ClientDataset cdsCNABMsg("cdsCNABMsg");
  cdsCNABMsg.loadPacket(read.result.packetJson());
  ASSERT_EQ(cdsCNABMsg.valueOf("TXMENSBOLBOL").asString(), "Não receber após o vencimento.");
  cdsCNABMsg.edit();
  cdsCNABMsg.fieldByName("TXMENSBOLBOL").setString("Cobrar multa após o vencimento.");
  cdsCNABMsg.post();
  auto delta = cdsCNABMsg.delta();

  auto applied = call("SetCNABMsg", {Variant::packet(delta)});
  ASSERT_TRUE(applied.ok()) << applied.text;
  EXPECT_EQ(cell(call("GetCNABMsg", {Variant("0001"), Variant("0000000001")}), "TXMENSBOLBOL"),
            "Cobrar multa após o vencimento.");

  // The same change again: its original is no longer what is stored.
  EXPECT_EQ(call("SetCNABMsg", {Variant::packet(delta)}).key, "ALT_BLOQ");

  // Two rows, the second stale: nothing of the call is kept.
  cdsCNABMsg.mergeChangeLog();
  cdsCNABMsg.edit();
  cdsCNABMsg.fieldByName("TXMENSBOLBOL").setString("Primeira");
  cdsCNABMsg.post();
  auto good = cdsCNABMsg.delta();
  auto both = good;
  auto stale = delta;  // original "Não receber ...", long since replaced
  both["rows"].push_back(stale["rows"][0]);
  both["changes"].push_back(
      {{"kind", "modify"}, {"row", 1}, {"original", stale["changes"][0]["original"]}});
  EXPECT_EQ(call("SetCNABMsg", {Variant::packet(both)}).key, "ALT_BLOQ");
  EXPECT_EQ(cell(call("GetCNABMsg", {Variant("0001"), Variant("0000000001")}), "TXMENSBOLBOL"),
            "Cobrar multa após o vencimento.");

  auto tooLong = good;
  tooLong["rows"][0][2] = std::string(501, 'x');
  tooLong["fields"][2]["size"] = 600;
  EXPECT_EQ(call("SetCNABMsg", {Variant::packet(tooLong)}).key, "ARG_TAMANHO");
  EXPECT_EQ(call("SetCNABMsg", {Variant("texto")}).key, "ARG_TIPO");
  EXPECT_TRUE(call("SetCNABMsg", {Variant::packet(good)}).ok());
}

TEST_F(Registro, LookUpsOfTheFilterAndTheExtensionPage) {
  auto reason = call("GetProrrogacao", {Variant("1"), Variant("")});
  ASSERT_EQ(rowsOf(reason).size(), 1u);
  EXPECT_EQ(cell(reason, "DSMOTIPROR"), "Solicitação do cliente");
  EXPECT_EQ(rowsOf(call("GetProrrogacao", {Variant(""), Variant("T")})).size(), 2u);
  EXPECT_EQ(rowsOf(call("GetProrrogacao", {Variant("9"), Variant("")})).size(), 0u);

  auto client = call("GetCliente", {Variant("101")});
  ASSERT_EQ(rowsOf(client).size(), 1u);
  EXPECT_EQ(cell(client, "VRPEMULBCLI"), 1.5);
  EXPECT_TRUE(cell(client, "VRPEMORBCLI").is_null());

  auto formRec = call("GetFormRec", {});
  ASSERT_EQ(rowsOf(formRec).size(), 3u);
  EXPECT_EQ(cell(formRec, "IDMARCADO"), "N");
  auto vehicles = call("GetVeiculo", {});
  ASSERT_EQ(rowsOf(vehicles).size(), 2u);
  EXPECT_EQ(cell(vehicles, "NRPLACA", 1), "XYZ9A87");

  // Receivables due from 2 to 12 March: those of the boletos due in 3, 8 and 10 days.
  auto invoices = call("GetDuplicata", {Variant("04"), Variant(host::DateTime::fromYmd(2026, 3, 2)),
                                        Variant(host::DateTime::fromYmd(2026, 3, 12))});
  ASSERT_TRUE(invoices.ok()) << invoices.text;
  ASSERT_EQ(rowsOf(invoices).size(), 2u);
  EXPECT_EQ(cell(invoices, "NRDUPLICATA", 0), "000001");
  EXPECT_DOUBLE_EQ(cell(invoices, "VRDUPLICATA", 0).get<double>(), 1520.40 + 99.99);
  EXPECT_EQ(cell(invoices, "NRDUPLICATA", 1), "000009");
  EXPECT_EQ(rowsOf(call("GetDuplicata", {Variant("04"), Variant(), Variant()})).size(), 10u);
  EXPECT_EQ(call("GetDuplicata", {Variant("99"), Variant(), Variant()}).key, "ACESSO_EMPRESA");
  EXPECT_EQ(call("GetDuplicata", {Variant("04"), Variant("02/03/2026"), Variant()}).key,
            "ARG_TIPO");
}

TEST_F(Registro, ClientSearchByNameTradeNameOrTaxNumber) {
  auto found = [&](const std::string& key) {
    auto r = call("GetBuscaCliente", {Variant(key)}, {true});
    EXPECT_TRUE(r.ok()) << r.text;
    std::vector<std::string> codes;
    for (const auto& row : rowsOf(r)) codes.push_back(row[0]);
    return codes;
  };
  EXPECT_EQ(found("alfa"), (std::vector<std::string>{"000000000000000000101"}));
  EXPECT_EQ(found("SOUZA"), (std::vector<std::string>{"000000000000000000106"}));
  EXPECT_EQ(found("11.222.333/0001"), (std::vector<std::string>{"000000000000000000101"}));
  EXPECT_EQ(found("Lima").size(), 1u) << "trade name \"José Lima\"";
  EXPECT_EQ(found("joao"), (std::vector<std::string>{"000000000000000000105"})) << "João";
  EXPECT_EQ(found("EPSILON FESTAS"), (std::vector<std::string>{"000000000000000000108"}));
  EXPECT_TRUE(found("").empty()) << "an empty key finds no one";
  EXPECT_TRUE(found("' OR 'x'='x").empty());
  auto r = call("GetBuscaCliente", {Variant("  alfa  ")}, {true});
  EXPECT_EQ(refArg(r, 0), "alfa");
}

TEST_F(Registro, ExtensionControlByOperatorGroup) {
  auto control = [&] {
    auto r = call("GetContProrVenc", {Variant("demo")});
    EXPECT_TRUE(r.ok()) << r.text;
    return std::make_pair(r.result.items()[0].packetJson()["rows"].size(),
                          r.result.items()[1].packetJson()["rows"].size());
  };
  EXPECT_EQ(control(), std::make_pair(size_t{0}, size_t{0})) << "no control: anyone extends";
  auto& sql = svc_->db->session();
  sql << "INSERT INTO GRUPOPER (CDGRUPOPER, NMGRUPOPER) VALUES ('0001', 'Cobrança')";
  sql << "INSERT INTO CONTPRORVENC (CDEMPRESA, CDGRUPOPER) VALUES ('04', '0001')";
  EXPECT_EQ(control(), std::make_pair(size_t{1}, size_t{0})) << "controlled, not in the group";
  sql << "INSERT INTO OPERGRUPO (CDOPERADOR, CDGRUPOPER) VALUES ('demo', '0001')";
  EXPECT_EQ(control(), std::make_pair(size_t{1}, size_t{1}));
}

TEST_F(Registro, DirectQueryCallsAreCheckedLikeAnyOther) {
  auto pair = [](const char* name, Variant v) {
    return Variant::array({Variant(name), std::move(v)});
  };
  auto query = [&](const std::string& company, Variant params, const char* name = "qryContCorr") {
    return call("Consulta", {Variant(name), std::move(params)}, {}, company, "demo",
                "Host.rdmQuery");
  };
  Variant all =
      Variant::array({pair("P_CDREDUCONT", Variant("")), pair("P_TCDREDUCONT", Variant("T"))});
  EXPECT_EQ(rowsOf(query("08", all)).size(), 4u);
  EXPECT_EQ(query("", all).key, "EMPRESA_VAZIA") << "accounts of no company";
  EXPECT_EQ(query("99", all).key, "ACESSO_EMPRESA");
  EXPECT_EQ(query("04", Variant("P_TCDREDUCONT=T")).key, "ARG_TIPO");
  EXPECT_EQ(query("04", Variant::array({Variant("P_TCDREDUCONT")})).key, "ARG_TIPO");
  EXPECT_EQ(query("04", Variant::array({pair("P_TCDREDUCONT", Variant::array({}))})).key,
            "ARG_TIPO");
  // The company look-up answers whatever the caller's company: the register checks access
  // itself, after it has shown the company's name.
  Variant one =
      Variant::array({pair("P_CDEMPRESA", Variant("04")), pair("P_TCDEMPRESA", Variant(""))});
  EXPECT_EQ(rowsOf(query("99", one, "qryEmpresa")).size(), 1u);
  EXPECT_EQ(query("04", Variant(), "SELECT * FROM OPERADOR").key, "CONSULTA_DESCONHECIDA");
}

TEST_F(Registro, TheCompanyListingNamesOnlyTheCompaniesTheOperatorMayUse) {
  service::saveOperator(svc_->db->session(), "ana", "Ana", "s3nha", {"04", "12"});
  auto listing = [&](const std::string& op, const char* code, const char* all) {
    auto reply = call("Consulta",
                      {Variant("qryEmpresa"),
                       Variant::array({Variant::array({Variant("P_CDEMPRESA"), Variant(code)}),
                                       Variant::array({Variant("P_TCDEMPRESA"), Variant(all)})})},
                      {}, "04", op, "Host.rdmQuery");
    std::vector<std::string> codes;
    for (const auto& row : rowsOf(reply)) codes.push_back(row[0].get<std::string>());
    return codes;
  };
  EXPECT_EQ(listing("ana", "", "T"), (std::vector<std::string>{"04", "12"}));
  EXPECT_EQ(listing("demo", "", "T"), (std::vector<std::string>{"04", "08", "12"}));
  // One company by its code still answers, so the register can say the operator may not use it.
  EXPECT_EQ(listing("ana", "08", ""), (std::vector<std::string>{"08"}));
}
