// Generation and sending from the register: "Gera Boleto (txt)" prepares the marked boletos
// (with the instalments of each) for the generation screen, and "Enviar Carta de Cobrança"
// opens the host's collection letters.

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/Packages.h"
#include "module/Creators.h"
#include "records/Fields.h"
#include "register/HabContRec.h"

namespace rec {

namespace {

/// The host package of the collection letters.
constexpr const char* kCartasCobranca = "REC01100";

}  // namespace

void TfrmHabContRec::mnuGeraBoletoClick() {
  if (!messages().Has("Cancelar")) messages().Add("Cancelar", "Cancelar");
  // Several accounts are not refused here: the preparation stops at the second one and the
  // generation works on the first.
  bContaUnica = false;
  if (cdsMarca.active()) {
    cdsMarca.first();
    while (!cdsMarca.eof()) {
      if (cdsMarca.valueOf("IDSTATBREC").asString() == "E") {
        const std::string text = messages().Msg("bol_ja_emit") + "\rFilial " +
                                 cdsMarca.valueOf("CDFILIAL").asString() + " - Nº Lanc. Boleto " +
                                 cdsMarca.valueOf("NRLANBOLREC").asString() + " - Parc. " +
                                 cdsMarca.valueOf("NRPARCBOLREC").asString() + "\r" + "\r" +
                                 messages().Msg("reemit_bol");
        // Three answers: cancel the command (10), generate it again (11), leave it out (12).
        const int answer = host::dialogs().msgAlertEx(
            text, caption(),
            {messages().Msg("Cancelar"), messages().Msg("Sim"), messages().Msg("Nao")});
        if (answer == kGeracaoDeixaDeFora) {
          leaveOut();  // the next boleto is now the current row of cdsMarca
          continue;
        }
        if (answer != kGeracaoDeixaDeFora - 1) host::Abort();
      }
      cdsMarca.next();
    }
  }
  Atualiza_Emissao(false, true);
  if (cdsMarca.isEmpty() || klContas.Count() == 0) return;

  const int result = installed(creators().CriaGerarBoleto, "de geração de boletos")(
      klCarteira, klContas.Key(0), klCarteira,
      [this](const std::string& name) { BaixaRelatorio(name); });
  if (result != host::mrOk) return;
  // The boletos generated are emitted now: the list shows them so, and nothing stays marked.
  Fitro_Locate();
  cdsMarca.emptyDataset();
  klContas.Clear();
  klEmissao.Clear();
  klCarteira.Clear();
  clearMarking();
}

void TfrmHabContRec::mnuEnviarCartaCobrancaClick() {
  host::LoadBPL(kCartasCobranca);
  Fitro_Locate();
}

}  // namespace rec
