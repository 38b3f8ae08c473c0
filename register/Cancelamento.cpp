// "Cancelar Boleto": each marked emitted boleto goes back to pending (its nosso número,
// barcode and typed line stay: the bank may hold them), and a marked boleto gathering several
// receivables is separated into one boleto per receivable. The list is always put back on
// the boleto the operator stood on.

#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/HabContRec.h"

namespace rec {

using host::Value;
namespace fld = records::fld;

namespace {

void raiseKnown(const host::TMessages& m, const host::ServiceError& e,
                const host::ScreenModel& screen) {
  if (m.Has(e.key())) screen.error(e.key());
}

}  // namespace

void TfrmHabContRec::sbtCancelaBolClick() {
  if (!hasRows()) return;
  // 1.
  Verifica_Acesso_Sistema(current("DTVENBOLREC").asDate());
  if (!cdsMarca.active() || cdsMarca.isEmpty()) error("BOL_NC");
  if (!ask("CancelaBol")) return;
  // 2.
  const std::vector<Value> here{current("CDEMPRESA"), current("CDFILIAL"), current("NRLANBOLREC")};
  // Separation is decided by the receivables of the boleto current when the command started.
  const size_t receivables = cdsCntReceber.active() ? cdsCntReceber.recordCount() : 0;
  {
    host::DetachedEvents noScroll(cdsBoletos, &host::DatasetEvents::afterScroll);
    host::FrozenDataset frozen(cdsBoletos);
    struct Back {
      TfrmHabContRec& f;
      const std::vector<Value>& here;
      ~Back() { f.cdsBoletos.locate("CDEMPRESA;CDFILIAL;NRLANBOLREC", here); }
    } back{*this, here};
    // 3. Each call is its own transaction: a failure ends the command, and the boletos already
    // cancelled stay cancelled.
    for (size_t r = 1; r <= cdsBoletos.recordCount(); ++r) {
      if (cdsBoletos.valueAt(r, fld::IDMARCADO).asString() != "M") continue;
      const auto text = [&](const records::Field& f) {
        return cdsBoletos.valueAt(r, f).asString();
      };
      const std::string status = text(fld::IDSTATBREC);
      if (status == "E") {
        VerificaSitCNAB(host::AllTrim(text(fld::IDSITUCNABR)));
        host::WaitAnimation wait;
        std::string nossoNumero, emitted;
        if (ask("ManterNNum")) {
          nossoNumero = text(fld::CDNOSNUMREC);
          emitted = text(fld::IDBOLEMITIDO);
        }
        const remote::Result result =
            rpc::tryCall(connection(), rpc::CancelaEmissao{.CDFILIAL = text(fld::CDFILIAL),
                                                           .NRLANBOLREC = text(fld::NRLANBOLREC),
                                                           .CDNOSNUMREC = nossoNumero,
                                                           .IDBOLEMITIDO = emitted});
        try {
          remote::CheckResultServ(result);
        } catch (const host::ServiceError& e) {
          raiseKnown(messages(), e, *this);
          throw;
        }
        cdsMarca.emptyDataset();
      } else if (receivables > 1) {
        const std::string cleared =
            rpc::call(connection(), rpc::GetVdCompensa{.CDFILIAL = text(fld::CDFILIAL),
                                                       .NRLANBOLREC = text(fld::NRLANBOLREC)})
                .asString();
        if (cleared == "TRUE") error("SEPBOLCOMP");
        host::WaitAnimation wait;
        VerificaSitCNAB(host::AllTrim(text(fld::IDSITUCNABR)));
        const Value due = cdsBoletos.valueAt(r, fld::DTVENBOLREC);
        const auto number = [&](const records::Field& f) {
          const Value v = cdsBoletos.valueAt(r, f);
          return v.isNull() ? 0.0 : v.asDouble();
        };
        std::string separated;
        const remote::Result result = rpc::tryCall(
            connection(),
            rpc::SeparaBoleto{
                .CDFILIAL = text(fld::CDFILIAL),
                .NRLANBOLREC = text(fld::NRLANBOLREC),
                .NRORIGBOLREC = text(fld::NRORIGBOLREC),
                .DTVENBOLREC = due.isNull() ? std::optional<host::DateTime>() : due.asDate(),
                .CDCLIENTE = text(fld::CDCLIENTE),
                .CDEMPRESA = text(fld::CDEMPRESA),
                .VRPEMULBREC = number(fld::VRPEMULBREC),
                .VRMULTABREC = number(fld::VRMULTABREC),
                .VRPEMORBREC = number(fld::VRPEMORBREC),
                .VRMORDIABREC = number(fld::VRMORDIABREC),
                .FiliProc = host::FiliProc(),
                .separados = separated});
        try {
          remote::CheckResultServ(result);
        } catch (const host::ServiceError& e) {
          raiseKnown(messages(), e, *this);
          throw;
        }
        cdsMarca.emptyDataset();
      }
    }
  }
  // 4.
  Fitro_Locate();
  if (hasRows()) afterScroll();
  Habilita();
}

}  // namespace rec
