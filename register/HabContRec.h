#pragma once
// The boleto register: the hub screen where the operator chooses a company, filters its
// boletos, browses and edits them, and starts the batch operations.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "host/ClientDataset.h"
#include "host/HostDatabase.h"
#include "host/KeyList.h"
#include "host/Screen.h"
#include "records/EmissionOrder.h"
#include "records/Rpc.h"
#include "register/GridKeys.h"
#include "remote/Connection.h"

namespace rec {

class TfrmFiltroHabRec;

/// `TfrmHabContRec`, screen code "REC12000", caption "Boleto".
class TfrmHabContRec : public host::TfrmPadrao {
 public:
  /// Creation: connects, creates the marking sets and key lists, reads the company of the
  /// context. A company that does not exist raises "Emp_nc" (the screen is not usable).
  TfrmHabContRec();
  ~TfrmHabContRec() override;

  // --- datasets
  host::ClientDataset cdsBoletos{"cdsBoletos"};
  host::ClientDataset cdsCntReceber{"cdsCntReceber"};
  host::ClientDataset cdsCNABMsg{"cdsCNABMsg"};
  host::ClientDataset cdsAjBolRec{"cdsAjBolRec"};
  host::ClientDataset cdsParcelamento{"cdsParcelamento"};
  host::ClientDataset cdsTpRecBoleto{"cdsTpRecBoleto"};
  host::ClientDataset cdsProrrogacao{"cdsProrrogacao"};
  host::ClientDataset cdsContCorr{"cdsContCorr"};
  host::ClientDataset cdsTxMensBol{"cdsTxMensBol"};
  host::ClientDataset cdsGeralRec{"cdsGeralRec"};
  host::ClientDataset cdsValidaGR{"cdsValidaGR"};
  host::ClientDataset cdsOrcaFestas{"cdsOrcaFestas"};
  host::ClientDataset cdsParamGeral{"cdsParamGeral"};
  host::ClientDataset cdsCliente{"cdsCliente"};
  host::ClientDataset cdsStatus{"cdsStatus"};
  host::ClientDataset cdsContProrVenc{"cdsContProrVenc"};
  host::ClientDataset cdsGrupoOperador{"cdsGrupoOperador"};
  host::ClientDataset cdsVisualiza{"cdsVisualiza"};
  host::ClientDataset cdsMarca{"cdsMarca"};
  host::ClientDataset cdsMarcaAux{"cdsMarcaAux"};
  host::ClientDataset cdsPosicao{"cdsPosicao"};
  host::ClientDataset cdsIncBoleto{"cdsIncBoleto"};
  host::ClientDataset cdsOrdemPrint{"cdsOrdemPrint"};
  host::TADOIBQuery qryEmpresa{"qryEmpresa"};

  // --- key lists: the marking lists, the emission lists, the payment-type lists, and those
  // of the batch operations.
  host::TKeyList klMarcados, klVencimentos, klOrcamentos;
  host::TKeyList klEmissao, klCarteira, klParcelas;
  host::TKeyList klTpRecValor, klChequeUso, klChequeNovo;
  host::TKeyList klAssocia, klCancela, klEmail, klGeracao, klCarne, klCredConta;
  /// The fifteen lists, for the bookkeeping that treats them alike.
  std::array<host::TKeyList*, 15> keyLists();

  // --- screen state
  int nMarcEmitidos = 0;
  int nMarcOutros = 0;
  bool firstActivation = true;
  int confirmMode = 2;
  std::string accountAtEditStart;
  double chequeAmountApplied = 0;
  double chequeTotalUsed = 0;
  bool newChequeIncluded = false;
  double instalmentDifference = 0;
  std::string changedFieldList;
  bool columnEditing = false;  ///< the list's cursor is on the editable description column
  bool paymentTypeRefresh = false;
  /// Set while the register runs the emission screen: closing is refused meanwhile.
  bool busy = false;

