#pragma once
// The field tables of the datasets the module and the service exchange, one per dataset,
// each a list of the fields of `records/Fields.h` in the order of the dataset (and of the
// service's select list). The screens declare their datasets from these tables and the
// service builds its packets from them; nothing else writes a field definition.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "host/ClientDataset.h"
#include "records/Fields.h"

namespace records {

/// The fields of one dataset, in order. Asking for a field the table does not hold is a
/// programming error: it throws host::InvariantError naming the dataset and the field.
class Table {
 public:
  /// Throws host::InvariantError when a field appears twice.
  Table(std::string dataset, std::initializer_list<Column> columns);

  /// The dataset's name ("cdsBoletos"; a report dataset's own name, "BOLETO").
  const std::string& dataset() const { return dataset_; }
  /// The definitions, for `ClientDataset::setFieldDefs` and the service's packets.
  const std::vector<host::FieldDef>& fields() const { return defs_; }
  size_t size() const { return defs_.size(); }

  const host::FieldDef& operator[](std::string_view name) const;
  /// Position of the field (0-based).
  size_t indexOf(std::string_view name) const;
  bool has(std::string_view name) const;

  /// Throws host::InvariantError naming `ds` and the first field of this table it lacks: a
  /// dataset handed over as this table's must carry every field of it.
  void requireIn(const host::ClientDataset& ds) const;

