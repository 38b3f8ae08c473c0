#include "module/Records.h"

#include "host/Errors.h"
#include "host/bank/BankLayout.h"

namespace rec {

using host::FieldDef;
using host::FieldType;

namespace {

constexpr const char* kMoney = "#,##0.00";
constexpr const char* kPercent = "#,##0.000";

FieldDef S(const char* name, int size, const char* label = "") {
  FieldDef f;
  f.name = name;
  f.type = FieldType::String;
  f.size = size;
  f.displayLabel = label;
  return f;
}

FieldDef F(const char* name, const char* label = "", const char* format = "") {
  FieldDef f;
  f.name = name;
  f.type = FieldType::Float;
  f.displayLabel = label;
  f.displayFormat = format;
  return f;
}

FieldDef D(const char* name, const char* label = "") {
  FieldDef f;
  f.name = name;
  f.type = FieldType::Date;
  f.displayLabel = label;
  f.displayFormat = "dd/mm/yyyy";
  return f;
}

FieldDef masked(FieldDef f, const char* mask) {
  f.editMask = mask;
  return f;
}

FieldDef fixed(FieldDef f) {
  f.fixedWidth = true;
  return f;
}

std::vector<FieldDef> makeBoletoRecord() {
  return {
      F("QTDIADEVOL"),
      S("CDDIADEVOL", 1),
      S("CDDEPIDENREC", 30),
      S("NRORCAEVENTO", 10, "Orçamento"),
      fixed(S("NRSEQORCAEVE", 2, "Seq.")),
      S("NF_ORCAMENTO", 4, "Filial de Orçamento"),
      S("CDFILIAL", 4),
      S("NRLANBOLREC", 10),
      S("CDCLIENTE", 21),
      F("FTR_PARCNUM"),
      S("NMFANTCLIE", 50, "Cliente"),
      S("NMRAZSOCCLIE", 50),
      S("IDUTLICEUSO", 1),
      S("CDEMPRESA", 2),
      F("VRBOLREC", "", kMoney),
      F("VRPEMULBREC", "Multa (%)", kPercent),
      F("VRMULTABREC", "Multa (Valor)", kMoney),
      F("VRPEMORBREC", "Mora Diário (%)", kPercent),
      F("VRFINALBREC", "Valor Líquido", kMoney),
      F("VRMORDIABREC", "Mora Diário (Valor)", kMoney),
      D("DTVENBOLREC"),
      S("IDSTATBREC", 1, "Status"),
      S("CDTPBAIXAREC", 2),
      masked(S("CDREDUCONT", 3), ">aaa;0; "),
      S("CDNOSNUMREC", 20),
      S("CDCARTCOBBOL", 3),
      S("CDINS1COBBOL", 2),
      S("CDINS2COBBOL", 2),
      F("QTDIAPROTBOL"),
      S("IDIMPRBOLBOL", 1),
      S("CDBARRAREC", 44),
      S("NRORIGBOLREC", 10),
      S("IDSITUCNABR", 2),
      S("CDBANCO", 3),
      S("CDAGENCIA", 5),
      S("CDCONTCORR", 10),
      S("DSCONTCORR", 20),
      S("CDPICTCONT", 20),
      S("CDBANCCNAB", 3),
      S("NRCNABRECREM", 10),
      S("NRCNABRECRET", 10),
      S("CDMOTIPARC", 2),
      S("NRPARCBOLREC", 3),
      S("DSLINHABARREC", 55),
      S("DSARQBOLCOMP", 250),
      S("DSARQBOLPREI", 250),
      S("NMTPBAIXAREC", 50),
      S("IDPROTESTREC", 1),
      D("DTINIPROTREC"),
      D("DTFIMPROTREC"),
      S("CDMOTIPROR", 2),
      D("DTEMISSAO"),
      S("NRLICENCAUSO", 10),
      S("IDMARCADO", 1),
      S("NRMOVICRED", 10),
      S("IDCARTCOBREC", 1),
      D("FTR_DTVENBOLREC", "Vencimento"),
      S("FTR_NMRAZSOCCLIE", 50, "Cliente"),
      S("FTR_NRPARCBOLREC", 2, "Parc."),
      S("FTR_NRDUPLICATA", 10, "Duplicata"),
      F("FTR_VRFINALBREC", "Valor Líquido", kMoney),
      S("FTR_IDSTATBREC", 1, "Status"),
      masked(S("FTR_NRLICENCAUSO", 10, "Licença de Uso"), "9999999999;0; "),
      S("FTR_NRNOTAFISC", 20, "Nota Fiscal"),
      S("FTR_CDFILIEMIT", 4, "Filial Orig."),
      S("FTR_CDFILIAL", 4, "Filial Lanc."),
      D("FTR_DTEMISSAO", "Emissão"),
      S("CDPICTAGEN", 10),
      S("CDDIAPROTBOL", 1),
      S("IDTPCTRECEBER", 1),
      S("IDBOLEMITIDO", 1),
      S("IDBOLRECALTER", 1),
      S("FTR_IDPROTESTREC", 1, "Prot."),
      S("FTR_IDSITUCNABR", 2, "Sit. CNAB"),
      S("FTR_NRCNABRECRET", 10, "Nro. Retorno"),
      S("FTR_NRCNABRECREM", 10, "Nro. Remessa"),
      S("DSEMAILCLIE", 50, "E-mail"),
      F("VRTAXACARTORIO", "Vr. Taxa Cartório", kMoney),
      S("NRINSJURCLIE", 20, "Inscrição Jurídica"),
      S("IDTPIJURCLIE", 1),
      S("IDFORMCADBREC", 1),
      S("IDBAIXAUTILR", 1),
      S("DSEMAILCLIECOP", 400),
      S("FTR_CDVIATURA", 4),
      S("FTR_DSBOLETREC", 400, "Descrição"),
      S("NRPARCBOLRECVISU", 4),
      S("CDFILORIG", 4),
      S("NMFILIAL", 30),
  };
}

std::vector<FieldDef> makeBankAccountRecord() {
  return {
      S("CDREDUCONT", 3, "Código"),
      S("CDBANCO", 3, "Banco"),
      S("NMBANCO", 30),
      S("CDAGENCIA", 5, "Agência"),
      S("CDCONTCORR", 10, "Conta Corrente"),
      S("CDBANCCNAB", 3),
      S("CDBANCOCONV", 20),
      S("CDCEDENTEBAN", 10),
      S("CDOPERCONTCORR", 20),
      S("DSNOSNUMCORR", 200),
      S("DSDACNOSNUMR", 60),
      S("DSLINHADCORR", 200),
      S("DSARQBOLCOMP", 250),
      S("DSARQBOLPREI", 250),
      S("IDVERFXNUMC", 1),
      S("NRININOSNUMC", 20),
      S("NRFIMNOSNUMC", 20),
      S("IDVERFXNUMP", 1),
      S("NRININOSNUMP", 20),
      S("NRFIMNOSNUMP", 20),
      S("IDFORMCADBANC", 1),
      S("DSCONTCORR", 20, "Descrição"),
      S("CDPICTAGEN", 10),
      S("CDPICTCONT", 20),
      S("CDCARTCOBR", 3),
      S("IDCARTCOBR", 1),
      S("CDINS1COBR", 2),
      S("CDINS2COBR", 2),
      S("IDIMPRBOLETO", 1),
      F("QTDIAPROTEST"),
      S("CDDIAPROTEST", 1, "Dia para protesto"),
      F("QTDIADEVOL"),
      S("CDDIADEVOL", 1),
      S("TXMENSBOLETO", 500),
      S("CDFILIAL", 4),
  };
}

}  // namespace

const std::vector<FieldDef>& BoletoRecord() {
  static const std::vector<FieldDef> fields = makeBoletoRecord();
  return fields;
}

const std::vector<FieldDef>& BankAccountRecord() {
  static const std::vector<FieldDef> fields = makeBankAccountRecord();
  return fields;
}

const FieldDef& fieldOf(const std::vector<FieldDef>& table, std::string_view name) {
  for (const auto& f : table)
    if (f.name == name) return f;
  BOLETO_CHECK(false, "no field " + std::string(name));
  throw host::InvariantError("unreachable");
}

std::string boletoKey(std::string_view cdFilial, std::string_view nrLanBolRec) {
  return std::string(cdFilial) + std::string(nrLanBolRec);
}

std::string registrationForm(std::string_view idFormCadBanc) {
  return idFormCadBanc.empty() ? std::string("1") : std::string(idFormCadBanc);
}

namespace {
void rewriteBank(host::ClientDataset& ds, const std::string& code) {
  if (ds.valueOf("CDBANCCNAB").asString() == code) return;
  ds.edit();
  ds.fieldByName("CDBANCCNAB").setString(code);
  ds.post();
}
}  // namespace

void normalizeBankCodeForEmission(host::ClientDataset& ds) {
  if (ds.isEmpty()) return;
  rewriteBank(ds, bank::CodigoEmissao(ds.valueOf("CDBANCCNAB").asString(),
                                      ds.valueOf("CDBANCOCONV").asString()));
}

void normalizeBankCodeForMail(host::ClientDataset& ds) {
  if (ds.isEmpty()) return;
  rewriteBank(ds, bank::CodigoEmail(ds.valueOf("CDBANCCNAB").asString(),
                                    ds.valueOf("CDBANCOCONV").asString()));
}

}  // namespace rec