  // --- the list's events, marking and print order (ListaEventos.cpp, Marcacao.cpp)
  /// Boletos to emit, in the print order `AplicaOrdemImpres` chooses (filled by the emission
  /// preparation); its indexes are made by `criaIndiceImpressao`.
  host::ClientDataset cdsBolEmitOrd{"cdsBolEmitOrd"};
  /// Boletos of the list whose customer has an open advance or return (before mark all).
  host::ClientDataset cdsBolCliDevoAdian{"cdsBolCliDevoAdian"};
  /// Keys of a set of boletos sent to the service in one packet.
  host::ClientDataset cdsChaveBol{"cdsChaveBol"};
  /// Set while mark all runs: single marking then asks no discount questions.
  bool bMarcaGeral = false;
  /// What `setTotals` last showed: the marked net total and count.
  double markedTotal = 0;
  int markedCount = 0;

  /// A click on a column title: the mark column marks or unmarks all, any other sorts.
  void dbgPadraoTitleClick(const std::string& field);
  /// Toggles the current boleto's mark and offers the customer's credit notes.
  void dbgPadraoDblClick();
  /// A key down in the list; a key the list swallows comes back as GridKey::None.
  void dbgPadraoKeyDown(GridKey& key, ShiftState shift);
  /// A character typed in the list: space toggles the mark, except on the description
  /// column, where typing starts editing the boleto.
  void dbgPadraoKeyPress(char key);
  /// The list's cursor entered the column of `field`.
  void dbgPadraoColEnter(const std::string& field);
  /// A key down in the receivables beside the list (nothing is deleted or inserted there).
  void dbgCntReceberKeyDown(GridKey& key, ShiftState shift);
  /// Reruns the filter unseen and returns to the current boleto when it is still listed.
  void Fitro_Locate();

  /// Marks ('M'), unmarks ('D') or toggles ('T') the current boleto.
  void Marca_Boleto(bool fromDoubleClick, char mode);
  /// The advance and return questions before a boleto is marked; false when the operator
  /// chose to discount instead, and the marking is abandoned.
  bool VerificaDescontos();
  /// Loads `cdsBolCliDevoAdian` for the whole list.
  void VerificaDevoAdianTBol();
  /// Marks again the listed boletos kept in `cdsMarcaAux`, returns to the boleto given and
  /// makes `cdsMarca` a copy of `cdsMarcaAux`.
  void Marca_Boletos_Aux(const std::string& branch, const std::string& number);
  /// Clears every mark of the list and empties `cdsMarca` (totals and key lists stay: the
  /// caller reloads the list).
  void Desmarca_Boletos();
  /// `cdsChaveBol` := the marked boletos of the list ("B") or the instalments (any other).
  void GravaChaveBoletosMarcados(const std::string& kind);
  /// The five print-order indexes of `cdsBolEmitOrd`.
  void criaIndiceImpressao();
  /// Orders `cdsBolEmitOrd` by the print order of the general settings (`IDORDIMPRBOL`).
  void AplicaOrdemImpres();

