#pragma once
// The register's filter: which boletos of the chosen company the register lists.

#include <map>
#include <memory>
#include <string>

#include "host/ClientDataset.h"
#include "host/HostDatabase.h"
#include "host/Screen.h"

namespace rec {

class TfrmHabContRec;

/// Set to "Sim" by every run of the filter's creator; travels to the service with `Filtro`.
extern std::string stFiltroHabRec;

/// `TfrmFiltroHabRec`, screen code "REC12100", caption "Filtro de Boleto". Every criterion
/// has a working value (the controls and the lists) and the last confirmed one; showing
/// the screen brings the confirmed values back, so a cancelled edit is forgotten.
class TfrmFiltroHabRec final : public host::TfrmFiltroPadrao {
 public:
  /// The register must exist: the filter reads and fills its datasets.
  TfrmFiltroHabRec(TfrmHabContRec& owner, std::shared_ptr<host::OptionsStore> store);

  // The criteria lists (list texts as the multi-selection search gives them).
  std::string stListaClie;      ///< clients
  std::string stClieBusca;      ///< clients found through the search key ("_" before each)
  std::string stChaveBusca;     ///< the client search key
  std::string stListaFiliOrig;  ///< origin branches
  std::string stListaFiliLanc;  ///< posting branches
  std::string stListaGrupClie;  ///< client groups
  std::string stListaFormRec;   ///< write-off types
  std::string stListaDupl;      ///< invoices
  std::string stListaCCorr;     ///< accounts
  std::string stListaVeic;      ///< vehicles

  host::ClientDataset cdsGeral_Rec{"cdsGeral_Rec"};
  host::ClientDataset cdsFormRec{"cdsFormRec"};
  host::ClientDataset cdsDuplicata{"cdsDuplicata"};
  host::ClientDataset cdsVeiculo{"cdsVeiculo"};
  host::TADOIBQuery qryCliente{"qryCliente"};
  host::TADOIBQuery qryFilial{"qryFilial"};
  host::TADOIBQuery qryGrupClie{"qryGrupClie"};
  host::TADOIBQuery qryContCorr{"qryContCorr"};

  /// Showing or activating: the confirmed criteria come back.
  void FormShow();
  /// Confirm: checks, `InsLista`, `Filtro` into the register's list, marks dropped.
  void sbtConfirmaClick();
  /// "Desfazer": every criterion back to its default.
  void sbtLimpaClick();
  void btfSaveOpcClick();
  void btfLoadOpcClick();
  void Confirmar() override { sbtConfirmaClick(); }

  /// The searches of the list criteria (the multi-selection dialogs).
  void PesquisaCliente();
  void PesquisaFiliOrig();
  void PesquisaFiliLanc();
  void PesquisaGrupClie();
  void PesquisaFormRec();
  void PesquisaDuplicata();
  void PesquisaContaCorr();
  void PesquisaVeiculo();

  /// The key filter of the typed fields: '\0' when the key is refused.
  char KeyPress(const std::string& controlName, char key);

  /// The situation text of the ticked boxes ("_00_01_10_20" in that order).
  std::string situationText() const;

 private:
  struct State {
    std::map<std::string, std::string> text;
    std::map<std::string, bool> checked;
    std::map<std::string, int> item;
    std::map<std::string, std::string> lists;
  };
  State capture() const;
  void restore(const State& s);
  std::map<std::string, std::string*> listRefs();
  void buildControls();
  void listCriterion(const std::string& group, const std::string& radio, const std::string& button,
                     const std::vector<std::string>& items, void (TfrmFiltroHabRec::*search)());
  void defaults();
  void nossoNumeroMode();
  void checkDate(const std::string& controlName);
  std::optional<host::DateTime> dateOf(const std::string& controlName) const;
  double valueOf(const std::string& controlName) const;
  bool lista(const std::string& radio) const;
  void loadGeral();

  TfrmHabContRec& owner_;
  State confirmed_;
};

/// Frees the filter with the register that owns it.
void releaseFiltroHabRec();

}  // namespace rec