 private:
  std::string dataset_;
  std::vector<host::FieldDef> defs_;
};

// --- the two records every screen uses
/// `BoletoRecord`: the register's list `cdsBoletos`, its marked set and `Filtro`'s answer.
const Table& BoletoRecord();
/// `BankAccountRecord`: `cdsContCorr`, the answer of `GetCont_Corr` and `GetContCorr`.
const Table& BankAccountRecord();

// --- the register's own datasets
/// Boletos to emit, in print order (`cdsBolEmitOrd`): what the emission order hands over.
const Table& cdsBolEmitOrd();
/// Keys of a set of boletos sent in one packet (`cdsChaveBol`).
const Table& cdsChaveBol();
const Table& cdsOrdemPrint();
/// The list's column layout (`cdsVisualiza`).
const Table& cdsVisualiza();
/// A selection list's keys (`cdsCriaLista`); also `CriaLista`'s answer.
const Table& cdsCriaLista();
/// Saved options of a filter screen (`SalvaOpcoes`, `CarregaOpcoes`).
const Table& cdsOpcoes();

// --- general settings of the caller's company, one row each
const Table& cdsValidaGR();
const Table& cdsOrcaFestas();
const Table& cdsGeralRec();
const Table& cdsGeral_Rec();
const Table& cdsParamGeral();

// --- the pages of the current boleto and the register's look-ups
const Table& cdsCntReceber();
const Table& cdsCNABMsg();
const Table& cdsAjBolRec();
const Table& cdsParcelamento();
const Table& cdsTpRecBoleto();
const Table& cdsProrrogacao();
const Table& cdsCliente();
const Table& cdsContProrVenc();
const Table& cdsGrupoOperador();
/// The filter's multi-selection searches.
const Table& cdsFormRec();
const Table& cdsVeiculo();
const Table& cdsDuplicata();
const Table& cdsBuscaCliente();

// --- the register's field checks
/// The boleto messages of the accounts `GetContCorr` lists (`cdsTxMensBol`).
const Table& cdsTxMensBol();
/// A registered cheque with the value already applied to boletos.
const Table& cdsCheque();
const Table& cdsCdRedTpRe();
const Table& cdsTipoBaixa();
const Table& cdsInstCobr();
/// Branches of a company (`GetFiliOrig`), and the origin branch `GetVdFilOrig` accepts.
const Table& cdsFilial();
/// The account's branch proposed as origin branch (`GetFilialCC`).
const Table& cdsFilialCC();
const Table& cdsStatus();

// --- marking
const Table& cdsAdiantamento();
const Table& cdsDevolucao();
const Table& cdsBolCliDevoAdian();

// --- numbering
const Table& cdsValNosNumero();
const Table& cdsValidaNossNum();
const Table& cdsVdDepIdent();
/// `cdsPosicao`: the one row the confirmation of the receiving data sends with the marked
/// boletos (`SetDadosRec`), with the boleto's values as read in its change log; its bank
/// message `TXMENSBOLBOL` too, so that the message is checked and written with the rest.
const Table& cdsPosicao();
/// `SetDadosRec`'s answer: no row, or one whose `CDRESULT` is the key of the refusal.
const Table& cdsResultado();
const Table& cdsInfoDepIdent();

// --- the carnê and the association screen
/// The related instalments of a boleto (`GetParcContBol`), with what numbering them needs.
const Table& cdsParcContBol();
/// Candidates of an association (`cdsBuscaBoletos`, `GetBuscaBoletos`).
const Table& cdsBuscaBoletos();
/// New boletos of an association, one per customer (`cdsIncBoleto` of `AssociaBoletos`).
const Table& cdsIncBoletoConjuga();
/// The boletos each new boleto replaces (`cdsBolRec` of `AssociaBoletos`).
const Table& cdsBolRec();

// --- report datasets (`GetDataSet`): values formatted for print
const Table& RelatorioBoleto();
const Table& RelatorioItensNF();

// --- the import selection of fiscal notes
/// A customer's fiscal notes with their import flag `IDIMPONFCR` ("S" to be imported).
const Table& cdsSelImpor();
// --- e-mail of boletos with their fiscal documents
/// A branch's principal address with its mail settings (`GetEndeFili`, `cdsEndeFili`).
const Table& cdsEndeFili();
/// Addresses registered for a boleto's fiscal notes, one row per group mailed together
/// (`getEmailDanfe` element 0: `cdsParaEmail`, `cdsEmailDanfe`).
const Table& cdsEmailDanfe();
/// The notes behind a boleto (`getEmailDanfe` element 1: `cdsNotasEmail`).
const Table& cdsNotasEmail();
/// A note's series (`getSerieNF`).
const Table& cdsSerieNF();
/// The notes whose DANFE the service renders (`GetDanfeApi`'s request).
const Table& cdsListaGerarDANFE();
/// An archive in Base64 (`GetDanfeApi`'s answer).
const Table& cdsStringStream();
/// The service's result per note (`GetDanfeApi`'s answer).
const Table& cdsDetalheRetorno();
/// The e-mail screen's recipients, one per customer and emitting branch (`cdsEnvBolMail`).
const Table& cdsEnvBolMail();
/// The subject and text remembered per branch (`cdsMensagem`).
const Table& cdsMensagem();
/// The report dataset of one fiscal note, for the DANFE and the espelho.
const Table& RelatorioNotaFiscal();
// --- adjustments and due-date extension
/// The adjustment types (`GetTipoAjReceber`): "D" discount, any other kind an addition.
const Table& cdsTipoAjReceber();
/// The boletos an extension moves (`SetProrrogacao`), with the codes the register read.
const Table& cdsBolProrrogados();
// --- instalments, deletion and the write-off by loss
/// Instalment reasons (`GetMotivoParc`).
const Table& cdsMotivoParc();
/// Adjustments that may not be deleted (`GetVerifAjBolRec`).
const Table& cdsVerifAjBolRec();
/// A boleto's receivables that are advances (`GetValAdian`).
const Table& cdsValAdian();
// --- credits a boleto is discounted by
/// A customer's advances with what is left of each (`GetContaAd`, `cdsContaAd`).
const Table& cdsContaAd();
/// A customer's devolutions with what is left of each (`GetDevolucao`, `cdsVenda`).
const Table& cdsVenda();
/// A customer's credit notes with a balance (`GetGrid`, `cdsGrid`).
const Table& cdsGrid();
/// Adjustment types: code and description (`GetTipoAjReceber_Saida`, `GetAuxTipoAjReceber`).
const Table& cdsTipoAjDesc();
/// The adjustments of one type already on a boleto (`GetExistAjuste`).
const Table& cdsExistAjuste();

// --- payment types of a boleto ("Tipo de Recebimento")
/// Receipt types (`GetTipoRece`): `IDTIPORECE` "3" marks a cheque type.
const Table& cdsTipoRece();
/// Cards (`GetCartao`).
const Table& cdsCartao();
/// What a registered cheque has already been used for (`GetTotChq`).
const Table& cdsTotChq();

/// The generation screen's saved directory (`GetDiretorio`, `SetDiretorio`).
const Table& cdsDiretorio();

}  // namespace records