  // --- printing and emission from the register (Emissao.cpp)
  /// Bank account codes of the marked boletos ("xxxx" for one without an account).
  host::TKeyList klContas;
  host::ClientDataset cdsVdFilOrig{"cdsVdFilOrig"};
  /// Several accounts among the marked boletos are refused ("BANCO_Dif").
  bool bContaUnica = false;
  /// The print button: the menu of "Emitir Boleto", "Emitir Carnê" and "Gera Boleto (txt)".
  void sbtImprimirClick();
  /// "Emitir Boleto": checks, questions, the emission lists, the directory, the emission screen.
  void mnuBoletoClick();
  /// "Emitir Carnê" (disabled until the payment booklet exists).
  void mnuCarneClick();
  /// The import selection of fiscal notes for the customer of the first marked boleto.
  void mnuSelNFImpClick();
  /// "Enviar Boleto": the marked boletos go to the e-mail screen.
  void mnuEnviarBoletoClick();
  /// "Gera Boleto (txt)" (Geracao.cpp): each marked emitted boleto asks "Cancelar" (10, the
  /// command stops), "Sim" (11, generated again with its number) or "Não" (12,
  /// `kGeracaoDeixaDeFora`: left out and unmarked); then the emission lists with each boleto's
  /// instalments, the generation screen; a completed generation drops every mark.
  void mnuGeraBoletoClick();
  /// The result of the "bol_ja_emit" dialog that leaves a boleto out of the generation.
  static constexpr int kGeracaoDeixaDeFora = 12;
  /// "Enviar Carta de Cobrança": the host's collection letters (package "REC01100"), then
  /// the list read again on the current boleto.
  void mnuEnviarCartaCobrancaClick();
  /// The emission lists `klEmissao`, `klContas`, `klCarteira` and `cdsBolEmitOrd` from the
  /// marked boletos. `markedChecked`: the caller has already refused an empty marking;
  /// `generation`: instalments of each boleto enter `klCarteira` and several accounts pass.
  void Atualiza_Emissao(bool markedChecked, bool generation = false);
  /// The hand-off to the emission screen: the emission lists and `cdsBolEmitOrd` as
  /// `Atualiza_Emissao` left them, the settings the emission reads and the register's print
  /// order and template refresh.
  records::EmissionOrder ordemEmissao();
  /// Refreshes the report template `fileName` from the service into the report directory
  /// when the service's copy is newer; a failed download only informs ("Nrel").
  void BaixaRelatorio(const std::string& fileName);

  remote::Connection& connection() const { return *conn_; }

  // --- the host's activation: the first one arranges the list's columns
  void FormActivate();

  // --- company
  /// Reads the company typed (padded to 2) and shows its name; "Emp_nc" when unknown.
  void medEmpresaExit();
  void pnlEmpresaEnter();
  /// Leaving the company panel: the company is checked and the filter opens.
  void pnlEmpresaExit();
  /// Focuses the list (leaves the company panel as an operator would).
  void focusList();

  // --- rules
  void Habilita() override;
  void HabPageControl();
  void pgcPadraoChange();
  /// "DtBol<DtSis" when `date` is before the locked processing date.
  void Verifica_Acesso_Sistema(const host::DateTime& date);
  /// Is any of the marked boletos ("B") or of the instalments (any other kind) tied to a
  /// compensation? When one is, the cursor moves to it.
  bool VerificaTBolCompensado(const std::string& kind);
  /// The boleto state check of the current boleto, run before a change.
  void VerificaStatus();

  // --- field validations (Validacoes.cpp). Each focuses its field, showing its page, before
  // it raises; `mandatory` is true from a confirmation, false when a field is left.
  /// Collection account: completes the boleto from the account (the collection data
  /// overwritten, or the codes cleared when several boletos are marked).
  void Vd_CdReduCont(bool mandatory);
  void Vd_TipoBaixa(bool mandatory);
  /// Instruction 1 or 2: `field` is "CDINS1COBBOL" or "CDINS2COBBOL".
  void Vd_InstruCobr(const std::string& field);
  /// The barcode must be of the collection account's bank.
  void Vd_CdBarraRec();
  /// The origin branch, when the boleto is printed by it.
  void Vd_Filial();
  /// "BOL_DESC", "BOL_BAIXA" or "BOL_ALTERADO" when the boleto, as stored now, may not change.
  void VerificaStatus(const std::string& branch, const std::string& number);
  /// A boleto sent to the bank is changed only where remittances are not controlled, and
  /// then only when the operator agrees to take it out of the remittance.
  void VerificaSitCNAB(const std::string& situation);
  /// Has the bank cleared the current boleto?
  bool VerificaBolCompensado();
  /// Account, write-off type and protest data are locked on existing boletos where the
  /// general settings say so.
  void VerificaBloqAltBol();
  /// The cheque fields of the current payment-type row.
  void Vd_Cheque(bool mandatory);
  void Vd_Banco(bool mandatory);
  void Vd_Agencia(bool mandatory);
  void Vd_ContaCorr(bool mandatory);
  /// The file-name cleaning the emission and e-mail screens use.
  std::string CamposValidos(std::string_view text) const;
  /// Leaving the account field while editing: an emitted boleto asks "Bol_Emitido" first.
  void edtCDREDUCONTExit();
  /// The searches of the collection data: each lists, lets the operator pick, and puts the
  /// boleto into edit with the choice.
  void PesquisaContCorr();
  void PesquisaTipoBaixa();
  void PesquisaInstrucao(const std::string& field);
  void PesquisaFilial();
  /// The printing choice: "Fil. Orig." proposes the account's branch, any other clears it.
  void cbxIDIMPRBOLBOLChange();
  /// Leaving a protest date field; unchecking "Protestado" empties both dates.
  void VerificaDataProtesto(const std::string& control);
  void chkIDPROTESTRECClick();
  /// A key typed in the portfolio code: digits, backspace and Enter pass; '\0' refuses it.
  char edtCDCARTCOBBOLKeyPress(char key) const;
  /// The receiving-data fields show the current boleto.
  void MostraDadosRec();
  host::ClientDataset cdsCdRedTpRe{"cdsCdRedTpRe"};

