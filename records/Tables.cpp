#include "records/Tables.h"

#include <fmt/format.h>

#include "host/Errors.h"

namespace records {

host::FieldDef Field::def() const {
  return Column(*this).def();
}

host::FieldDef Column::def() const {
  host::FieldDef f;
  f.name = field_.name;
  f.type = type_;
  // A dataset gives a text without a size 20 characters; every text here has its own.
  if (size_ > 0) f.size = size_;
  f.displayLabel = label_;
  f.displayFormat = format_;
  f.editMask = mask_;
  f.fixedWidth = fixed_;
  return f;
}

std::string boletoKey(std::string_view cdFilial, std::string_view nrLanBolRec) {
  return std::string(cdFilial) + std::string(nrLanBolRec);
}

Table::Table(std::string dataset, std::initializer_list<Column> columns)
    : dataset_(std::move(dataset)) {
  defs_.reserve(columns.size());
  for (const auto& c : columns) {
    if (has(c.field().name))
      throw host::InvariantError(
          fmt::format("{} declares the field {} twice", dataset_, c.field().name));
    defs_.push_back(c.def());
  }
}

bool Table::has(std::string_view name) const {
  for (const auto& f : defs_)
    if (f.name == name) return true;
  return false;
}

size_t Table::indexOf(std::string_view name) const {
  for (size_t i = 0; i < defs_.size(); ++i)
    if (defs_[i].name == name) return i;
  throw host::InvariantError(fmt::format("{} has no field {}", dataset_, name));
}

const host::FieldDef& Table::operator[](std::string_view name) const {
  return defs_[indexOf(name)];
}

void Table::requireIn(const host::ClientDataset& ds) const {
  for (const auto& f : defs_) {
    if (ds.fieldIndex(f.name) < 0)
      throw host::InvariantError(fmt::format("{} has no field {}", ds.name(), f.name));
  }
}

namespace {
using namespace fld;
}  // namespace

const Table& BoletoRecord() {
  static const Table t{"cdsBoletos",
                       {
                           QTDIADEVOL,
                           CDDIADEVOL,
                           CDDEPIDENREC,
                           NRORCAEVENTO.labeled("Orçamento"),
                           NRSEQORCAEVE.labeled("Seq.").fixedWidth(),
                           NF_ORCAMENTO.labeled("Filial de Orçamento"),
                           CDFILIAL,
                           NRLANBOLREC,
                           CDCLIENTE,
                           FTR_PARCNUM,
                           NMFANTCLIE.labeled("Cliente"),
                           NMRAZSOCCLIE,
                           IDUTLICEUSO,
                           CDEMPRESA,
                           VRBOLREC.formatted(kMoney),
                           VRPEMULBREC.labeled("Multa (%)").formatted(kPercent),
                           VRMULTABREC.labeled("Multa (Valor)").formatted(kMoney),
                           VRPEMORBREC.labeled("Mora Diário (%)").formatted(kPercent),
                           VRFINALBREC.labeled("Valor Líquido").formatted(kMoney),
                           VRMORDIABREC.labeled("Mora Diário (Valor)").formatted(kMoney),
                           DTVENBOLREC.formatted(kDate),
                           IDSTATBREC.labeled("Status"),
                           CDTPBAIXAREC,
                           CDREDUCONT.masked(">aaa;0; "),
                           CDNOSNUMREC,
                           CDCARTCOBBOL,
                           CDINS1COBBOL,
                           CDINS2COBBOL,
                           QTDIAPROTBOL,
                           IDIMPRBOLBOL,
                           CDBARRAREC,
                           NRORIGBOLREC,
                           IDSITUCNABR,
                           CDBANCO,
                           CDAGENCIA,
                           CDCONTCORR,
                           DSCONTCORR,
                           CDPICTCONT,
                           CDBANCCNAB,
                           NRCNABRECREM,
                           NRCNABRECRET,
                           CDMOTIPARC,
                           NRPARCBOLREC,
                           DSLINHABARREC,
                           DSARQBOLCOMP,
                           DSARQBOLPREI,
                           NMTPBAIXAREC,
                           IDPROTESTREC,
                           DTINIPROTREC.formatted(kDate),
                           DTFIMPROTREC.formatted(kDate),
                           CDMOTIPROR,
                           DTEMISSAO.formatted(kDate),
                           NRLICENCAUSO,
                           IDMARCADO,
                           NRMOVICRED,
                           IDCARTCOBREC,
                           FTR_DTVENBOLREC.labeled("Vencimento").formatted(kDate),
                           FTR_NMRAZSOCCLIE.labeled("Cliente"),
                           FTR_NRPARCBOLREC.labeled("Parc."),
                           FTR_NRDUPLICATA.labeled("Duplicata"),
                           FTR_VRFINALBREC.labeled("Valor Líquido").formatted(kMoney),
                           FTR_IDSTATBREC.labeled("Status"),
                           FTR_NRLICENCAUSO.labeled("Licença de Uso").masked("9999999999;0; "),
                           FTR_NRNOTAFISC.labeled("Nota Fiscal"),
                           FTR_CDFILIEMIT.labeled("Filial Orig."),
                           FTR_CDFILIAL.labeled("Filial Lanc."),
                           FTR_DTEMISSAO.labeled("Emissão").formatted(kDate),
                           CDPICTAGEN,
                           CDDIAPROTBOL,
                           IDTPCTRECEBER,
                           IDBOLEMITIDO,
                           IDBOLRECALTER,
                           FTR_IDPROTESTREC.labeled("Prot."),
                           FTR_IDSITUCNABR.labeled("Sit. CNAB"),
                           FTR_NRCNABRECRET.labeled("Nro. Retorno"),
                           FTR_NRCNABRECREM.labeled("Nro. Remessa"),
                           DSEMAILCLIE.labeled("E-mail"),
                           VRTAXACARTORIO.labeled("Vr. Taxa Cartório").formatted(kMoney),
                           NRINSJURCLIE.labeled("Inscrição Jurídica"),
                           IDTPIJURCLIE,
                           IDFORMCADBREC,
                           IDBAIXAUTILR,
                           DSEMAILCLIECOP,
                           FTR_CDVIATURA,
                           FTR_DSBOLETREC.labeled("Descrição"),
                           NRPARCBOLRECVISU,
                           CDFILORIG,
                           NMFILIAL,
                           DSCHAVEPIX.labeled("Chave Pix"),
                       }};
  return t;
}

const Table& BankAccountRecord() {
  static const Table t{"cdsContCorr",
                       {
                           CDREDUCONT.labeled("Código"),
                           CDBANCO.labeled("Banco"),
                           NMBANCO,
                           CDAGENCIA.labeled("Agência"),
                           CDCONTCORR.labeled("Conta Corrente"),
                           CDBANCCNAB,
                           CDBANCOCONV,
                           CDCEDENTEBAN,
                           CDOPERCONTCORR,
                           DSNOSNUMCORR,
                           DSDACNOSNUMR,
                           DSLINHADCORR,
                           DSARQBOLCOMP,
                           DSARQBOLPREI,
                           IDVERFXNUMC,
                           NRININOSNUMC,
                           NRFIMNOSNUMC,
                           IDVERFXNUMP,
                           NRININOSNUMP,
                           NRFIMNOSNUMP,
                           IDFORMCADBANC,
                           DSCONTCORR.labeled("Descrição"),
                           CDPICTAGEN,
                           CDPICTCONT,
                           CDCARTCOBR,
                           IDCARTCOBR,
                           CDINS1COBR,
                           CDINS2COBR,
                           IDIMPRBOLETO,
                           QTDIAPROTEST,
                           CDDIAPROTEST.labeled("Dia para protesto"),
                           QTDIADEVOL,
                           CDDIADEVOL,
                           TXMENSBOLETO,
                           CDFILIAL,
                           DSCHAVEPIX.labeled("Chave Pix"),
                       }};
  return t;
}

const Table& cdsBolEmitOrd() {
  // The barcode is copied from the list; the order has always given it room to spare.
  static const Table t{"cdsBolEmitOrd",
                       {CDFILIAL,        NRLANBOLREC,          CDNOSNUMREC,      CDTPBAIXAREC,
                        FTR_DTVENBOLREC, FTR_NMRAZSOCCLIE,     FTR_NRPARCBOLREC, FTR_NRDUPLICATA,
                        FTR_VRFINALBREC, FTR_IDSTATBREC,       FTR_NRLICENCAUSO, FTR_NRNOTAFISC,
                        FTR_CDFILIEMIT,  FTR_CDFILIAL,         FTR_DTEMISSAO,    FTR_IDPROTESTREC,
                        FTR_IDSITUCNABR, FTR_NRCNABRECRET,     FTR_NRCNABRECREM, DSEMAILCLIE,
                        VRTAXACARTORIO,  NRINSJURCLIE,         IDTPIJURCLIE,     FTR_PARCNUM,
                        IDBAIXAUTILR,    DSEMAILCLIECOP,       FTR_CDVIATURA,    IDFORMCADBREC,
                        FTR_DSBOLETREC,  CDBARRAREC.sized(200)}};
  return t;
}

const Table& cdsChaveBol() {
  static const Table t{"cdsChaveBol", {CDFILIAL, NRLANBOLREC}};
  return t;
}

const Table& cdsOrdemPrint() {
  static const Table t{"cdsOrdemPrint", {CDFILIAL, NRLANBOLREC, NRORDEM}};
  return t;
}

const Table& cdsVisualiza() {
  static const Table t{"cdsVisualiza", {FIELD, VISUALIZA, ORDEM, TAMANHO}};
  return t;
}

const Table& cdsCriaLista() {
  static const Table t{"cdsCriaLista", {NRLISTA, CDLISTA}};
  return t;
}

const Table& cdsOpcoes() {
  static const Table t{"cdsOpcoes", {NMCHAVE, TXVALOR}};
  return t;
}

const Table& cdsValidaGR() {
  static const Table t{"cdsValidaGR", {IDSISDOS}};
  return t;
}

const Table& cdsOrcaFestas() {
  static const Table t{"cdsOrcaFestas", {IDEXIBDADORC}};
  return t;
}

const Table& cdsGeralRec() {
  static const Table t{"cdsGeralRec",
                       {IDSOLDIRBOLETO, IDORDIMPRBOL, TXVISUBOLREC, IDUTCTRLCANREMR,
                        IDUTLNFDEVOLREC, IDBLOQALTBOLREC, IDUTBCOPREFCLIE}};
  return t;
}

const Table& cdsGeral_Rec() {
  static const Table t{"cdsGeral_Rec", {QTDIAANTBOLR, QTDIAAPOBOLR}};
  return t;
}

const Table& cdsParamGeral() {
  static const Table t{"cdsParamGeral",
                       {CDEMPRESA, IDSISDOS, IDEXIBDADORC, QTDIAANTBOLR, QTDIAAPOBOLR}};
  return t;
}

const Table& cdsCntReceber() {
  static const Table t{
      "cdsCntReceber",
      {CDFILIAL,     NRCTRECEBER,  CDEMPRESA, CDCLIENTE,    CDFILIEMIT,
       NRDUPLICATA,  NRNOTAFISC,   CDSERIE,   NRPARCELAREC, NRSEQVENREC,
       DTEMISSAO,    DTVENCTREC,   VRORIGREC, VRATUAREC,    IDSTATCTREC,
       CDTPBAIXAREC, NRLICENCAUSO, CDVIATURA, DSCTRECEBER,  DOCUMENTO.labeled("Doc/Série")}};
  return t;
}

const Table& cdsCNABMsg() {
  static const Table t{"cdsCNABMsg", {CDFILIAL, NRLANBOLREC, TXMENSBOLBOL}};
  return t;
}

const Table& cdsAjBolRec() {
  static const Table t{
      "cdsAjBolRec",
      {CDFILIAL, NRLANBOLREC, CDAJUCTREC, DSAJUCTREC, IDAJUCTREC, VRAJBOLREC, IDORIGAJBREC}};
  return t;
}

const Table& cdsParcelamento() {
  static const Table t{
      "cdsParcelamento",
      {NRPARCBOLRECVISU, NRPARCBOLRECNUM, NRPARCBOLREC, DTVENBOLREC,  VRFINALBREC, VRBOLREC,
       CDMOTIPARC,       DSMOTIPARC,      IDSTATBREC,   NRORIGBOLREC, CDFILIAL,    NRLANBOLREC,
       CDCLIENTE,        CDEMPRESA,       CDREDUCONT,   CDCONTCORR,   CDNOSNUMREC, CDCARTCOBBOL,
       CDINS1COBBOL,     CDINS2COBBOL,    QTDIAPROTBOL, IDIMPRBOLBOL, CDBARRAREC,  DSLINHABARREC,
       TXMENSBOLBOL,     IDSITUCNABR}};
  return t;
}

const Table& cdsTpRecBoleto() {
  static const Table t{"cdsTpRecBoleto",
                       {CDFILIAL, NRLANBOLREC, NRSEQTPRECBO, CDTIPORECE, NMTIPORECE, VRTPRECBOLR,
                        CDBANCBOLREC, NRCHEQBOLREC, CDAGENBOLREC, CDCONTBOLREC, DTCHEQBOLREC,
                        CDCARTAO, NMCARTAO, NRCARCREBOLR, DSCHEQBOLREC}};
  return t;
}

const Table& cdsProrrogacao() {
  static const Table t{"cdsProrrogacao", {CDMOTIPROR, DSMOTIPROR}};
  return t;
}

const Table& cdsCliente() {
  static const Table t{"cdsCliente",
                       {CDCLIENTE, NMRAZSOCCLIE, VRPEMULBCLI, VRPEMORBCLI, IDUTLICEUSO}};
  return t;
}

const Table& cdsContProrVenc() {
  static const Table t{"cdsContProrVenc", {CDEMPRESA, CDGRUPOPER}};
  return t;
}

const Table& cdsGrupoOperador() {
  static const Table t{"cdsGrupoOperador", {CDGRUPOPER, NMGRUPOPER}};
  return t;
}

const Table& cdsFormRec() {
  static const Table t{"cdsFormRec", {IDMARCADO, CDTPBAIXAREC, NMTPBAIXAREC}};
  return t;
}

const Table& cdsVeiculo() {
  static const Table t{"cdsVeiculo", {IDMARCADO, CDVIATURA, NRPLACA, DSTIPOVEIC}};
  return t;
}

const Table& cdsDuplicata() {
  static const Table t{"cdsDuplicata",
                       {IDMARCADO, NRDUPLICATA, CDEMPRESA, NRINSJURCLIE, VRDUPLICATA}};
  return t;
}

const Table& cdsBuscaCliente() {
  static const Table t{"cdsBuscaCliente", {CDCLIENTE}};
  return t;
}

const Table& cdsTxMensBol() {
  static const Table t{"cdsTxMensBol", {CDREDUCONT, TXMENSBOLETO}};
  return t;
}

const Table& cdsCheque() {
  static const Table t{"cdsCheque",
                       {NRCHEQUERECE, CDBANCHEQREC, CDAGECHEQREC, CDCNTCHEQREC, VRCHEQUERECE,
                        IDSITCHEQREC, CDREDUCONT, VRUSADOCHEQ}};
  return t;
}

const Table& cdsCdRedTpRe() {
  static const Table t{"cdsCdRedTpRe",
                       {CDFILIAL, NRLANBOLREC, NRSEQTPRECBO, CDTIPORECE, CDREDUCONT}};
  return t;
}

const Table& cdsTipoBaixa() {
  static const Table t{"cdsTipoBaixa", {CDTPBAIXAREC, NMTPBAIXAREC}};
  return t;
}

const Table& cdsInstCobr() {
  static const Table t{"cdsInstCobr", {CDBANCO, CDINSTCOBR, DSINSTCOBR}};
  return t;
}

const Table& cdsFilial() {
  static const Table t{"cdsFilial", {CDFILIAL, NMFILIAL}};
  return t;
}

const Table& cdsFilialCC() {
  static const Table t{"cdsFilialCC", {CDFILORIG, NMFILIAL}};
  return t;
}

const Table& cdsStatus() {
  static const Table t{
      "cdsStatus",
      {CDFILIAL, NRLANBOLREC, IDSTATBREC, NRBAIXAREC, NRCNABRECREM, IDBOLRECALTER, IDSITUCNABR}};
  return t;
}

const Table& cdsAdiantamento() {
  static const Table t{
      "cdsAdiantamento",
      {CDFILIAL, NRADIANTREC, CDEMPRESA, CDCLIENTE, DTADIANTREC, VRADIANTREC, VRSALDOADIANT}};
  return t;
}

const Table& cdsDevolucao() {
  static const Table t{"cdsDevolucao",
                       {CDFILIAL, NRDEVOLREC, CDEMPRESA, CDCLIENTE, DTDEVOLREC, VRDEVOLREC}};
  return t;
}

const Table& cdsBolCliDevoAdian() {
  static const Table t{"cdsBolCliDevoAdian", {CDFILIAL, NRLANBOLREC}};
  return t;
}

const Table& cdsValNosNumero() {
  static const Table t{"cdsValNosNumero", {CDNOSNUMREC, CDREDUCONT}};
  return t;
}

const Table& cdsValidaNossNum() {
  static const Table t{
      "cdsValidaNossNum",
      {CDFILIAL, NRLANBOLREC, CDNOSNUMREC, CDBARRAREC, DSLINHABARREC, IDMODELONUM}};
  return t;
}

const Table& cdsVdDepIdent() {
  static const Table t{"cdsVdDepIdent", {CDRESULT}};
  return t;
}

const Table& cdsPosicao() {
  static const Table t{
      "cdsPosicao",
      {IDMARCADO,    CDFILIAL,      NRLANBOLREC,    CDCLIENTE,    CDEMPRESA,     VRBOLREC,
       VRPEMULBREC,  VRMULTABREC,   VRPEMORBREC,    VRMORDIABREC, DTVENBOLREC,   IDSTATBREC,
       CDTPBAIXAREC, CDREDUCONT,    CDNOSNUMREC,    CDBARRAREC,   DSLINHABARREC, CDCARTCOBBOL,
       CDINS1COBBOL, CDINS2COBBOL,  QTDIAPROTBOL,   CDDIAPROTBOL, QTDIADEVOL,    CDDIADEVOL,
       IDIMPRBOLBOL, TXMENSBOLETO,  NRORIGBOLREC,   IDSITUCNABR,  NRCNABRECREM,  NRCNABRECRET,
       CDMOTIPARC,   NRPARCBOLREC,  IDPROTESTREC,   DTINIPROTREC, DTFIMPROTREC,  NRLICENCAUSO,
       IDCARTCOBREC, IDFORMCADBREC, FTR_DSBOLETREC, CDFILORIG,    TXMENSBOLBOL}};
  return t;
}

const Table& cdsResultado() {
  static const Table t{"cdsResultado", {CDRESULT}};
  return t;
}

const Table& cdsInfoDepIdent() {
  static const Table t{"cdsInfoDepIdent", {CDCENTCUST}};
  return t;
}

const Table& cdsParcContBol() {
  static const Table t{"cdsParcContBol",
                       {CDFILIFIS, NRLANBOLREC, NRPARCBOLREC, DTVENBOLREC, VRFINALBREC, IDSTATBREC,
                        CDREDUCONT, CDCONTCORR, CDCARTCOBBOL, CDTPBAIXAREC, CDNOSNUMREC, CDBARRAREC,
                        IDCARTCOBREC, IDFORMCADBREC}};
  return t;
}

const Table& cdsBuscaBoletos() {
  static const Table t{
      "cdsBuscaBoletos",
      {CDFILIEMIT,       CDFILIAL,        NRLANBOLREC,      CDCLIENTE,       NMRAZSOCCLIE,
       IDUTLICEUSO,      CDEMPRESA,       VRBOLREC,         VRPEMULBREC,     VRMULTABREC,
       VRPEMORBREC,      VRFINALBREC,     VRMORDIABREC,     DTVENBOLREC,     IDSTATBREC,
       CDTPBAIXAREC,     CDREDUCONT,      CDNOSNUMREC,      CDCARTCOBBOL,    CDINS1COBBOL,
       CDINS2COBBOL,     QTDIAPROTBOL,    IDIMPRBOLBOL,     CDBARRAREC,      NRORIGBOLREC,
       IDSITUCNABR,      CDBANCO,         CDAGENCIA,        CDCONTCORR,      DSCONTCORR,
       CDPICTCONT,       CDBANCCNAB,      NRCNABRECREM,     NRCNABRECRET,    CDMOTIPARC,
       NRPARCBOLREC,     DSLINHABARREC,   DSARQBOLCOMP,     DSARQBOLPREI,    NMTPBAIXAREC,
       IDPROTESTREC,     DTINIPROTREC,    DTFIMPROTREC,     CDDIAPROTBOL,    NRMOVICRED,
       IDCARTCOBREC,     VRTAXACARTORIO,  NRORCAEVENTO,     IDBOLEMITIDO,    NMFANTCLIE,
       NRSEQORCAEVE,     CDDEPIDENREC,    CDPICTAGEN,       FTR_DTVENBOLREC, FTR_NMRAZSOCCLIE,
       FTR_NRPARCBOLREC, FTR_VRFINALBREC, FTR_IDSTATBREC,   NF_ORCAMENTO,    FTR_NRLICENCAUSO,
       FTR_NRNOTAFISC,   FTR_CDFILIEMIT,  FTR_CDFILIAL,     FTR_DTEMISSAO,   CDMOTIPROR,
       DTEMISSAO,        NRLICENCAUSO,    FTR_NRDUPLICATA,  FTR_CDVIATURA,   FTR_NRCNABRECREM,
       FTR_NRCNABRECRET, FTR_IDSITUCNABR, FTR_IDPROTESTREC, IDTPCTRECEBER,   IDBOLRECALTER,
       DSEMAILCLIE,      NRINSJURCLIE,    IDTPIJURCLIE,     IDFORMCADBREC,   IDBAIXAUTILR,
       DSEMAILCLIECOP,   FTR_DSBOLETREC,  QTDIADEVOL,       CDDIADEVOL,      CDFILORIG}};
  return t;
}

const Table& cdsIncBoletoConjuga() {
  static const Table t{
      "cdsIncBoleto",
      {CDDIADEVOL,   QTDIADEVOL,    CDFILIAL,       NRLANBOLREC,  VRPEMULBREC,  VRMULTABREC,
       VRPEMORBREC,  VRMORDIABREC,  DTVENBOLREC,    CDTPBAIXAREC, CDREDUCONT,   CDNOSNUMREC,
       CDCARTCOBBOL, CDINS1COBBOL,  CDINS2COBBOL,   QTDIAPROTBOL, IDIMPRBOLBOL, CDBARRAREC,
       IDPROTESTREC, DSLINHABARREC, DTINIPROTREC,   IDCARTCOBREC, DTFIMPROTREC, CDDIAPROTBOL,
       NRLICENCAUSO, IDFORMCADBREC, FTR_DSBOLETREC, CDCLIENTE,    VRBOLREC,     VRFINALBREC,
       CDFILORIG}};
  return t;
}

const Table& cdsBolRec() {
  static const Table t{
      "cdsBolRec",
      {CDFILIAL, NRLANBOLREC, VRBOLREC, VRFINALBREC, DTVENBOLREC, IDSTATBREC, NRORIGBOLREC,
       NRPARCBOLREC, IDPROTESTREC, IDSITUCNABR, IDBOLRECALTER, CDCLIENTE, DTEMISSAO}};
  return t;
}

const Table& RelatorioBoleto() {
  // Printed copies: the agency and account with their digits, the nosso número and the
  // portfolio as the bank shows them, names and addresses of any length.
  static const Table t{"BOLETO",
                       {CDFILIAL,
                        NRLANBOLREC,
                        NMBANCO.asMemo(),
                        CDBANCODV,
                        DSLINHABARREC.sized(60),
                        CDBARRAREC,
                        DSLOCALPAGTO,
                        DTVENBOLREC,
                        NMRAZSOCBENEF,
                        NRINSJURBENEF,
                        DSENDBENEF,
                        CDAGENCIA.sized(20),
                        CDCEDENTEBAN.sized(30),
                        CDCONTCORR.sized(20),
                        DTEMISSAO,
                        NRDOCUMENTO,
                        DSESPECIEDOC,
                        IDACEITE,
                        DTPROCESSAMENTO,
                        CDNOSNUMREC.sized(30),
                        CDCARTCOBBOL.sized(10),
                        VRFINALBREC,
                        VRMULTABREC,
                        VRMORDIABREC,
                        TXINSTRUCOES,
                        NMRAZSOCCLIE.asMemo(),
                        NRINSJURCLIE,
                        DSENDCLIE,
                        NMBAIRROCLIE,
                        NRCEPCLIE,
                        NMCIDADECLIE,
                        SGUFCLIE,
                        CDDEPIDENREC,
                        NRNOTAFISC,
                        TXOBSNF,
                        DSPIXBOLREC}};
  return t;
}

const Table& RelatorioItensNF() {
  static const Table t{"ITENSNF",
                       {CDFILIAL, NRLANBOLREC, DSITEMNF, QTITEMNF, VRUNITNF, VRTOTITEMNF}};
  return t;
}

const Table& cdsSelImpor() {
  static const Table t{
      "cdsSelImpor",
      {NRINSJURCLIE.labeled("Inscrição"), NMRAZSOCCLIE.labeled("Razão Social"),
       DTEMISSAO.labeled("Data Emissão").formatted(kDate), CDSERIE, NRNOTAFISC, CDFILIAL,
       NRLANCTONF.labeled("Nº Nota Fiscal "), VRNOTAFISC.labeled("Valor NF").formatted(kMoney),
       DOCUMENTO.labeled("Doc/Série"), IDIMPONFCR}};
  return t;
}

const Table& cdsEndeFili() {
  static const Table t{"cdsEndeFili",
                       {NMFILIAL, NRTELEFILI, DSEMAILFILI, CDSENHEMAILF, DSSMTPEMAILF, IDUTSSLEMAIL,
                        IDUTTLSEMAIL, DSLOGINSMTP, DSEMAILEMXMLNFE}};
  return t;
}

const Table& cdsEmailDanfe() {
  static const Table t{"cdsEmailDanfe", {CDFILIEMIT, DSEMAILDANFEBOL, IDNFDEBITO}};
  return t;
}

const Table& cdsNotasEmail() {
  static const Table t{
      "cdsNotasEmail",
      {NRINSJURNF, NMRAZSOCCLIE.sized(100), CDFILIAL, NRLANCTONF, DSEMAILDANFEBOL, CDEMPRESA,
       CDINSCESTA, CDINSCMUNI, CDSERIE, CDFILIEMIT, NRACESSONFE, IDNFDEBITO}};
  return t;
}

const Table& cdsSerieNF() {
  static const Table t{
      "cdsSerieNF",
      {CDSERIE, DSSERIE, CDEMPRESA, CDINSCESTA, CDRELDANFE, IDTPIMPRESDANFE, CDRELESPENF}};
  return t;
}

const Table& cdsListaGerarDANFE() {
  static const Table t{"cdsListaGerarDANFE", {NRACESSONFE, CDFILIAL, NRLANCTONF}};
  return t;
}

const Table& cdsStringStream() {
  static const Table t{"cdsStringStream", {DSSTRINGSTREAM}};
  return t;
}

const Table& cdsDetalheRetorno() {
  static const Table t{"cdsDetalheRetorno",
                       {NRACESSONFE.labeled("Chave de Acesso"), DSRETORNO.labeled("Descrição"),
                        IDSTATUS.labeled("Status")}};
  return t;
}

const Table& cdsEnvBolMail() {
  static const Table t{"cdsEnvBolMail",
                       {FTR_DTVENBOLREC.labeled("Vencimento"), NRINSJURCLIE.labeled("CPF/CNPJ"),
                        IDTPIJURCLIE, NMRAZSOCCLIE.labeled("Cliente"),
                        DSEMAILCLIE.sized(300).labeled("E-mail"), CDFILIAL.sized(20)}};
  return t;
}

const Table& cdsMensagem() {
  static const Table t{"cdsMensagem", {Assunto, Conteudo}};
  return t;
}

const Table& RelatorioNotaFiscal() {
  static const Table t{"NOTAFISCAL",
                       {CDFILIAL, NRLANCTONF, NRNOTAFISC, CDSERIE, DTEMISSAO, NRACESSONFE,
                        IDNFDEBITO, VRTOTALNF, NMRAZSOCBENEF, NRINSJURBENEF, DSENDBENEF,
                        NMRAZSOCCLIE.asMemo(), NRINSJURCLIE, DSENDCLIE, CDINSCESTA, TXOBSNF}};
  return t;
}

const Table& cdsTipoAjReceber() {
  static const Table t{"cdsTipoAjReceber", {CDAJUCTREC, DSAJUCTREC, IDAJUCTREC}};
  return t;
}

const Table& cdsBolProrrogados() {
  static const Table t{
      "cdsBolProrrogados",
      {CDFILIAL, NRLANBOLREC, CDNOSNUMREC, IDBOLRECALTER, IDSITUCNABR, DSLINHABARREC, CDBARRAREC}};
  return t;
}

const Table& cdsMotivoParc() {
  static const Table t{"cdsMotivoParc",
                       {CDMOTIPARC.labeled("Código"), DSMOTIPARC.labeled("Descrição")}};
  return t;
}

const Table& cdsVerifAjBolRec() {
  static const Table t{"cdsVerifAjBolRec", {CDFILIAL, NRLANBOLREC, CDAJUCTREC, IDORIGAJBREC}};
  return t;
}

const Table& cdsValAdian() {
  static const Table t{"cdsValAdian", {CDFILIAL, NRCTRECEBER, IDTPCTRECEBER}};
  return t;
}

const Table& cdsContaAd() {
  static const Table t{
      "cdsContaAd",
      {IDMARCADO, DTATUAVENREC.labeled("Vencimento").formatted(kDate), NRSEQVENREC, NRPARCELAREC,
       CDFILIAL, VRORIGINAL.labeled("Vr. Original").formatted(kMoney), NRLANCTONF,
       VRTOTDISP.labeled("Vr.Disponível").formatted(kMoney),
       VRDESCONTO.labeled("Vr. Desconto").formatted(kMoney), IDTPIJURCLIE, NMRAZSOCCLIE,
       NRINSJURCLIE, VRTOTADIA.formatted(kMoney)}};
  return t;
}

const Table& cdsVenda() {
  static const Table t{"cdsVenda",
                       {IDMARCADO, DOCUMENTO.labeled("Doc/Série"), FILIDEVO, NRNFDEVO,
                        DTEMISSAO.labeled("Emissão").formatted(kDate), NRLANCTONF,
                        VRDISPONIVEL.labeled("Vr. Disponível").formatted(kMoney),
                        VRDESCONTO.labeled("Vr. Desconto").formatted(kMoney),
                        VRNFDEVOL.labeled("Vr. Original").formatted(kMoney), NRINSJURCLIE,
                        IDTPIJURCLIE, NMRAZSOCCLIE, FILIVENDA, NRNFVENDA}};
  return t;
}

const Table& cdsGrid() {
  static const Table t{
      "cdsGrid",
      {IDCHECK, NRINSJURCLIE.labeled("Inscrição"), NMRAZSOCCLIE.labeled("Razão Social"),
       DTEMISSAO.labeled("Data Emissão").formatted(kDate), CDSERIE, NRNOTAFISC, CDFILIAL,
       NRLANCTONF.labeled("Nº Nota Fiscal "), VRNOTAFISC.labeled("Valor NF").formatted(kMoney),
       DOCUMENTO.labeled("Doc/Série")}};
  return t;
}

const Table& cdsTipoAjDesc() {
  static const Table t{"cdsTipoAjDesc",
                       {CDAJUCTREC.labeled("Código"), DSAJUCTREC.labeled("Descrição")}};
  return t;
}

const Table& cdsExistAjuste() {
  static const Table t{"cdsExistAjuste", {CDAJUCTREC}};
  return t;
}

const Table& cdsTipoRece() {
  static const Table t{"cdsTipoRece",
                       {CDTIPORECE.labeled("Código"), NMTIPORECE.labeled("Nome"), IDTIPORECE}};
  return t;
}

const Table& cdsCartao() {
  static const Table t{"cdsCartao", {CDCARTAO.labeled("Código"), NMCARTAO.labeled("Nome")}};
  return t;
}

const Table& cdsTotChq() {
  static const Table t{"cdsTotChq", {QTTOTCHQ, VRTOTCHQ}};
  return t;
}

const Table& cdsDiretorio() {
  static const Table t{"cdsDiretorio", {CDPROGRAMA, DSDIRETORIO.labeled("Diretório")}};
  return t;
}

}  // namespace records
