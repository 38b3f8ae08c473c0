#pragma once
// Every field a dataset of the module or a packet of the service carries, declared once: its
// name, type and size. Tables (`records/Tables.h`) are lists of these; a field used in two
// datasets is the same field in both. A name appears here exactly as the column mnemonic the
// remote data uses, so `fld::CDFILIAL` is the field "CDFILIAL" (text, 4 characters).

#include <string>
#include <string_view>

#include "host/ClientDataset.h"

namespace records {

class Column;

/// One field: name, type and, for text, its size in characters (0 for other types). A field
/// converts to its name, so it serves wherever a dataset takes a field name
/// (`ds.valueOf(fld::CDFILIAL)`).
struct Field {
  const char* name;
  host::FieldType type;
  int size;

  constexpr operator std::string_view() const { return name; }
  /// The characters a code of this field is padded to (its size).
  constexpr size_t width() const { return static_cast<size_t>(size); }
  /// The field's definition for a dataset: name, type, size; no label or format.
  host::FieldDef def() const;

  /// The field as one table shows it (label, display format, edit mask ...).
  constexpr Column labeled(const char* label) const;
  constexpr Column formatted(const char* format) const;
  constexpr Column masked(const char* mask) const;
  constexpr Column fixedWidth() const;
  constexpr Column sized(int characters) const;
  constexpr Column asMemo() const;
};

/// Display formats the screens show amounts, percentages and dates with.
inline constexpr const char* kMoney = "#,##0.00";
inline constexpr const char* kPercent = "#,##0.000";
inline constexpr const char* kDate = "dd/mm/yyyy";

/// A field as one table holds it: the field, and how that table shows it. A table may also
/// widen a text (a formatted copy of a value, such as the report's agency with its digit) or
/// hold it as a memo; those changes are written where the table is declared, nowhere else.
class Column {
 public:
  constexpr Column(const Field& f) : field_(f), type_(f.type), size_(f.size) {}

  constexpr Column labeled(const char* label) const {
    Column c = *this;
    c.label_ = label;
    return c;
  }
  constexpr Column formatted(const char* format) const {
    Column c = *this;
    c.format_ = format;
    return c;
  }
  constexpr Column masked(const char* mask) const {
    Column c = *this;
    c.mask_ = mask;
    return c;
  }
  /// A text padded to its width by the sender.
  constexpr Column fixedWidth() const {
    Column c = *this;
    c.fixed_ = true;
    return c;
  }
  /// A text of `size` characters in this table.
  constexpr Column sized(int size) const {
    Column c = *this;
    c.size_ = size;
    return c;
  }
  /// A text without a size limit in this table.
  constexpr Column asMemo() const {
    Column c = *this;
    c.type_ = host::FieldType::Memo;
    c.size_ = 0;
    return c;
  }

  const Field& field() const { return field_; }
  host::FieldDef def() const;