  // --- fine and interest (MultaMora.cpp): the "Multa/Mora" page's four fields
  /// Leaving the fine percentage: the negative check, then (while editing, above 0) the fine
  /// value from the net value.
  void dbePeMultaExit();
  void dbePeMoraExit();
  void dbeVrMultaExit();
  void dbeVrMoraExit();
  /// A key typed in one of the four fields (`dbePeMulta`, `dbeVrMulta`, `dbePeMora`,
  /// `dbeVrMora`) over the selection [selStart, selStart + selLength): '\0' refuses it. An
  /// accepted key clears the field's partner (the percentage's value, the value's percentage).
  char MultaMoraKeyPress(const std::string& controlName, char key, size_t selStart,
                         size_t selLength);
  /// The negative check: kind "P" percentage or "V" value, item "MU" fine or "MO" interest.
  void Vd_DadoBoleto(const std::string& kind, const std::string& item);
  /// Copies the position's percentages to every marked boleto and derives each one's values
  /// from its own net value (a zero percentage keeps the boleto's value).
  void Atualiza_Multa_Mora();

  // --- confirmation (Confirmacao.cpp)
  /// Writes the edit of the page shown to the service: the receiving data of the current
  /// boleto, or of every marked boleto when the operator replicates them, and a description
  /// typed in the list. A refusal leaves the boleto in edit with what the operator typed.
  void Confirmar() override;
  /// Takes a boleto not yet sent (or sent with an error) out of its remittance, asking first
  /// when it is in one, and sends the bank message's changes.
  void HabilitaBoletoCNAB();
  /// `cdsPosicao` := the current boleto, its values as read kept in the change log.
  void montaPosicao();

  // --- adjustments (Ajustes.cpp): each adjustment is sent to the service when it is posted
  host::ClientDataset cdsTipoAjReceber{"cdsTipoAjReceber"};
  /// Set: a posted adjustment reloads the list; the confirmation clears it around its post.
  bool boAtualiza = true;
  /// The adjustment type of the row being added: padded to 4, known, not yet on the boleto.
  void Vd_CdAjuctRec(bool mandatory);
  /// The value of the row being added: above 0, and a discount below the boleto's net value.
  void Vd_VrAjBolRec(bool mandatory);
  /// The type look-up: the operator picks one of every type; the row takes it.
  void PesquisaTipoAjuste();
  /// A character typed in the adjustments grid on the column of `field`, whose cell holds
  /// `text`: '\0' refuses it; the code column turns letters to upper case.
  char dbgAjustesKeyPress(const std::string& field, char key, const std::string& text) const;
  /// The cursor of the adjustments grid left the column of `field`.
  void dbgAjustesColExit(const std::string& field);
  /// The tab's commands and pages for the adjustments' state (adding or at rest).
  void dtsAjBolRecStateChange();
  /// The delete command on the tab: the saved adjustment in hand deleted through the service,
  /// its value given back to the boleto and to its payment type.
  void ExcluiAjuste();
  /// Refuses ("Bol_TpCtAdian") an adjustment on a boleto that is an advance.
  void VerificaAdiantamento();
  /// The value of an adjustment with its sign: negative for a discount ("D").
  static double CalcVrBolet(double value, const std::string& kind);

