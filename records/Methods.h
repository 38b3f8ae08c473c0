#pragma once
// Every remote method of the application service, declared once (see `records/Rpc.h` for
// how a declaration reads and is used). Grouped by server object and area; each group
// names the service file that answers it. A new method is a struct here, added to
// `Declared` at the end; the service then must register exactly one handler for it.

#include "records/Fields.h"
#include "records/Rpc.h"

namespace rpc {

namespace fld = records::fld;

/// The register's server object; every screen of the module calls it.
inline constexpr const char* kHabContRec = "Rec12000.rdmHabContRec";
/// Report designs.
inline constexpr const char* kQRDesign = "Qrd.rdmQRDesign";
/// The host's context answers: the session's operator and its company access.
inline constexpr const char* kAcesso = "Host.rdmAcesso";
/// The host's direct queries, run from their declarations by name.
inline constexpr const char* kQuery = "Host.rdmQuery";
/// The filter screens' saved options, per operator and screen.
inline constexpr const char* kOpcoes = "Host.rdmOpcoes";

/// Arguments that are not a field's value, by the name refusals give them.
namespace arg {
inline constexpr Param todos{"T for all", Kind::Text, 1};
inline constexpr Param sequence{"sequence", Kind::Text, 40};
inline constexpr Param seqSize{"seqSize", Kind::Text, 2};
inline constexpr Param count{"count", Kind::Integer};
inline constexpr Param searchKey{"search key", Kind::Text, 50};
inline constexpr Param invoiceList{"invoice list", Kind::Text};
inline constexpr Param stLista{"stLista", Kind::Text, 10};
inline constexpr Param dueFrom{"due from", Kind::Date};
inline constexpr Param dueTo{"due to", Kind::Date};
inline constexpr Param parametro{"Parametro", Kind::Text, 255};
inline constexpr Param dataset{"DATASET", Kind::Text, 50};
inline constexpr Param bindings{"bindings", Kind::Any};
inline constexpr Param queryName{"query name", Kind::Text, 40};
inline constexpr Param queryParams{"parameters", Kind::Any};
// Data packets, named after the dataset they carry.
inline constexpr Param cdsCriaLista{"cdsCriaLista", Kind::Packet};
inline constexpr Param cdsCNABMsg{"cdsCNABMsg", Kind::Packet};
inline constexpr Param cdsBoletos{"cdsBoletos", Kind::Packet};
inline constexpr Param cdsChaveBol{"cdsChaveBol", Kind::Packet};
inline constexpr Param cdsOpcoes{"cdsOpcoes", Kind::Packet};
inline constexpr Param boletos{"boletos", Kind::Packet};
inline constexpr Param cdsSelImpor{"cdsSelImpor", Kind::Packet};
inline constexpr Param cdsIncBoleto{"cdsIncBoleto", Kind::Packet};
inline constexpr Param cdsBolRec{"cdsBolRec", Kind::Packet};
// The carnê's related instalments: "S" asks for them.
inline constexpr Param relacionadas{"related", Kind::Text, 1};
// The association screen's search (GetBuscaBoletos).
inline constexpr Param clientes{"client list", Kind::Text};
inline constexpr Param filiais{"branch list", Kind::Text};
inline constexpr Param todosClientes{"client T for all", Kind::Text, 1};
inline constexpr Param todasFiliais{"branch T for all", Kind::Text, 1};
inline constexpr Param periodFrom{"period from", Kind::Date};
inline constexpr Param periodTo{"period to", Kind::Date};
inline constexpr Param cdsMarca{"cdsMarca", Kind::Packet};
inline constexpr Param cdsPosicao{"cdsPosicao", Kind::Packet};
inline constexpr Param confirmMode{"confirmMode", Kind::Integer};
inline constexpr Param origem{"origem", Kind::Integer};
inline constexpr Param cdsListaGerarDANFE{"cdsListaGerarDANFE", Kind::Packet};
/// "S": the caller keeps the DANFE files; "N": they go into a message and are deleted.
inline constexpr Param keepDanfe{"keep flag", Kind::Text, 1};
// The register filter's criteria (Filtro).
inline constexpr Param FiliProc{"FiliProc", Kind::Text, 4};
inline constexpr Param clientList{"client list", Kind::Text};
inline constexpr Param clientListOn{"client Lista", Kind::Boolean};
inline constexpr Param clientsFound{"clients found", Kind::Text};
inline constexpr Param clientSearchKey{"client search key", Kind::Text};
inline constexpr Param documentFrom{"document from", Kind::Text, 10};
inline constexpr Param documentTo{"document to", Kind::Text, 10};
inline constexpr Param postingBranchListOn{"posting branch Lista", Kind::Boolean};
inline constexpr Param postingBranchList{"posting branch list", Kind::Text};
inline constexpr Param writeOffTypeListOn{"write-off type Lista", Kind::Boolean};
inline constexpr Param writeOffTypeList{"write-off type list", Kind::Text};
inline constexpr Param valueFrom{"value from", Kind::Number};
inline constexpr Param valueTo{"value to", Kind::Number};
inline constexpr Param filterMark{"filter mark", Kind::Text};
inline constexpr Param invoiceListOn{"invoice Lista", Kind::Boolean};
inline constexpr Param accountListOn{"account Lista", Kind::Boolean};
inline constexpr Param accountList{"account list", Kind::Text};
inline constexpr Param gridLayout{"grid layout", Kind::PacketOrNull};
inline constexpr Param originBranchList{"origin branch list", Kind::Text};
inline constexpr Param statusIndex{"status index", Kind::Integer};
inline constexpr Param protestIndex{"protest index", Kind::Integer};
inline constexpr Param budgetFrom{"budget from", Kind::Text, 10};
inline constexpr Param budgetTo{"budget to", Kind::Text, 10};
inline constexpr Param ModuFili{"ModuFili", Kind::Boolean};
inline constexpr Param clientGroupList{"client group list", Kind::Text};
inline constexpr Param situation{"situation", Kind::Text};
inline constexpr Param emissionFrom{"emission from", Kind::Date};
inline constexpr Param emissionTo{"emission to", Kind::Date};
inline constexpr Param vehicleList{"vehicle list", Kind::Text};
// The register's adjustments and extensions (service/Ajustes.cpp).
inline constexpr Param cdsAjBolRec{"cdsAjBolRec", Kind::Packet};
inline constexpr Param signedValue{"signed value", Kind::Number};
inline constexpr Param fromCredit{"from credit", Kind::Boolean};
inline constexpr Param paymentTypeValue{"payment-type value", Kind::Number};
inline constexpr Param cdsBolProrrogados{"cdsBolProrrogados", Kind::Packet};
// Instalments, cancellation and the write-off by loss (SetConfirmar, SeparaBoleto,
// SetConfirmaBaixa ...).
inline constexpr Param cdsParcelamento{"cdsParcelamento", Kind::Packet};
inline constexpr Param novoValor{"new value", Kind::Number};
/// A money value travelling in and out as text ("-50.00").
inline constexpr Param valorTexto{"value text", Kind::Text, 20};
inline constexpr Param separados{"separated", Kind::Text};
inline constexpr Param vazio{"empty", Kind::Text};
inline constexpr Param dtBaixa{"write-off date", Kind::Date};
inline constexpr Param periodo{"period", Kind::Text, 6};
// Credits a boleto is discounted by (service/Creditos.cpp).
inline constexpr Param cdsContaAd{"cdsContaAd", Kind::Packet};
inline constexpr Param cdsVenda{"cdsVenda", Kind::Packet};
inline constexpr Param vrDescontar{"value to discount", Kind::Number};
inline constexpr Param qtNotas{"note count", Kind::Integer};
inline constexpr Param filialNota{"note branch", Kind::Text, 4};
inline constexpr Param vrRestante{"remaining value", Kind::Number};
inline constexpr Param vrTotalNotas{"note total", Kind::Number};
inline constexpr Param operacao{"operation", Kind::Text, 1};
// Payment types of a boleto (SetTpRecBoleto) and the register's association (AgrupaBoleto).
inline constexpr Param DataProc{"DataProc", Kind::Date};
inline constexpr Param chequeBalance{"cheque balance", Kind::Number};
inline constexpr Param cdsTpRecBoleto{"cdsTpRecBoleto", Kind::Packet};
inline constexpr Param newChequeIncluded{"new cheque", Kind::Boolean};
inline constexpr Param changedFieldList{"changed fields", Kind::Text};
inline constexpr Param unused{"unused", Kind::Number};
inline constexpr Param total{"total", Kind::Number};
// The generation screen's saved directory (SetDiretorio).
inline constexpr Param cdsDiretorio{"cdsDiretorio", Kind::Packet};
}  // namespace arg

// ==================================================================== Rec12000.rdmHabContRec

// --- collection accounts (service/ContaCorrente.cpp)

/// The account of the caller's company as a bank account record; the code comes back padded.
struct GetCont_Corr {
  static constexpr Method method{kHabContRec, "GetCont_Corr", Access::Reads};
  InOut<fld::CDREDUCONT> CDREDUCONT;
};

// --- the register's list (service/Boletos.cpp)

/// The boletos of a company matching the filter's criteria, as boleto records. List
/// criteria travel as list texts ("0001,0002"); a "Lista" flag that is off leaves its list
/// out. It only reads: a company's whole list takes a while and must not hold up writers.
struct Filtro {
  static constexpr Method method{kHabContRec, "Filtro", Access::Reads};
  In<fld::CDEMPRESA> CDEMPRESA;
  In<arg::FiliProc> FiliProc;
  In<fld::CDNOSNUMREC> CDNOSNUMREC;
  InOut<arg::clientList> clientList;
  In<arg::clientListOn> clientListOn;
  InOut<arg::clientsFound> clientsFound;
  InOut<arg::clientSearchKey> clientSearchKey;
  In<arg::documentFrom> documentFrom;
  In<arg::documentTo> documentTo;
  In<arg::postingBranchListOn> postingBranchListOn;
  InOut<arg::postingBranchList> postingBranchList;
  In<arg::dueFrom> dueFrom;
  In<arg::dueTo> dueTo;
  In<arg::writeOffTypeListOn> writeOffTypeListOn;
  InOut<arg::writeOffTypeList> writeOffTypeList;
  In<arg::valueFrom> valueFrom;
  In<arg::valueTo> valueTo;
  InOut<arg::filterMark> filterMark;
  In<arg::invoiceListOn> invoiceListOn;
  In<arg::accountListOn> accountListOn;
  InOut<arg::invoiceList> invoiceList;
  InOut<arg::accountList> accountList;
  In<arg::gridLayout> gridLayout;
  InOut<arg::stLista> stLista;
  InOut<arg::originBranchList> originBranchList;
  In<arg::statusIndex> statusIndex;
  In<arg::protestIndex> protestIndex;
  In<arg::budgetFrom> budgetFrom;
  In<arg::budgetTo> budgetTo;
  In<arg::ModuFili> ModuFili;
  InOut<arg::clientGroupList> clientGroupList;
  InOut<arg::situation> situation;
  In<fld::NRCNABRECREM> NRCNABRECREM;
  In<fld::NRCNABRECRET> NRCNABRECRET;
  In<arg::emissionFrom> emissionFrom;
  In<arg::emissionTo> emissionTo;
  InOut<arg::vehicleList> vehicleList;
};

// --- selection lists (service/Listas.cpp, service/Registro.cpp)

/// A new list holding the keys of the packet: [number of keys, cdsCriaLista of the list].
struct CriaLista {
  static constexpr Method method{kHabContRec, "CriaLista", Access::Writes};
  In<arg::cdsCriaLista> cdsCriaLista;
  In<fld::CDFILIAL> CDFILIAL;
};
/// Deletes the list with its keys; an unknown list is no error.
struct ApagaLista {
  static constexpr Method method{kHabContRec, "ApagaLista", Access::Writes};
  InOut<fld::NRLISTA> NRLISTA;
};
/// The same, when the register closes.
struct DelLista {
  static constexpr Method method{kHabContRec, "DelLista", Access::Writes};
  InOut<fld::NRLISTA> NRLISTA;
};
/// The caller's selection list made to hold exactly the invoices of the list text; the
/// list's name, the caller's new stLista.
struct InsLista {
  static constexpr Method method{kHabContRec, "InsLista", Access::Writes};
  InOut<arg::invoiceList> invoices;
  InOut<arg::stLista> stLista;
};

// --- the register's reads (service/Registro.cpp)

/// Settings of the caller's company, one row each.
struct GetValidaGR {
  static constexpr Method method{kHabContRec, "GetValidaGR", Access::Writes};
};
struct GetOrcaFestas {
  static constexpr Method method{kHabContRec, "GetOrcaFestas", Access::Writes};
};
struct GetGeralRec {
  static constexpr Method method{kHabContRec, "GetGeralRec", Access::Writes};
};
struct GetGeral_Rec {
  static constexpr Method method{kHabContRec, "GetGeral_Rec", Access::Writes};
};
struct GetParamGeral {
  static constexpr Method method{kHabContRec, "GetParamGeral", Access::Writes};
};

/// The pages of the current boleto: branch and number come back padded.
struct GetCntReceber {
  static constexpr Method method{kHabContRec, "GetCntReceber", Access::Writes};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
};
struct GetCNABMsg {
  static constexpr Method method{kHabContRec, "GetCNABMsg", Access::Writes};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
};
/// The bank message's change log: all rows or none ("ALT_BLOQ" when one changed meanwhile);
/// the number of rows applied.
struct SetCNABMsg {
  static constexpr Method method{kHabContRec, "SetCNABMsg", Access::Writes};
  In<arg::cdsCNABMsg> cdsCNABMsg;
};
struct GetAjBolRec {
  static constexpr Method method{kHabContRec, "GetAjBolRec", Access::Writes};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
};
/// The instalments sharing the origin number, or the boleto alone as instalment "00".
struct GetParcelamento {
  static constexpr Method method{kHabContRec, "GetParcelamento", Access::Writes};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
  InOut<fld::NRORIGBOLREC> NRORIGBOLREC;
};
struct GetTpRecBoleto {
  static constexpr Method method{kHabContRec, "GetTpRecBoleto", Access::Writes};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
};

/// Extension reasons: one by code, or all with "T".
struct GetProrrogacao {
  static constexpr Method method{kHabContRec, "GetProrrogacao", Access::Writes};
  In<fld::CDMOTIPROR> CDMOTIPROR;
  In<arg::todos> todos;
};
struct GetCliente {
  static constexpr Method method{kHabContRec, "GetCliente", Access::Writes};
  In<fld::CDCLIENTE> CDCLIENTE;
};
/// [the company's extension control, the operator's groups among those allowed].
struct GetContProrVenc {
  static constexpr Method method{kHabContRec, "GetContProrVenc", Access::Writes};
  In<fld::CDOPERADOR> CDOPERADOR;
};
/// The filter's multi-selection searches.
struct GetFormRec {
  static constexpr Method method{kHabContRec, "GetFormRec", Access::Writes};
};
struct GetVeiculo {
  static constexpr Method method{kHabContRec, "GetVeiculo", Access::Writes};
};
/// The invoices of the company's receivables due in the period (null: an open end).
struct GetDuplicata {
  static constexpr Method method{kHabContRec, "GetDuplicata", Access::Writes};
  In<fld::CDEMPRESA> CDEMPRESA;
  In<arg::dueFrom> dueFrom;
  In<arg::dueTo> dueTo;
};
/// Clients whose names or tax number contain the key; the key comes back trimmed.
struct GetBuscaCliente {
  static constexpr Method method{kHabContRec, "GetBuscaCliente", Access::Writes};
  InOut<arg::searchKey> key;
};

// --- marking (service/Marcacao.cpp)

/// The customer's open advances in the company.
struct GetAdiantamento {
  static constexpr Method method{kHabContRec, "GetAdiantamento", Access::Reads};
  In<fld::CDCLIENTE> CDCLIENTE;
  In<fld::CDEMPRESA> CDEMPRESA;
};
/// The customer's returns with something left to discount, as the discount screen lists them
/// (`cdsVenda`).
struct GetDevolucao {
  static constexpr Method method{kHabContRec, "GetDevolucao", Access::Reads};
  In<fld::CDEMPRESA> CDEMPRESA;
  In<fld::CDCLIENTE> CDCLIENTE;
};
/// The rows of the list whose customer has an open advance, or an open return when
/// IDUTLNFDEVOLREC is "S".
struct GetBolCliDevoAdian {
  static constexpr Method method{kHabContRec, "GetBolCliDevoAdian", Access::Reads};
  In<arg::boletos> boletos;
  In<fld::IDUTLNFDEVOLREC> IDUTLNFDEVOLREC;
};

// --- numbering (service/Numeracao.cpp)

/// The number a counter hands out next, as digits.
struct GetNossoNumero {
  static constexpr Method method{kHabContRec, "GetNossoNumero", Access::Writes};
  In<arg::sequence> sequence;
};
/// The next number of the complete model, taken atomically.
struct prxNossoNumero {
  static constexpr Method method{kHabContRec, "prxNossoNumero", Access::Writes};
  In<fld::CDREDUCONT> CDREDUCONT;
  In<arg::seqSize> seqSize;
};
/// The next number of the pre-printed model, taken atomically.
struct PrxNossoNumPreImp {
  static constexpr Method method{kHabContRec, "PrxNossoNumPreImp", Access::Writes};
  In<fld::CDREDUCONT> CDREDUCONT;
  In<arg::seqSize> seqSize;
};
/// The pre-printed counter restarts after NRSEQUENCIA.
struct SetNovoCod {
  static constexpr Method method{kHabContRec, "SetNovoCod", Access::Writes};
  InOut<fld::CDREDUCONT> CDREDUCONT;
  In<fld::NRSEQUENCIA> NRSEQUENCIA;
  In<fld::NRLISTA> NRLISTA;
  In<fld::CDLISTA> CDLISTA;
};
/// The boletos of the account that carry the nosso número.
struct GetValNosNumero {
  static constexpr Method method{kHabContRec, "GetValNosNumero", Access::Writes};
  InOut<fld::CDNOSNUMREC> CDNOSNUMREC;
  In<fld::CDREDUCONT> CDREDUCONT;
};
/// Stores typed line, barcode and nosso número (or the identified deposit) on the boleto,
/// with the print model the number belongs to; a stored number is kept, and the codes come
/// back as the boleto holds them.
struct SetCodBarra {
  static constexpr Method method{kHabContRec, "SetCodBarra", Access::Writes};
  InOut<fld::DSLINHABARREC> DSLINHABARREC;
  InOut<fld::CDBARRAREC> CDBARRAREC;
  InOut<fld::CDNOSNUMREC> CDNOSNUMREC;
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::CDDEPIDENREC> CDDEPIDENREC;
  InOut<fld::IDBOLEMITIDO> IDBOLEMITIDO;
  InOut<fld::CDREDUCONT> CDREDUCONT;
};
/// Numbers a boleto that has none with the codes computed for `NRSEQUENCIA`, moving the
/// account's counter of the model to it in the same transaction; a boleto that has a number
/// keeps it. Answers 1 when it numbered the boleto, 0 when it had a number; the codes come
/// back as stored.
struct NumeraBoleto {
  static constexpr Method method{kHabContRec, "NumeraBoleto", Access::Writes};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::CDREDUCONT> CDREDUCONT;
  In<fld::NRSEQUENCIA> NRSEQUENCIA;
  InOut<fld::DSLINHABARREC> DSLINHABARREC;
  InOut<fld::CDBARRAREC> CDBARRAREC;
  InOut<fld::CDNOSNUMREC> CDNOSNUMREC;
  InOut<fld::IDBOLEMITIDO> IDBOLEMITIDO;
};
/// Keeps the Pix "copia e cola" text the bank returned for a boleto: a valid BR Code whose
/// amount, when it carries one, is the boleto's. A boleto that has a text keeps it; the text
/// comes back as stored.
struct SetPixBoleto {
  static constexpr Method method{kHabContRec, "SetPixBoleto", Access::Writes};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
  InOut<fld::DSPIXBOLREC> DSPIXBOLREC;
};
/// The boleto, with the codes it carries, when its nosso número is stored.
struct GetValidaNosNum {
  static constexpr Method method{kHabContRec, "GetValidaNosNum", Access::Writes};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
};
/// Whether the company and the bank use identified deposits (CDRESULT).
struct GetVdDepIdent {
  static constexpr Method method{kHabContRec, "GetVdDepIdent", Access::Writes};
  In<fld::CDEMPRESA> CDEMPRESA;
  In<fld::CDBANCO> CDBANCO;
};
/// [status, the cost centre of the boleto's branch, error text or null].
struct GetInfoDepIdent {
  static constexpr Method method{kHabContRec, "GetInfoDepIdent", Access::Writes};
  In<fld::CDBANCO> CDBANCO;
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
};
/// The branch's next deposit sequence.
struct GetSeqDepIdent {
  static constexpr Method method{kHabContRec, "GetSeqDepIdent", Access::Writes};
  InOut<fld::CDFILIAL> CDFILIAL;
};

// --- emission (service/Emissao.cpp)

/// Marks boletos emitted: the one of the key, or every one of the list NRLISTA.
struct AltBoletos {
  static constexpr Method method{kHabContRec, "AltBoletos", Access::Writes};
  In<arg::count> count;
  In<fld::NRLISTA> NRLISTA;
  In<fld::CDLISTA> CDLISTA;
};

// --- the carnê and the association screen (service/Conjuga.cpp)

/// The boletos of the same origin as the boleto (its instalments, itself included), in
/// instalment order; none when the boleto was never split.
struct GetParcContBol {
  static constexpr Method method{kHabContRec, "GetParcContBol", Access::Reads};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  In<arg::relacionadas> relacionadas;
};
/// The open boletos of the company that an association may join (cdsBuscaBoletos), of the
/// listed customers and branches (or all, with "T"), due within the period; ordered by
/// customer, due date and key.
struct GetBuscaBoletos {
  static constexpr Method method{kHabContRec, "GetBuscaBoletos", Access::Reads};
  InOut<arg::clientes> clientes;
  InOut<arg::filiais> filiais;
  In<fld::CDEMPRESA> CDEMPRESA;
  InOut<arg::todosClientes> todosClientes;
  InOut<arg::todasFiliais> todasFiliais;
  In<arg::periodFrom> periodFrom;
  In<arg::periodTo> periodTo;
};
/// 1 when the bank has cleared the boleto (it may not be joined), else 0.
struct GetVdCompensacao {
  static constexpr Method method{kHabContRec, "GetVdCompensacao", Access::Reads};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
};
/// One new boleto per row of cdsIncBoleto, for exactly the total of the rows of cdsBolRec of
/// its customer, which are closed; all in one transaction. Answers the new keys.
struct AssociaBoletos {
  static constexpr Method method{kHabContRec, "AssociaBoletos", Access::Writes};
  In<arg::FiliProc> FiliProc;
  In<arg::cdsIncBoleto> cdsIncBoleto;
  In<arg::cdsBolRec> cdsBolRec;
};

// --- the register's field checks (service/Validacoes.cpp)

/// [accounts as bank account records, their boleto messages]: one by code, or all with "T".
struct GetContCorr {
  static constexpr Method method{kHabContRec, "GetContCorr", Access::Reads};
  In<fld::CDREDUCONT> CDREDUCONT;
  In<fld::CDEMPRESA> CDEMPRESA;
  In<arg::todos> todos;
  In<fld::CDCLIENTE> CDCLIENTE;
  In<fld::IDUTBCOPREFCLIE> IDUTBCOPREFCLIE;
};
/// The registered cheque with its collection account.
struct GetExistCheque {
  static constexpr Method method{kHabContRec, "GetExistCheque", Access::Reads};
  In<fld::NRCHEQUERECE> NRCHEQUERECE;
  In<fld::CDBANCHEQREC> CDBANCHEQREC;
  In<fld::CDAGECHEQREC> CDAGECHEQREC;
  In<fld::CDCNTCHEQREC> CDCNTCHEQREC;
};
/// "EXISTTPREC" when a marked boleto of the list has payment types, else "".
struct GetVeriTpRecBoleto {
  static constexpr Method method{kHabContRec, "GetVeriTpRecBoleto", Access::Reads};
  In<arg::cdsBoletos> cdsBoletos;
};
/// Deletes the boleto's payment types with their cheques and cards.
struct DelTpRec {
  static constexpr Method method{kHabContRec, "DelTpRec", Access::Writes};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
};
struct GetCdRedTpRe {
  static constexpr Method method{kHabContRec, "GetCdRedTpRe", Access::Reads};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
};
struct GetVdTipoBaixa {
  static constexpr Method method{kHabContRec, "GetVdTipoBaixa", Access::Reads};
  In<fld::CDTPBAIXAREC> CDTPBAIXAREC;
};
struct GetPesqTpBaixa {
  static constexpr Method method{kHabContRec, "GetPesqTpBaixa", Access::Reads};
};
/// Collection instructions of a bank: one by code, or all with "T".
struct GetInstCobr {
  static constexpr Method method{kHabContRec, "GetInstCobr", Access::Reads};
  In<fld::CDBANCO> CDBANCO;
  In<fld::CDINSTCOBR> CDINSTCOBR;
  In<arg::todos> todos;
};
/// Branches of the company: one, or all with an empty code.
struct GetFiliOrig {
  static constexpr Method method{kHabContRec, "GetFiliOrig", Access::Reads};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::CDEMPRESA> CDEMPRESA;
};
/// The account's branch, proposed as origin branch.
struct GetFilialCC {
  static constexpr Method method{kHabContRec, "GetFilialCC", Access::Reads};
  In<fld::CDBANCO> CDBANCO;
  In<fld::CDAGENCIA> CDAGENCIA;
  In<fld::CDCONTCORR> CDCONTCORR;
  In<fld::CDREDUCONT> CDREDUCONT;
  In<fld::CDEMPRESA> CDEMPRESA;
};
/// The origin branch when it may issue boletos on the account; no row otherwise.
struct GetVdFilOrig {
  static constexpr Method method{kHabContRec, "GetVdFilOrig", Access::Reads};
  In<fld::CDBANCO> CDBANCO;
  In<fld::CDAGENCIA> CDAGENCIA;
  In<fld::CDCONTCORR> CDCONTCORR;
  In<fld::CDREDUCONT> CDREDUCONT;
  In<fld::CDEMPRESA> CDEMPRESA;
  In<fld::CDFILORIG> CDFILORIG;
};
/// The receiving data of the position row written to its boleto and, with `confirmMode` 1,
/// replicated to every marked boleto, in one transaction. A boleto changed by someone else
/// since it was read is refused whole ("ALT_BLOQ"); a boleto that may no longer change gives
/// a `cdsResultado()` row with the key (nothing written); no row means written.
struct SetDadosRec {
  static constexpr Method method{kHabContRec, "SetDadosRec", Access::Writes};
  In<arg::cdsMarca> cdsMarca;
  In<arg::cdsPosicao> cdsPosicao;
  In<arg::confirmMode> confirmMode;
  In<arg::origem> origem;
  In<fld::TXMENSBOLBOL> TXMENSBOLBOL;
  In<fld::IDUTCTRLCANREMR> IDUTCTRLCANREMR;
};
/// The boleto's state as stored now; branch and number come back padded.
struct GetStatus {
  static constexpr Method method{kHabContRec, "GetStatus", Access::Reads};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
};
/// "TRUE" when the bank has cleared the boleto, else "FALSE".
struct GetVdCompensa {
  static constexpr Method method{kHabContRec, "GetVdCompensa", Access::Reads};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
};
/// The key of the first boleto of the packet the bank has cleared, or "".
struct GetVdTBolCompensa {
  static constexpr Method method{kHabContRec, "GetVdTBolCompensa", Access::Reads};
  In<arg::cdsChaveBol> cdsChaveBol;
};
/// [key of the first boleto whose customer has no address, "code - name"], or two "".
struct GetVerifEndeClie {
  static constexpr Method method{kHabContRec, "GetVerifEndeClie", Access::Reads};
  In<arg::cdsBoletos> cdsBoletos;
};
/// The customer's registered cheque of that number; bank, agency and account narrow it.
struct GetValidaCheque {
  static constexpr Method method{kHabContRec, "GetValidaCheque", Access::Reads};
  In<fld::CDCLIENTE> CDCLIENTE;
  In<fld::NRCHEQUERECE> NRCHEQUERECE;
  In<fld::CDBANCHEQREC> CDBANCHEQREC;
  In<fld::CDAGECHEQREC> CDAGECHEQREC;
  In<fld::CDCNTCHEQREC> CDCNTCHEQREC;
};
/// The same, only while the cheque is open and not applied in full.
struct GetChequePerm {
  static constexpr Method method{kHabContRec, "GetChequePerm", Access::Reads};
  In<fld::CDCLIENTE> CDCLIENTE;
  In<fld::NRCHEQUERECE> NRCHEQUERECE;
  In<fld::CDBANCHEQREC> CDBANCHEQREC;
  In<fld::CDAGECHEQREC> CDAGECHEQREC;
  In<fld::CDCNTCHEQREC> CDCNTCHEQREC;
};
/// The payment-type sequence of the boleto that already holds that cheque, or "".
struct GetValNrCheque {
  static constexpr Method method{kHabContRec, "GetValNrCheque", Access::Reads};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::NRCHEQUERECE> NRCHEQUERECE;
};

// --- e-mail of boletos with their fiscal documents (service/Email.cpp)

/// The branch's principal address with its mail settings (`cdsEndeFili`); the password comes
/// sealed, as stored.
struct GetEndeFili {
  static constexpr Method method{kHabContRec, "GetEndeFili", Access::Reads};
  InOut<fld::CDFILIAL> CDFILIAL;
};
/// [addresses per group of notes mailed together (`cdsEmailDanfe`), the notes behind the
/// boleto (`cdsNotasEmail`)]; both empty when no note of the boleto has addresses.
struct getEmailDanfe {
  static constexpr Method method{kHabContRec, "getEmailDanfe", Access::Reads};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
};
/// The series of a fiscal note (`cdsSerieNF`).
struct getSerieNF {
  static constexpr Method method{kHabContRec, "getSerieNF", Access::Reads};
  InOut<fld::CDEMPRESA> CDEMPRESA;
  InOut<fld::CDINSCESTA> CDINSCESTA;
  InOut<fld::CDINSCMUNI> CDINSCMUNI;
  InOut<fld::CDSERIE> CDSERIE;
};
/// The DANFE of each note of the request rendered to "<access key>-nfe.pdf" and zipped:
/// ["S", `cdsStringStream` (the archive in Base64), `cdsDetalheRetorno`], or ["N", the reason].
struct GetDanfeApi {
  static constexpr Method method{kHabContRec, "GetDanfeApi", Access::Reads};
  In<arg::cdsListaGerarDANFE> cdsListaGerarDANFE;
  InOut<arg::keepDanfe> keep;
};

// ==================================================================== Qrd.rdmQRDesign
// (service/Relatorios.cpp)

/// "Qrd.rdmQRDesign/<stored name>" and the template's "yyyymmddhhnnss", on two lines; the
/// name comes back as stored.
struct RetornaRelatorio {
  static constexpr Method method{kQRDesign, "RetornaRelatorio", Access::Writes};
  InOut<fld::NMARQUIVO> NMARQUIVO;
  In<arg::parametro> Parametro;
};
/// [date and time or 0, version, source] of a stored template.
struct GetDadosRel {
  static constexpr Method method{kQRDesign, "GetDadosRel", Access::Writes};
  In<fld::NMARQUIVO> NMARQUIVO;
};
/// The template's text.
struct BaixaModelo {
  static constexpr Method method{kQRDesign, "BaixaModelo", Access::Writes};
  In<fld::NMARQUIVO> NMARQUIVO;
};
/// A report dataset (BOLETO, ITENSNF) for the bindings: [[name, value], ...] or a packet.
struct GetDataSet {
  static constexpr Method method{kQRDesign, "GetDataSet", Access::Writes};
  In<arg::dataset> DATASET;
  In<arg::bindings> bindings;
};

// ==================================================================== Host.rdmAcesso
// (service/Access.cpp)

/// The session's operator.
struct Operador {
  static constexpr Method method{kAcesso, "Operador", Access::Reads, Company::NotChecked};
};
/// May the operator use the company?
struct AcessoOperEmpresa {
  static constexpr Method method{kAcesso, "AcessoOperEmpresa", Access::Reads, Company::NotChecked};
  In<fld::CDOPERADOR> CDOPERADOR;
  In<fld::CDEMPRESA> CDEMPRESA;
};

// ==================================================================== Host.rdmQuery
// (service/Consultas.cpp)

/// Runs a direct query of queries/ by name with [[parameter, value], ...].
struct Consulta {
  static constexpr Method method{kQuery, "Consulta", Access::Writes, Company::NotChecked};
  In<arg::queryName> name;
  In<arg::queryParams> parameters;
};

// ==================================================================== Host.rdmOpcoes
// (service/Opcoes.cpp)

/// Replaces the operator's saved options of a screen; the number saved.
struct SalvaOpcoes {
  static constexpr Method method{kOpcoes, "SalvaOpcoes", Access::Writes};
  In<fld::CDTELA> CDTELA;
  In<arg::cdsOpcoes> cdsOpcoes;
};
/// The operator's saved options of a screen.
struct CarregaOpcoes {
  static constexpr Method method{kOpcoes, "CarregaOpcoes", Access::Writes};
  In<fld::CDTELA> CDTELA;
};

// --- the import selection of fiscal notes (service/SelImpor.cpp)

/// The customer's fiscal notes in the company that are not imported yet, with their import
/// flag (`cdsSelImpor`); both codes come back padded.
struct GetSelImpor {
  static constexpr Method method{kHabContRec, "GetSelImpor", Access::Reads};
  InOut<fld::CDCLIENTE> CDCLIENTE;
  InOut<fld::CDEMPRESA> CDEMPRESA;
};
/// The import flags changed in the notes' change packet, saved when each note's flag is
/// still what the caller read ("ALT_BLOQ" otherwise); the number of notes saved.
struct SetSelImpor {
  static constexpr Method method{kHabContRec, "SetSelImpor", Access::Writes};
  In<arg::cdsSelImpor> cdsSelImpor;
};

// --- adjustments and due-date extension (service/Ajustes.cpp)

/// Adjustment types: one by code (padded to 4), or all with "T".
struct GetTipoAjReceber {
  static constexpr Method method{kHabContRec, "GetTipoAjReceber", Access::Reads};
  In<fld::CDAJUCTREC> CDAJUCTREC;
  In<arg::todos> todos;
};
/// The boleto's adjustments of one type (at most one may exist).
struct GetVerifAjust {
  static constexpr Method method{kHabContRec, "GetVerifAjust", Access::Reads};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::CDAJUCTREC> CDAJUCTREC;
};
/// The adjustments inserted in the change packet, added to the boleto with its net value
/// and its payment-type row `NRSEQTPRECBO` moved by the signed value; refused whole when the
/// boleto is no longer as the register read it (`VRFINALBREC`, "ALT_BLOQ").
struct GetAjBolRec_Post {
  static constexpr Method method{kHabContRec, "GetAjBolRec_Post", Access::Writes};
  In<arg::cdsAjBolRec> cdsAjBolRec;
  In<arg::signedValue> signedValue;
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  In<arg::fromCredit> fromCredit;
  In<arg::paymentTypeValue> paymentTypeValue;
  In<fld::NRSEQTPRECBO> NRSEQTPRECBO;
  In<fld::IDBOLRECALTER> IDBOLRECALTER;
  In<fld::CDEMPRESA> CDEMPRESA;
  In<fld::NRCNABRECREM> NRCNABRECREM;
  In<fld::VRFINALBREC> VRFINALBREC;
};
/// Moves the due date of the boletos of the packet, recording the reason; an empty nosso
/// número drops the boletos' numbers (kept in the extension's history) so that the next
/// emission numbers them again. Both in-outs come back as stored.
struct SetProrrogacao {
  static constexpr Method method{kHabContRec, "SetProrrogacao", Access::Writes};
  In<fld::DTVENBOLREC> DTVENBOLREC;
  In<fld::CDMOTIPROR> CDMOTIPROR;
  In<fld::CDEMPRESA> CDEMPRESA;
  InOut<fld::CDNOSNUMREC> CDNOSNUMREC;
  In<arg::cdsBolProrrogados> cdsBolProrrogados;
  InOut<fld::IDBOLEMITIDO> IDBOLEMITIDO;
};

// --- instalments, cancellation and deletion, write-off by loss (service/Parcelas.cpp)

/// Instalment reasons (`cdsMotivoParc`): one by code (padded to 2), or all with "T".
struct GetMotivoParc {
  static constexpr Method method{kHabContRec, "GetMotivoParc", Access::Reads};
  In<fld::CDMOTIPARC> CDMOTIPARC;
  In<arg::todos> todos;
};
/// 0 when the boleto may take the new net value as its first instalment, otherwise the lowest
/// value allowed (its adjustments must stay covered); branch and number come back padded.
struct VdNovoValorContas {
  static constexpr Method method{kHabContRec, "VdNovoValorContas", Access::Reads};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
  In<arg::novoValor> VRFINALBREC;
};
/// The instalments' change packet applied in one transaction: the split boleto becomes
/// instalment "01" of its own origin, each inserted row a new boleto of the branch, and the
/// instalments must add up to what the origin was worth, to the centavo
/// ("SomaParcIgualBolOrig"); a row changed meanwhile refuses all ("ALT_BLOQ"). Answers the
/// number of instalments.
struct SetConfirmar {
  static constexpr Method method{kHabContRec, "SetConfirmar", Access::Writes};
  In<arg::cdsParcelamento> cdsParcelamento;
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
  InOut<fld::NRPARCBOLRECVISU> NRPARCBOLRECVISU;
  In<fld::NRORIGBOLREC> NRORIGBOLREC;
};
/// Deletes the last instalment of the origin and gives its value back to the instalment
/// before it (branch, number); the origin alone again is the boleto as it was before the split.
struct SetExclui {
  static constexpr Method method{kHabContRec, "SetExclui", Access::Writes};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::NRORIGBOLREC> NRORIGBOLREC;
};
/// An emitted boleto back to pending. Its nosso número, barcode and typed line stay (a bank
/// may hold them); the print model stays when the emitted flag is sent, and is forgotten when
/// it is empty. The stored number and flag come back.
struct CancelaEmissao {
  static constexpr Method method{kHabContRec, "CancelaEmissao", Access::Writes};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  InOut<fld::CDNOSNUMREC> CDNOSNUMREC;
  InOut<fld::IDBOLEMITIDO> IDBOLEMITIDO;
};
/// A boleto gathering several receivables becomes one new boleto per receivable in the
/// processing branch, worth together exactly what it was worth; the boleto is closed with its
/// codes kept. The new keys come back in the last argument, separated by commas.
struct SeparaBoleto {
  static constexpr Method method{kHabContRec, "SeparaBoleto", Access::Writes};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::NRORIGBOLREC> NRORIGBOLREC;
  In<fld::DTVENBOLREC> DTVENBOLREC;
  In<fld::CDCLIENTE> CDCLIENTE;
  In<fld::CDEMPRESA> CDEMPRESA;
  In<fld::VRPEMULBREC> VRPEMULBREC;
  In<fld::VRMULTABREC> VRMULTABREC;
  In<fld::VRPEMORBREC> VRPEMORBREC;
  In<fld::VRMORDIABREC> VRMORDIABREC;
  In<arg::FiliProc> FiliProc;
  InOut<arg::separados> separados;
};
/// The adjustment's rows that may not be deleted (made from a fiscal note); empty: it may.
struct GetVerifAjBolRec {
  static constexpr Method method{kHabContRec, "GetVerifAjBolRec", Access::Reads};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::CDAJUCTREC> CDAJUCTREC;
};
/// Deletes the adjustments of the change packet, gives their value back to the boleto's net
/// value and sets the payment type's new value, in one transaction. The reversal travels
/// twice as a text; the payment type's value is a text too.
struct SetUpdateVrBoleto {
  static constexpr Method method{kHabContRec, "SetUpdateVrBoleto", Access::Writes};
  In<fld::CDAJUCTREC> CDAJUCTREC;
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  InOut<arg::valorTexto> estorno;
  InOut<arg::valorTexto> estornoCopia;
  InOut<arg::valorTexto> valorTpRec;
  In<fld::NRSEQTPRECBO> NRSEQTPRECBO;
  In<fld::IDSITUCNABR> IDSITUCNABR;
  In<fld::VRFINALBREC> VRFINALBREC;
  In<arg::cdsAjBolRec> cdsAjBolRec;
};
/// The boleto's receivables that are advances; empty when the boleto is no advance.
struct GetValAdian {
  static constexpr Method method{kHabContRec, "GetValAdian", Access::Reads};
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
};
/// Writes off every boleto of the packet as a loss, with its receivables, in one
/// transaction: all or none. Answers the write-off's number.
struct SetConfirmaBaixa {
  static constexpr Method method{kHabContRec, "SetConfirmaBaixa", Access::Writes};
  In<arg::cdsMarca> cdsMarca;
  InOut<arg::vazio> vazio1;
  InOut<arg::vazio> vazio2;
  InOut<arg::vazio> vazio3;
  In<arg::FiliProc> FiliProc;
  InOut<fld::CDEMPRESA> CDEMPRESA;
  In<fld::CDREDUCONT> CDREDUCONT;
  In<fld::CDTPBAIXAREC> CDTPBAIXAREC;
  In<arg::dtBaixa> dtBaixa;
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::CDOPERADOR> CDOPERADOR;
  In<arg::periodo> periodo;
  In<arg::vazio> vazio4;
  In<arg::vazio> vazio5;
};

// --- credits a boleto is discounted by (service/Creditos.cpp)

/// The customer's advances in the company with what is left of each (`cdsContaAd`); both
/// codes come back padded.
struct GetContaAd {
  static constexpr Method method{kHabContRec, "GetContaAd", Access::Reads};
  InOut<fld::CDCLIENTE> CDCLIENTE;
  InOut<fld::CDEMPRESA> CDEMPRESA;
};
/// The adjustments of the type already on the boleto (`cdsExistAjuste`); a row means taken.
struct GetExistAjuste {
  static constexpr Method method{kHabContRec, "GetExistAjuste", Access::Reads};
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::CDAJUCTREC> CDAJUCTREC;
};
/// Books the chosen advances of the packet (rows "S" with their `VRDESCONTO`) as one discount
/// of the type on the boleto and consumes each by exactly what was used; all or nothing.
struct SetConfirma_Adianta {
  static constexpr Method method{kHabContRec, "SetConfirma_Adianta", Access::Writes};
  In<arg::cdsContaAd> cdsContaAd;
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::CDAJUCTREC> CDAJUCTREC;
  In<arg::vrDescontar> vrDescontar;
};
/// The same with the chosen devolutions of the packet.
struct SetConfirma_Devolucao {
  static constexpr Method method{kHabContRec, "SetConfirma_Devolucao", Access::Writes};
  In<arg::cdsVenda> cdsVenda;
  InOut<fld::CDFILIAL> CDFILIAL;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::CDAJUCTREC> CDAJUCTREC;
  In<arg::vrDescontar> vrDescontar;
};
/// The customer's credit notes in the company with a balance (`cdsGrid`).
struct GetGrid {
  static constexpr Method method{kHabContRec, "GetGrid", Access::Reads};
  InOut<fld::CDCLIENTE> CDCLIENTE;
  InOut<fld::CDEMPRESA> CDEMPRESA;
};
/// Every discount type (`cdsTipoAjDesc`).
struct GetTipoAjReceber_Saida {
  static constexpr Method method{kHabContRec, "GetTipoAjReceber_Saida", Access::Reads};
};
/// One discount type (`cdsTipoAjDesc`); no row when there is none.
struct GetAuxTipoAjReceber {
  static constexpr Method method{kHabContRec, "GetAuxTipoAjReceber", Access::Reads};
  In<fld::CDAJUCTREC> CDAJUCTREC;
};
/// Sets a credit note aside for the caller's next `Altera`; nothing is consumed yet.
struct GetUpDateNF {
  static constexpr Method method{kHabContRec, "GetUpDateNF", Access::Writes};
  In<fld::NRNOTACRED> NRNOTACRED;
  In<fld::NRLANCTONF> NRLANCTONF;
  In<fld::CDFILIAL> CDFILIAL;
};
/// With "I": books the caller's last `count` notes set aside as one discount of the type on
/// the boleto, consuming each note whole; all or nothing.
struct Altera {
  static constexpr Method method{kHabContRec, "Altera", Access::Writes};
  In<arg::qtNotas> count;
  In<fld::NRNOTACRED> NRNOTACRED;
  In<fld::NRLANCTONF> NRLANCTONF;
  In<arg::filialNota> filialNota;
  InOut<fld::CDFILIAL> CDFILIAL;
  In<arg::vrRestante> vrRestante;
  InOut<fld::NRLANBOLREC> NRLANBOLREC;
  In<fld::CDAJUCTREC> CDAJUCTREC;
  In<arg::vrTotalNotas> vrTotal;
  In<arg::operacao> operacao;
};

// --- payment types of a boleto (service/TipoRecebimento.cpp)

/// Receipt types: one by code (padded to 3), or all with "T" (`cdsTipoRece`).
struct GetTipoRece {
  static constexpr Method method{kHabContRec, "GetTipoRece", Access::Reads};
  In<fld::CDTIPORECE> CDTIPORECE;
  In<arg::todos> todos;
};
/// Cards: one by code (padded to 3), or all with "T" (`cdsCartao`).
struct GetCartao {
  static constexpr Method method{kHabContRec, "GetCartao", Access::Reads};
  In<fld::CDCARTAO> CDCARTAO;
  In<arg::todos> todos;
};
/// The customer's registered cheques of the caller's company with what is used of each
/// (`cdsCheque`), by number.
struct GetCheque {
  static constexpr Method method{kHabContRec, "GetCheque", Access::Reads};
  In<fld::CDCLIENTE> CDCLIENTE;
};
/// How many payment types use the registered cheque and for how much (`cdsTotChq`).
struct GetTotChq {
  static constexpr Method method{kHabContRec, "GetTotChq", Access::Reads};
  In<fld::NRCHEQUERECE> NRCHEQUERECE;
  In<fld::CDBANCHEQREC> CDBANCHEQREC;
  In<fld::CDAGECHEQREC> CDAGECHEQREC;
  In<fld::CDCNTCHEQREC> CDCNTCHEQREC;
};
/// Replaces the boleto's payment types with the rows of the packet (its change log says what
/// the register read: "ALT_BLOQ" when they changed meanwhile), registering the new cheques;
/// rows that do not add up to the boleto's net value are refused ("VRBOL_TPRECE"). The list
/// of changed fields comes back empty.
struct SetTpRecBoleto {
  static constexpr Method method{kHabContRec, "SetTpRecBoleto", Access::Writes};
  In<arg::DataProc> DataProc;
  In<arg::chequeBalance> chequeBalance;
  In<arg::cdsBoletos> cdsBoletos;
  In<arg::cdsTpRecBoleto> cdsTpRecBoleto;
  In<fld::CDREDUCONT> CDREDUCONT;
  In<arg::newChequeIncluded> newChequeIncluded;
  In<fld::CDFILIAL> CDFILIAL;
  In<fld::NRLANBOLREC> NRLANBOLREC;
  InOut<arg::changedFieldList> changedFieldList;
};

// --- the register's association of one customer's boletos (service/Agrupamento.cpp)

/// [refusal code or "", "", customer "code - name" without address, proposed due date,
/// customer, description] for the rows of the list marked "M".
struct GetVerifAgrupamento {
  static constexpr Method method{kHabContRec, "GetVerifAgrupamento", Access::Reads};
  In<arg::cdsBoletos> cdsBoletos;
};
/// One new boleto in the branch for exactly the total of the marked boletos (`cdsMarca`),
/// which are closed, with the collection data of `cdsIncBoleto`; one transaction. Answers
/// the new key.
struct AgrupaBoleto {
  static constexpr Method method{kHabContRec, "AgrupaBoleto", Access::Writes};
  In<arg::FiliProc> FiliProc;
  In<fld::CDEMPRESA> CDEMPRESA;
  In<arg::unused> unused;
  In<arg::total> total;
  In<arg::cdsMarca> cdsMarca;
  In<arg::cdsIncBoleto> cdsIncBoleto;
  In<fld::TXMENSBOLBOL> TXMENSBOLBOL;
};

// --- the generation of files: the operator's directory (service/Diretorio.cpp)

/// The directory the operator last exported to (`cdsDiretorio`: CDPROGRAMA, DSDIRETORIO);
/// no row when none was saved.
struct GetDiretorio {
  static constexpr Method method{kHabContRec, "GetDiretorio", Access::Reads};
};
/// Saves the operator's directory from the change packet of `cdsDiretorio` (one row per
/// program); answers the rows saved.
struct SetDiretorio {
  static constexpr Method method{kHabContRec, "SetDiretorio", Access::Writes};
  In<arg::cdsDiretorio> cdsDiretorio;
};

// ====================================================================

/// Every declared method: the service registers one handler for each, and only for these.
using Declared = MethodList<
    GetCont_Corr, Filtro, CriaLista, ApagaLista, DelLista, InsLista, GetValidaGR, GetOrcaFestas,
    GetGeralRec, GetGeral_Rec, GetParamGeral, GetCntReceber, GetCNABMsg, SetCNABMsg, GetAjBolRec,
    GetParcelamento, GetTpRecBoleto, GetProrrogacao, GetCliente, GetContProrVenc, GetFormRec,
    GetVeiculo, GetDuplicata, GetBuscaCliente, SetDadosRec, GetAdiantamento, GetDevolucao,
    GetBolCliDevoAdian, GetNossoNumero, prxNossoNumero, PrxNossoNumPreImp, SetNovoCod,
    GetValNosNumero, SetCodBarra, NumeraBoleto, GetValidaNosNum, GetVdDepIdent, GetInfoDepIdent,
    GetSeqDepIdent, AltBoletos, GetContCorr, GetExistCheque, GetVeriTpRecBoleto, DelTpRec,
    GetCdRedTpRe, GetVdTipoBaixa, GetPesqTpBaixa, GetInstCobr, GetFiliOrig, GetFilialCC,
    GetVdFilOrig, GetStatus, GetVdCompensa, GetVdTBolCompensa, GetVerifEndeClie, GetValidaCheque,
    GetChequePerm, GetValNrCheque, RetornaRelatorio, GetDadosRel, BaixaModelo, GetDataSet, Operador,
    AcessoOperEmpresa, Consulta, SalvaOpcoes, CarregaOpcoes, GetSelImpor, SetSelImpor,
    GetParcContBol, GetBuscaBoletos, GetVdCompensacao, AssociaBoletos, SetPixBoleto, GetEndeFili,
    getEmailDanfe, getSerieNF, GetDanfeApi, GetTipoAjReceber, GetVerifAjust, GetAjBolRec_Post,
    SetProrrogacao, GetMotivoParc, VdNovoValorContas, SetConfirmar, SetExclui, CancelaEmissao,
    SeparaBoleto, GetVerifAjBolRec, SetUpdateVrBoleto, GetValAdian, SetConfirmaBaixa, GetContaAd,
    GetExistAjuste, SetConfirma_Adianta, SetConfirma_Devolucao, GetGrid, GetTipoAjReceber_Saida,
    GetAuxTipoAjReceber, GetUpDateNF, Altera, AgrupaBoleto, GetCartao, GetCheque, GetTipoRece,
    GetTotChq, GetVerifAgrupamento, SetTpRecBoleto, GetDiretorio, SetDiretorio>;

/// The declarations of every method, as data.
const std::vector<MethodDecl>& declarations();

}  // namespace rpc