 private:
  Field field_;
  host::FieldType type_;
  int size_;
  const char* label_ = "";
  const char* format_ = "";
  const char* mask_ = "";
  bool fixed_ = false;
};

constexpr Column Field::labeled(const char* label) const {
  return Column(*this).labeled(label);
}
constexpr Column Field::formatted(const char* format) const {
  return Column(*this).formatted(format);
}
constexpr Column Field::masked(const char* mask) const {
  return Column(*this).masked(mask);
}
constexpr Column Field::fixedWidth() const {
  return Column(*this).fixedWidth();
}
constexpr Column Field::sized(int characters) const {
  return Column(*this).sized(characters);
}
constexpr Column Field::asMemo() const {
  return Column(*this).asMemo();
}

namespace detail {
constexpr Field text(const char* name, int size) {
  return {name, host::FieldType::String, size};
}
constexpr Field typed(const char* name, host::FieldType type) {
  return {name, type, 0};
}
}  // namespace detail

/// The fields, by name. Add a field here, in alphabetical order, before a table uses it.
namespace fld {

// The identifier and the name are one token, so they cannot differ.
#define BOLETO_TEXT(N, size) inline constexpr Field N = detail::text(#N, size)
#define BOLETO_NUMBER(N) inline constexpr Field N = detail::typed(#N, host::FieldType::Float)
#define BOLETO_DATE(N) inline constexpr Field N = detail::typed(#N, host::FieldType::Date)
#define BOLETO_MEMO(N) inline constexpr Field N = detail::typed(#N, host::FieldType::Memo)
#define BOLETO_INTEGER(N) inline constexpr Field N = detail::typed(#N, host::FieldType::Integer)

BOLETO_TEXT(Assunto, 60);
BOLETO_TEXT(CDAGECHEQREC, 5);
BOLETO_TEXT(CDAGENBOLREC, 5);
BOLETO_TEXT(CDAGENCIA, 5);
BOLETO_TEXT(CDAJUCTREC, 4);
BOLETO_TEXT(CDBANCBOLREC, 3);
BOLETO_TEXT(CDBANCCNAB, 3);
BOLETO_TEXT(CDBANCHEQREC, 3);
BOLETO_TEXT(CDBANCO, 3);
BOLETO_TEXT(CDBANCOCONV, 20);
BOLETO_TEXT(CDBANCODV, 5);
BOLETO_TEXT(CDBARRAREC, 44);
BOLETO_TEXT(CDCARTAO, 3);
BOLETO_TEXT(CDCARTCOBBOL, 3);
BOLETO_TEXT(CDCARTCOBR, 3);
BOLETO_TEXT(CDCEDENTEBAN, 10);
BOLETO_TEXT(CDCENTCUST, 10);
BOLETO_TEXT(CDCLIENTE, 21);
BOLETO_TEXT(CDCNTCHEQREC, 16);
BOLETO_TEXT(CDCONTBOLREC, 16);
BOLETO_TEXT(CDCONTCORR, 10);
BOLETO_TEXT(CDCONTCTBL, 20);
BOLETO_TEXT(CDDEPIDENREC, 30);
BOLETO_TEXT(CDDIADEVOL, 1);
BOLETO_TEXT(CDDIAPROTBOL, 1);
BOLETO_TEXT(CDDIAPROTEST, 1);
BOLETO_TEXT(CDEMPRESA, 2);
BOLETO_TEXT(CDFILIAL, 4);
BOLETO_TEXT(CDFILIEMIT, 4);
BOLETO_TEXT(CDFILIFIS, 4);
BOLETO_TEXT(CDFILORIG, 4);
BOLETO_TEXT(CDGRUPCLIE, 4);
BOLETO_TEXT(CDGRUPOPER, 4);
BOLETO_TEXT(CDINS1COBBOL, 2);
BOLETO_TEXT(CDINS1COBR, 2);
BOLETO_TEXT(CDINS2COBBOL, 2);
BOLETO_TEXT(CDINS2COBR, 2);
BOLETO_TEXT(CDINSCESTA, 16);
BOLETO_TEXT(CDINSCMUNI, 16);
BOLETO_TEXT(CDINSTCOBR, 2);
BOLETO_TEXT(CDLISTA, 50);
BOLETO_TEXT(CDMOTIPARC, 2);
BOLETO_TEXT(CDMOTIPROR, 2);
BOLETO_TEXT(CDNOSNUMREC, 20);
BOLETO_TEXT(CDOPERADOR, 20);
BOLETO_TEXT(CDOPERCONTCORR, 20);
BOLETO_TEXT(CDPICTAGEN, 10);
BOLETO_TEXT(CDPICTCONT, 20);
BOLETO_TEXT(CDREDUCONT, 3);
BOLETO_TEXT(CDRELDANFE, 100);
BOLETO_TEXT(CDRELESPENF, 200);
BOLETO_TEXT(CDRESULT, 10);
BOLETO_TEXT(CDSENHEMAILF, 200);
BOLETO_TEXT(CDSERIE, 5);
BOLETO_TEXT(CDTELA, 10);
BOLETO_TEXT(CDTIPORECE, 3);
BOLETO_TEXT(CDTPBAIXAREC, 2);
BOLETO_TEXT(CDVIATURA, 4);
BOLETO_TEXT(DOCUMENTO, 28);
BOLETO_TEXT(Conteudo, 2000);
BOLETO_TEXT(DSAJUCTREC, 40);
BOLETO_TEXT(DSARQBOLCOMP, 250);
BOLETO_TEXT(DSARQBOLPREI, 250);
BOLETO_TEXT(DSCHAVEPIX, 77);
BOLETO_TEXT(DSCHEQBOLREC, 40);
BOLETO_TEXT(DSCONTCORR, 20);
BOLETO_TEXT(DSCTRECEBER, 400);
BOLETO_TEXT(DSDACNOSNUMR, 60);
BOLETO_TEXT(DSEMAILCLIE, 50);
BOLETO_TEXT(DSEMAILCLIECOP, 400);
BOLETO_TEXT(DSEMAILDANFEBOL, 4000);
BOLETO_TEXT(DSEMAILEMXMLNFE, 120);
BOLETO_TEXT(DSEMAILFILI, 200);
BOLETO_MEMO(DSENDBENEF);
BOLETO_MEMO(DSENDCLIE);
BOLETO_TEXT(DSESPECIEDOC, 5);
BOLETO_TEXT(DSINSTCOBR, 60);
BOLETO_MEMO(DSITEMNF);
BOLETO_TEXT(DSLINHABARREC, 55);
BOLETO_TEXT(DSLINHADCORR, 200);
BOLETO_MEMO(DSLOCALPAGTO);
BOLETO_TEXT(DSLOGINSMTP, 200);
BOLETO_TEXT(DSMOTIPARC, 40);
BOLETO_TEXT(DSMOTIPROR, 40);
BOLETO_TEXT(DSNOSNUMCORR, 200);
BOLETO_TEXT(DSPIXBOLREC, 512);
BOLETO_TEXT(DSRETORNO, 4000);
BOLETO_TEXT(DSSERIE, 20);
BOLETO_TEXT(DSSMTPEMAILF, 200);
BOLETO_MEMO(DSSTRINGSTREAM);
BOLETO_TEXT(DSTIPOVEIC, 40);
BOLETO_DATE(DTADIANTREC);
BOLETO_DATE(DTCHEQBOLREC);
BOLETO_DATE(DTDEVOLREC);
BOLETO_DATE(DTEMISSAO);
BOLETO_DATE(DTFIMPROTREC);
BOLETO_DATE(DTINIPROTREC);
BOLETO_DATE(DTPROCESSAMENTO);
BOLETO_DATE(DTVENBOLREC);
BOLETO_DATE(DTVENCTREC);
BOLETO_TEXT(FIELD, 40);
BOLETO_TEXT(FTR_CDFILIAL, 4);
BOLETO_TEXT(FTR_CDFILIEMIT, 4);
BOLETO_TEXT(FTR_CDVIATURA, 4);
BOLETO_TEXT(FTR_DSBOLETREC, 400);
BOLETO_DATE(FTR_DTEMISSAO);
BOLETO_DATE(FTR_DTVENBOLREC);
BOLETO_TEXT(FTR_IDPROTESTREC, 1);
BOLETO_TEXT(FTR_IDSITUCNABR, 2);
BOLETO_TEXT(FTR_IDSTATBREC, 1);
BOLETO_TEXT(FTR_NMRAZSOCCLIE, 50);
BOLETO_TEXT(FTR_NRCNABRECREM, 10);
BOLETO_TEXT(FTR_NRCNABRECRET, 10);
BOLETO_TEXT(FTR_NRDUPLICATA, 10);
BOLETO_TEXT(FTR_NRLICENCAUSO, 10);
BOLETO_TEXT(FTR_NRNOTAFISC, 20);
BOLETO_TEXT(FTR_NRPARCBOLREC, 2);
BOLETO_NUMBER(FTR_PARCNUM);
BOLETO_NUMBER(FTR_VRFINALBREC);
BOLETO_TEXT(IDACEITE, 1);
BOLETO_TEXT(IDAJUCTREC, 1);
BOLETO_TEXT(IDBAIXAUTILR, 1);
BOLETO_TEXT(IDBLOQALTBOLREC, 1);
BOLETO_TEXT(IDBOLEMITIDO, 1);
BOLETO_TEXT(IDBOLRECALTER, 1);
BOLETO_TEXT(IDCARTCOBR, 1);
BOLETO_TEXT(IDCARTCOBREC, 1);
BOLETO_TEXT(IDEXIBDADORC, 1);
BOLETO_TEXT(IDFORMCADBANC, 1);
BOLETO_TEXT(IDFORMCADBREC, 1);
BOLETO_TEXT(IDIMPONFCR, 1);
BOLETO_TEXT(IDIMPRBOLBOL, 1);
BOLETO_TEXT(IDIMPRBOLETO, 1);
BOLETO_TEXT(IDMARCADO, 1);
BOLETO_TEXT(IDMODELONUM, 1);
BOLETO_TEXT(IDNFDEBITO, 20);
BOLETO_TEXT(IDORDIMPRBOL, 1);
BOLETO_TEXT(IDORIGAJBREC, 1);
BOLETO_TEXT(IDPROTESTREC, 1);
BOLETO_TEXT(IDSISDOS, 1);
BOLETO_TEXT(IDSITCHEQREC, 1);
BOLETO_TEXT(IDSITUCNABR, 2);
BOLETO_TEXT(IDSOLDIRBOLETO, 1);
BOLETO_TEXT(IDSTATBREC, 1);
BOLETO_TEXT(IDSTATCTREC, 1);
BOLETO_TEXT(IDTIPOCCORR, 1);
BOLETO_TEXT(IDSTATUS, 1);
BOLETO_TEXT(IDTIPORECE, 1);
BOLETO_TEXT(IDTPCTRECEBER, 1);
BOLETO_TEXT(IDTPIJURCLIE, 1);
BOLETO_TEXT(IDTPIMPRESDANFE, 1);
BOLETO_TEXT(IDUTBCOPREFCLIE, 1);
BOLETO_TEXT(IDUTCTRLCANREMR, 1);
BOLETO_TEXT(IDUTLICEUSO, 1);
BOLETO_TEXT(IDUTLNFDEVOLREC, 1);
BOLETO_TEXT(IDUTSSLEMAIL, 1);
BOLETO_TEXT(IDUTTLSEMAIL, 1);
BOLETO_TEXT(IDVERFXNUMC, 1);
BOLETO_TEXT(IDVERFXNUMP, 1);
BOLETO_TEXT(NF_ORCAMENTO, 4);
BOLETO_TEXT(NMARQUIVO, 250);
BOLETO_MEMO(NMBAIRROCLIE);
BOLETO_TEXT(NMBANCO, 30);
BOLETO_TEXT(NMCARTAO, 30);
BOLETO_TEXT(NMCHAVE, 60);
BOLETO_MEMO(NMCIDADECLIE);
BOLETO_TEXT(NMEMPRESA, 50);
BOLETO_TEXT(NMFANTCLIE, 50);
BOLETO_TEXT(NMFILIAL, 30);
BOLETO_TEXT(NMGRUPCLIE, 40);
BOLETO_TEXT(NMGRUPOPER, 40);
BOLETO_MEMO(NMRAZSOCBENEF);
BOLETO_TEXT(NMRAZSOCCLIE, 50);
BOLETO_TEXT(NMTIPORECE, 40);
BOLETO_TEXT(NMTPBAIXAREC, 50);
BOLETO_TEXT(NRACESSONFE, 50);
BOLETO_TEXT(NRADIANTREC, 10);
BOLETO_TEXT(NRBAIXAREC, 10);
BOLETO_TEXT(NRCARCREBOLR, 50);
BOLETO_TEXT(NRCEPCLIE, 10);
BOLETO_TEXT(NRCHEQBOLREC, 6);
BOLETO_TEXT(NRCHEQUERECE, 6);
BOLETO_TEXT(NRCNABRECREM, 10);
BOLETO_TEXT(NRCNABRECRET, 10);
BOLETO_TEXT(NRCTRECEBER, 10);
BOLETO_TEXT(NRDEVOLREC, 10);
BOLETO_TEXT(NRDOCUMENTO, 40);
BOLETO_TEXT(NRDUPLICATA, 10);
BOLETO_TEXT(NRFIMNOSNUMC, 20);
BOLETO_TEXT(NRFIMNOSNUMP, 20);
BOLETO_TEXT(NRININOSNUMC, 20);
BOLETO_TEXT(NRININOSNUMP, 20);
BOLETO_TEXT(NRINSJURBENEF, 20);
BOLETO_TEXT(NRINSJURCLIE, 20);
BOLETO_TEXT(NRINSJUREMPR, 14);
BOLETO_TEXT(NRINSJURNF, 20);
BOLETO_TEXT(NRLANBOLREC, 10);
BOLETO_TEXT(NRLANCTONF, 10);
BOLETO_TEXT(NRLICENCAUSO, 10);
BOLETO_TEXT(NRLISTA, 10);
BOLETO_TEXT(NRMOVICRED, 10);
BOLETO_TEXT(NRNOTAFISC, 20);
BOLETO_TEXT(NRORCAEVENTO, 10);
BOLETO_INTEGER(NRORDEM);
BOLETO_TEXT(NRORIGBOLREC, 10);
BOLETO_TEXT(NRPARCBOLREC, 3);
BOLETO_NUMBER(NRPARCBOLRECNUM);
BOLETO_TEXT(NRPARCBOLRECVISU, 4);
BOLETO_TEXT(NRPARCELAREC, 3);
BOLETO_TEXT(NRPLACA, 10);
BOLETO_TEXT(NRSEQORCAEVE, 2);
BOLETO_TEXT(NRSEQTPRECBO, 2);
BOLETO_TEXT(NRSEQUENCIA, 20);
BOLETO_TEXT(NRSEQVENREC, 10);
BOLETO_TEXT(NRTELEFILI, 25);
BOLETO_TEXT(ORDEM, 1);
BOLETO_NUMBER(QTDIAANTBOLR);
BOLETO_NUMBER(QTDIAAPOBOLR);
BOLETO_NUMBER(QTDIADEVOL);
BOLETO_NUMBER(QTDIAPROTBOL);
BOLETO_NUMBER(QTDIAPROTEST);
BOLETO_NUMBER(QTITEMNF);
BOLETO_INTEGER(QTTOTCHQ);
BOLETO_TEXT(SGUFCLIE, 2);
BOLETO_INTEGER(TAMANHO);
BOLETO_MEMO(TXINSTRUCOES);
BOLETO_TEXT(TXMENSBOLBOL, 500);
BOLETO_TEXT(TXMENSBOLETO, 500);
BOLETO_MEMO(TXOBSNF);
BOLETO_MEMO(TXVALOR);
BOLETO_TEXT(TXVISUBOLREC, 500);
BOLETO_TEXT(VISUALIZA, 1);
BOLETO_NUMBER(VRADIANTREC);
BOLETO_NUMBER(VRAJBOLREC);
BOLETO_NUMBER(VRATUAREC);
BOLETO_NUMBER(VRBOLREC);
BOLETO_NUMBER(VRCHEQUERECE);
BOLETO_NUMBER(VRDEVOLREC);
BOLETO_NUMBER(VRDUPLICATA);
BOLETO_NUMBER(VRFINALBREC);
BOLETO_NUMBER(VRMORDIABREC);
BOLETO_NUMBER(VRMULTABREC);
BOLETO_NUMBER(VRNOTAFISC);
BOLETO_NUMBER(VRORIGREC);
BOLETO_NUMBER(VRPEMORBCLI);
BOLETO_NUMBER(VRPEMORBREC);
BOLETO_NUMBER(VRPEMOREMPR);
BOLETO_NUMBER(VRPEMULBCLI);
BOLETO_NUMBER(VRPEMULBREC);
BOLETO_NUMBER(VRPEMULEMPR);
BOLETO_NUMBER(VRSALDOADIANT);
BOLETO_NUMBER(VRTAXACARTORIO);
BOLETO_NUMBER(VRTOTALNF);
BOLETO_NUMBER(VRTOTCHQ);
BOLETO_NUMBER(VRTOTITEMNF);
BOLETO_NUMBER(VRTPRECBOLR);
BOLETO_NUMBER(VRUNITNF);
BOLETO_NUMBER(VRUSADOCHEQ);
// Credits a boleto is discounted by: advances, devolutions and credit notes.
BOLETO_DATE(DTATUAVENREC);
BOLETO_TEXT(FILIDEVO, 4);
BOLETO_TEXT(FILIVENDA, 4);
BOLETO_TEXT(IDCHECK, 1);
BOLETO_TEXT(IDTPAJRECEBER, 1);
BOLETO_TEXT(NRNFDEVO, 10);
BOLETO_TEXT(NRNFVENDA, 10);
BOLETO_TEXT(NRNOTACRED, 10);
BOLETO_NUMBER(VRDESCONTO);
BOLETO_NUMBER(VRDISPONIVEL);
BOLETO_NUMBER(VRNFDEVOL);
BOLETO_NUMBER(VRORIGINAL);
BOLETO_NUMBER(VRTOTADIA);
BOLETO_NUMBER(VRTOTDISP);
// The generation of files: the operator's saved directory per program.
BOLETO_TEXT(CDPROGRAMA, 8);
BOLETO_TEXT(DSDIRETORIO, 100);

#undef BOLETO_TEXT
#undef BOLETO_NUMBER
#undef BOLETO_DATE
#undef BOLETO_MEMO
#undef BOLETO_INTEGER

}  // namespace fld

/// The 14-character key of a boleto: branch (4) followed by entry number (10).
std::string boletoKey(std::string_view cdFilial, std::string_view nrLanBolRec);

/// The key fields of a boleto, as locates name them.
inline constexpr std::string_view kBoletoKeyFields = "CDFILIAL;NRLANBOLREC";

}  // namespace records