  // --- due-date extension (Prorrogacao.cpp)
  /// The boletos the confirmation sends to `SetProrrogacao`.
  host::ClientDataset cdsBolProrrogados{"cdsBolProrrogados"};
  /// Typing in the tab starts an edit only while this is set.
  bool extensionReacts = true;
  /// The extension reason: padded to 2 and known; its description shown.
  void Vd_Prorrogacao(bool mandatory);
  /// The reason look-up: every reason in the pick list; code and description copied.
  void PesquisaMotivo();
  /// Fills `cdsBolProrrogados` with the current boleto (`all` false) or with every marked
  /// boleto that may be extended; the others are listed in `notExtended` and unmarked.
  void ValidaProrrogacao(bool all, std::string& notExtended);

  // --- commands
  void Alterar() override;
  /// The page's search (`Procura`): on the list, receivables and adjustments pages the
  /// operator picks a row of the page's grid and the cursor goes there.
  void Pesquisar() override;
  /// Reloads the list with the last confirmed criteria and returns to the current boleto.
  void Verificar() override;
  /// Include and delete belong to pages whose operations are not built: they change nothing.
  void Incluir() override;
  void Excluir() override;
  void Cancelar() override;
  /// Picks a row of `grid` by its shown columns; false when the operator cancelled or the
  /// grid has no rows.
  bool Procura(host::GridControl& grid);
  void Filtrar() override;
  /// The fine and interest defaults of a new row: the customer's, or the company's when the
  /// customer has neither.
  void applyFineInterestDefaults();

  // --- loaders: each shows the wait animation and always hides it again
  void BuscaContaReceber(const std::string& branch, const std::string& number);
  void BuscaCNABMsg(const std::string& branch, const std::string& number);
  void BuscaAjustes(const std::string& branch, const std::string& number);
  void BuscaParcelas(const std::string& branch, const std::string& number,
                     const std::string& origin);
  void BuscaTpRecBoleto(const std::string& branch, const std::string& number);

  /// Sum of marked net values and their count, shown under the list.
  void setTotals(double total, int count);
  /// The list is open and has rows.
  bool hasRows() const { return cdsBoletos.active() && !cdsBoletos.isEmpty(); }
  bool listEditing() const;
  bool listBrowse() const;
  bool instalmentsEditing() const;
  std::string company() const;
  /// The current boleto's value of `field`; null while the list is closed.
  host::Value current(std::string_view field) const;

  // --- instalments (Parcelamento.cpp): the "Parcelamento" page's editing state, reset when
  // its edit is confirmed or cancelled
  /// Net value last posted per instalment number shown.
  host::TKeyList klParcValor;
  std::string nrParcAtual, nrParcQtde, nrParcEditada, nrOrigAtual;
  std::optional<host::DateTime> dtVencAnterior, dtVencAtual;
  host::ClientDataset cdsMotivoParc{"cdsMotivoParc"};
  /// The instalments are being edited or hold changes not yet confirmed.
  bool instalmentsPending() const;
  /// The editing rules of the instalment grid, after every move.
  void cdsParcelamentoAfterScroll();
  /// The reason of the current instalment, strictly (confirmation) or leniently.
  void Vd_MotivoParc(bool mandatory);
  /// The reason look-up of the instalment grid.
  void btnMotivoParcClick();
  /// A key down in the instalment grid: Down on the last row while editing adds an
  /// instalment, the keys the page refuses are swallowed.
  void dbgParcelamentoKeyDown(GridKey& key, ShiftState shift);
  /// Adds an instalment after the last one (the grid's Down on its last row).
  void IncluiParcela();
  /// The instalments sent with SetConfirmar (the confirmation on the page).
  void confirmaParcelamento();
  /// The page's cancel: every pending instalment change discarded.
  void cancelaParcelamento();
  /// The delete command on the page: the last instalment, its value back to the one before.
  void ExcluiParcela();

