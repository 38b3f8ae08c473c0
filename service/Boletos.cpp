// Boleto rows: the register's list.

#include <map>

#include <fmt/format.h>

#include "module/Records.h"
#include "service/Areas.h"
#include "service/Dispatcher.h"
#include "service/Packets.h"

namespace service {

namespace {

// Columns of the boleto record that are not stored with the boleto: the customer's, the
// account's, names of codes, and the list's columns taken from the first receivable.
std::string boletoExpr(const std::string& field) {
  static const std::map<std::string, std::string> joined = {
      {"NMFANTCLIE", "C.NMFANTCLIE"},
      {"NMRAZSOCCLIE", "C.NMRAZSOCCLIE"},
      {"DSEMAILCLIE", "C.DSEMAILCLIE"},
      {"DSEMAILCLIECOP", "C.DSEMAILCLIECOP"},
      {"NRINSJURCLIE", "C.NRINSJURCLIE"},
      {"IDTPIJURCLIE", "C.IDTPIJURCLIE"},
      {"CDBANCO", "K.CDBANCO"},
      {"CDAGENCIA", "K.CDAGENCIA"},
      {"CDCONTCORR", "K.CDCONTCORR"},
      {"DSCONTCORR", "K.DSCONTCORR"},
      {"CDPICTCONT", "K.CDPICTCONT"},
      {"CDPICTAGEN", "K.CDPICTAGEN"},
      {"CDBANCCNAB", "K.CDBANCCNAB"},
      {"DSARQBOLCOMP", "K.DSARQBOLCOMP"},
      {"DSARQBOLPREI", "K.DSARQBOLPREI"},
      {"NMTPBAIXAREC", "T.NMTPBAIXAREC"},
      {"NMFILIAL", "F.NMFILIAL"},
      {"IDMARCADO", "NULL"},
      {"FTR_PARCNUM", "B.NRPARCBOLREC"},
      {"NRPARCBOLRECVISU", "B.NRPARCBOLREC"},
      {"FTR_DTVENBOLREC", "B.DTVENBOLREC"},
      {"FTR_NMRAZSOCCLIE", "C.NMRAZSOCCLIE"},
      {"FTR_NRPARCBOLREC", "B.NRPARCBOLREC"},
      {"FTR_VRFINALBREC", "B.VRFINALBREC"},
      {"FTR_IDSTATBREC", "B.IDSTATBREC"},
      {"FTR_NRLICENCAUSO", "B.NRLICENCAUSO"},
      {"FTR_CDFILIAL", "B.CDFILIAL"},
      {"FTR_DTEMISSAO", "B.DTEMISSAO"},
      {"FTR_IDPROTESTREC", "B.IDPROTESTREC"},
      {"FTR_IDSITUCNABR", "B.IDSITUCNABR"},
      {"FTR_NRCNABRECRET", "B.NRCNABRECRET"},
      {"FTR_NRCNABRECREM", "B.NRCNABRECREM"},
      {"FTR_DSBOLETREC", "B.DSBOLETREC"},
  };
  static const std::map<std::string, std::string> fromReceivable = {
      {"FTR_NRDUPLICATA", "NRDUPLICATA"},
      {"FTR_NRNOTAFISC", "NRNOTAFISC"},
      {"FTR_CDFILIEMIT", "CDFILIEMIT"},
      {"FTR_CDVIATURA", "CDVIATURA"},
  };
  if (auto it = joined.find(field); it != joined.end()) return it->second;
  if (auto it = fromReceivable.find(field); it != fromReceivable.end()) {
    return fmt::format("(SELECT MIN(R.{}) FROM CTRECEBER R WHERE R.CDFILBOLREC = B.CDFILIAL "
                       "AND R.NRLANBOLREC = B.NRLANBOLREC)",
                       it->second);
  }
  return "B." + field;
}

const std::string& boletoSelect() {
  static const std::string select = fmt::format(
      "SELECT {} FROM BOLRECEBER B "
      "LEFT JOIN CLIENTE C ON C.CDCLIENTE = B.CDCLIENTE "
      "LEFT JOIN CONTCORR K ON K.CDEMPRESA = B.CDEMPRESA AND K.CDREDUCONT = B.CDREDUCONT "
      "LEFT JOIN TIPOBAIXA T ON T.CDTPBAIXAREC = B.CDTPBAIXAREC "
      "LEFT JOIN FILIAL F ON F.CDFILIAL = B.CDFILIAL ",
      selectList(rec::BoletoRecord(), boletoExpr));
  return select;
}

enum class K { Text, Ref, Bool, Date, Double, Int, Packet };

// The 37 arguments of Filtro, in order, with the size of the text ones (0: no limit).
struct FiltroArg {
  K kind;
  const char* name;
  int size;
};
constexpr FiltroArg kFiltroArgs[37] = {
    {K::Text, "CDEMPRESA", 2},        {K::Text, "FiliProc", 4},
    {K::Text, "CDNOSNUMREC", 20},     {K::Ref, "client list", 0},
    {K::Bool, "client Lista", 0},     {K::Ref, "clients found", 0},
    {K::Ref, "client search key", 0}, {K::Text, "document from", 10},
    {K::Text, "document to", 10},     {K::Bool, "posting branch Lista", 0},
    {K::Ref, "posting branch list", 0}, {K::Date, "due from", 0},
    {K::Date, "due to", 0},           {K::Bool, "write-off type Lista", 0},
    {K::Ref, "write-off type list", 0}, {K::Double, "value from", 0},
    {K::Double, "value to", 0},       {K::Ref, "filter mark", 0},
    {K::Bool, "invoice Lista", 0},    {K::Bool, "account Lista", 0},
    {K::Ref, "invoice list", 0},      {K::Ref, "account list", 0},
    {K::Packet, "grid layout", 0},    {K::Ref, "stLista", 0},
    {K::Ref, "origin branch list", 0}, {K::Int, "status index", 0},
    {K::Int, "protest index", 0},     {K::Text, "budget from", 10},
    {K::Text, "budget to", 10},       {K::Bool, "ModuFili", 0},
    {K::Ref, "client group list", 0}, {K::Ref, "situation", 0},
    {K::Text, "NRCNABRECREM", 10},    {K::Text, "NRCNABRECRET", 10},
    {K::Date, "emission from", 0},    {K::Date, "emission to", 0},
    {K::Ref, "vehicle list", 0},
};

void checkFiltroArgs(const CallContext& ctx) {
  for (size_t i = 0; i < 37; ++i) {
    const auto& a = kFiltroArgs[i];
    switch (a.kind) {
      case K::Text: ctx.text(i, a.name, a.size); break;
      case K::Ref: ctx.text(i, a.name, 0); break;
      case K::Bool: ctx.boolean(i, a.name); break;
      case K::Date: ctx.date(i, a.name); break;
      case K::Double: ctx.number(i, a.name); break;
      case K::Int: ctx.integer(i, a.name); break;
      case K::Packet:
        if (!ctx.arg(i).isNull()) ctx.packet(i, a.name);
        break;
    }
  }
}

}  // namespace

void registerBoletos(Dispatcher& d) {
  // Filtro: the boletos of a company that match the register filter's criteria, as rows of
  // the boleto record. Criteria honoured so far: company, nosso número, due and emission
  // periods, value range, remittance and return numbers. The list criteria arrive checked
  // and are kept for the filter's own work.
  d.add(kHabContRec, "Filtro", 37, [](CallContext& ctx) {
    checkFiltroArgs(ctx);
    std::string company = ctx.text(0, "CDEMPRESA", 2);
    if (company.empty()) company = ctx.company();
    ctx.requireCompany(company);
    std::string nossoNumero = ctx.text(2, "CDNOSNUMREC", 20);
    auto dueFrom = ctx.date(11, "due from");
    auto dueTo = ctx.date(12, "due to");
    double valueFrom = ctx.number(15, "value from");
    double valueTo = ctx.number(16, "value to");
    std::string remessa = ctx.text(32, "NRCNABRECREM", 10);
    std::string retorno = ctx.text(33, "NRCNABRECRET", 10);
    auto emiFrom = ctx.date(34, "emission from");
    auto emiTo = ctx.date(35, "emission to");

    // Every criterion is bound; an unused one is a condition that always holds.
    std::string nn = nossoNumero, df = dueFrom ? dueFrom->dateOnly().iso() : "",
                dt = dueTo ? dueTo->dateOnly().iso() : "", ef = emiFrom ? emiFrom->dateOnly().iso() : "",
                et = emiTo ? emiTo->dateOnly().iso() : "";
    double vt = valueTo > 0 ? valueTo : 1e300;
    static const std::string where =
        "WHERE B.CDEMPRESA = :e "
        "AND (:nn = '' OR B.CDNOSNUMREC = :nn2) "
        "AND (:df = '' OR B.DTVENBOLREC >= :df2) "
        "AND (:dt = '' OR SUBSTR(B.DTVENBOLREC, 1, 10) <= :dt2) "
        "AND (:ef = '' OR B.DTEMISSAO >= :ef2) "
        "AND (:et = '' OR SUBSTR(B.DTEMISSAO, 1, 10) <= :et2) "
        "AND B.VRFINALBREC >= :vf AND B.VRFINALBREC <= :vt "
        "AND (:rm = '' OR B.NRCNABRECREM = :rm2) "
        "AND (:rt = '' OR B.NRCNABRECRET = :rt2) "
        "ORDER BY B.DTVENBOLREC, B.CDFILIAL, B.NRLANBOLREC";
    soci::rowset<soci::row> rows =
        (ctx.sql().prepare << boletoSelect() + where, soci::use(company), soci::use(nn),
         soci::use(nn), soci::use(df), soci::use(df), soci::use(dt), soci::use(dt), soci::use(ef),
         soci::use(ef), soci::use(et), soci::use(et), soci::use(valueFrom), soci::use(vt),
         soci::use(remessa), soci::use(remessa), soci::use(retorno), soci::use(retorno));
    return remote::Variant::packet(packetFromRows(rows, rec::BoletoRecord()));
  });
}

}  // namespace service