  // --- cancellation (Cancelamento.cpp)
  /// "Cancelar Boleto": the emission of each marked emitted boleto cancelled, or a boleto
  /// gathering several receivables separated.
  void sbtCancelaBolClick();

  // --- "Associar Boleto" (Associacao.cpp)
  /// The marked boletos checked, and the new boleto the service proposes appended to the
  /// list for the operator to complete.
  void sbtAgrupaClick();
  /// The confirmation of a new boleto prepared by "Associar Boleto": its checks, then
  /// AgrupaBoleto; a refusal leaves the new boleto in edit as typed.
  void confirmaAssociacao();
  /// A new boleto of "Associar Boleto" waits for its confirmation.
  bool associacaoPendente() const;
  /// After the reload, the list stands on the boleto the association made.
  void localizaNovoBoleto();
  /// The description the service proposed for the new boleto.
  std::string descricaoAssociacao;
  /// The key (branch + number) of the boleto the last association made.
  std::string novoBoletoAssociado;

  // --- "Tipo de Recebimento" (TipoRecebimento.cpp)
  host::ClientDataset cdsTipoRece{"cdsTipoRece"};
  host::ClientDataset cdsCartao{"cdsCartao"};
  host::ClientDataset cdsCheque{"cdsCheque"};
  host::ClientDataset cdsTotChq{"cdsTotChq"};
  host::TADOIBQuery qryBanco{"BANCO"};
  /// Value of the boleto not yet given to a row, its last computed value for the next new
  /// row, and the value of the row when its edit started.
  double vrSaldoTpRec = 0;
  double vrSaldoTpRecUlt = 0;
  double vrTpRecAntes = 0;
  /// The row being added is the boleto's first: it takes the whole net value.
  bool tpRecPrimeiraLinha = false;
  /// The register itself is adjusting a row (after a deletion): no check runs.
  bool tpRecAjuste = false;
  /// Include, change and delete of the tab, and its confirmation and cancellation.
  void IncluirTpRec();
  void AlterarTpRec();
  /// Deletes the last row (`currentRow` false, the delete command) or the current one
  /// (Ctrl+Delete in the grid); false when the operator declined.
  bool ExcluirTpRec(bool currentRow);
  void ConfirmarTpRec();
  void CancelarTpRec();
  /// The tab's command and page rules while its rows are edited or wait for confirmation.
  void dtsTpRecBoletoStateChange();
  /// Rows added, changed or deleted and not yet confirmed.
  bool tpRecPendente() const;
  void Vd_CdTipoRece(bool mandatory);
  void Vd_VrTipoRec();
  void Vd_CdCartao();
  void vd_ChequeRec();
  /// The grid's look-ups: receipt types, the customer's cheques, cards.
  void PesquisaTipoRece();
  void PesquisaCheque();
  void PesquisaCartao();
  /// May the operator type into `field` of the current row? Cheque columns only on a cheque
  /// row, card columns only on another.
  bool tpRecColumnEditable(std::string_view field) const;
  /// The agency or account of a cheque drawn through its bank's display mask.
  std::string mascaraCheque(std::string_view field, const std::string& bank,
                            const std::string& value);

 protected:
  bool canClose() override;
  void onClose() override;

 private:
  void buildControls();
  /// The commands not built in this version stay disabled (Comandos.h).
  void disableUnbuiltCommands();
  void buildPrintMenu();
  void addEmissionMessages();
  /// "End_Empty" for the first marked boleto whose customer has no address.
  void VerificaEnderecos();
  /// Unmarks the current boleto of `cdsMarca`, which "Emitir Boleto" leaves out of the run.
  void leaveOut();
  void buildValidationControls();
  void buildFineInterestControls();
  void buildCnabControls();
  void showCnab();
  void addConfirmationMessages();
  void addAssociationMessages();
  void addPaymentTypeMessages();
  void attachPaymentTypes();
  void resetTpRec();
  /// The collection-data checks of a confirmation: account, write-off type, barcode, origin
  /// branch.
  void verificaDadosCobranca();
  void confirmaDadosRec();
  /// SetDadosRec with the marked boletos and the position row, and its answer.
  void enviaDadosRec();
  /// The marked set's rows take the values of their boletos in the reloaded list.
  void refreshMarca();
  void showFineInterest();
  /// Puts the boleto into edit for a change the operator started on a field.
  void editForField();
  void addValidationMessages();
  void fromControl(const char* control, const char* field);
  void focusField(const char* control, const char* page);
  void overwriteCollectionData();
  void attachListEvents();
  /// Puts each grid over its dataset, with the list's display rules and the grids' events.
  void attachGrids();
  void clearMarking();
  void afterScroll();
  void fillExtensionPage();
  void readCompany(bool raiseWhenMissing);
  // --- adjustments and extension (Ajustes.cpp, Prorrogacao.cpp)
  void attachAdjustments();
  void attachExtension();
  void confirmaAjuste();
  void confirmaProrrogacao();
  /// Typing in the extension tab: the register's edit state for the extension.
  void extensionTyped();
  /// The end of an extension's edit: change on, confirm and cancel off, the pages free.
  void extensionEnded();
  std::string adjustmentColumn_;
  /// The value as typed in the grid's value cell of the row being added.
  std::string adjustmentValueText_;

  /// Calls `m` and loads the packet it answers into `ds`. Unchecked, a refusal leaves `ds` as
  /// it was.
  template <class M>
  void callInto(host::ClientDataset& ds, const M& m, bool checked = true) {
    loadInto(ds, rpc::tryCall(*conn_, m), M::method.name, checked);
  }
  void loadInto(host::ClientDataset& ds, const remote::Result& r, const char* method, bool checked);
  void showPage(const std::string& page);
  bool pageShown(std::string_view page) const;
  void originBranchFields();
  // --- instalments (Parcelamento.cpp)
  void attachParcelamento();
  void addParcelamentoMessages();
  void cdsParcelamentoBeforeEdit();
  void cdsParcelamentoAfterEdit();
  void cdsParcelamentoBeforeInsert();
  void cdsParcelamentoNewRecord();
  void cdsParcelamentoBeforePost();
  /// The other pages, the list and the company panel locked (or freed) around an edit of the
  /// instalments.
  void lockForInstalments(bool lock);
  [[noreturn]] void failOnParcColumn(const char* field, std::string_view key,
                                     const std::vector<host::Value>& args = {});
  bool instalmentsLocked_ = false;

  remote::Connection* conn_;
  std::string lastCompanyRead_;
  bool leavingCompany_ = false;

  // --- marking (Marcacao.cpp, ListaEventos.cpp)
  void markAll();
  void unmarkAll();
  /// Sets the current row's mark without the list's edit rules: a mark is not a change of
  /// the boleto.
  void writeMark(const char* mark);
  void addToMarkLists();
  void removeFromMarkLists();
  void descriptionEditMode();
  /// The marked total and count, shown later (mark all shows them once at the end).
  void setTotalsSilently(double total, int count);
  bool printIndexesMade_ = false;
  std::string printScreenOrder_;
  /// How many marked boletos share each budget key of `klOrcamentos`.
  std::unordered_map<std::string, int> budgetMarks_;
  /// Where each boleto marked here sits in `cdsMarca` (a hint, checked before use).
  std::unordered_map<std::string, host::ClientDataset::Bookmark> marcaRows_;
};

/// The register's instance while it exists (the filter and the batch screens reach it).
TfrmHabContRec* frmHabContRec();

/// Opens the register: created once, shown as a child window (maximised when the event-budget
/// option is on), then activated.
void CriaHabConta();

/// The package's first entry: opens the register.
void IniProc();

/// The filter in mode "BOTAO_FILTRO" (shown) or "ESCONDE_FILTRO" (rerun unseen); the modal
/// result of the screen.
int CriaFiltroHabRec(const std::string& mode);

/// The filter screen's instance (created on first use and kept).
TfrmFiltroHabRec* frmFiltroHabRec();

}  // namespace rec
