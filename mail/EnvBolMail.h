#pragma once
// The e-mail screen: sends the boletos the register chose, one e-mail per boleto with its
// PDF, to the customer's address or to the addresses registered for its fiscal notes (then
// with the DANFE of each electronic note and the espelho of each debit note), through the
// branch's SMTP server or the system's mail client.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/ClientDataset.h"
#include "host/Errors.h"
#include "host/Screen.h"
#include "records/EmissionOrder.h"

namespace rec {

/// An SMTP step that failed: the step's prefix and the server's text ("Login Exception->...").
class TKorvaneError : public host::OperationError {
 public:
  using host::OperationError::OperationError;
};

/// `TfrmEnvBolMail`, screen code "REC12010", caption "Envio de boleto por e-mail".
class TfrmEnvBolMail final : public host::ScreenModel {
 public:
  TfrmEnvBolMail();
  ~TfrmEnvBolMail() override;

  host::ClientDataset cdsEnvBolMail{"cdsEnvBolMail"};
  host::ClientDataset cdsMensagem{"cdsMensagem"};
  host::ClientDataset cdsContCorr{"cdsContCorr"};
  host::ClientDataset cdsEndeFili{"cdsEndeFili"};
  host::ClientDataset cdsParaEmail{"cdsParaEmail"};
  host::ClientDataset cdsEmailDanfe{"cdsEmailDanfe"};
  host::ClientDataset cdsNotasEmail{"cdsNotasEmail"};
  host::ClientDataset cdsSerieNF{"cdsSerieNF"};
  host::ClientDataset cdsCriaLista{"cdsCriaLista"};
  host::ClientDataset cdsCriaListaAux{"cdsCriaListaAux"};

  /// The opening with the register's order (its account is the first of `klContas`):
  /// the account, the message of the operator's branch, the recipients. `enviado` is told
  /// the key of each boleto sent, for the register to unmark it.
  void Abre(const records::EmissionOrder& order, std::function<void(const std::string&)> enviado);

  /// Leaving the subject or the message: the texts are kept for the current recipient's
  /// branch.
  void AtualizaCDSEmail();
  /// Moves to recipient `row` (1-based), showing its branch's message.
  void Destinatario(size_t row);
  /// Confirm: keeps the texts, sends every boleto, closes with OK.
  void sbtConfirmaClick();
  /// The sending run over the boletos in print order.
  void GerarBoleto();
  /// Sends one e-mail (SMTP or the system's mail client, by the switch).
  void EnviaEmail(const std::string& nome, const std::string& email, const std::string& anexo,
                  const std::string& copias, const std::string& cdFilial,
                  const std::string& nrLanBolRec, const std::string& filialConfig);

  /// The per-branch message file.
  std::string arquivoMensagem(const std::string& branch) const;
  /// The keys of the boletos sent by the last run, in order.
  const std::vector<std::string>& enviados() const { return sent_; }
  /// The CA file to check the SMTP servers with (tests); empty: the system's store.
  void setCaFile(std::string file) { caFile_ = std::move(file); }

 private:
  struct Run;
  friend struct Run;
  const records::EmissionOrder& order() const;
  void carregaMensagem(const std::string& branch);
  void salvaMensagem(const std::string& branch);
  void showMensagem();
  void loadEndeFili(const std::string& branch);

  std::optional<records::EmissionOrder> order_;
  std::function<void(const std::string&)> enviado_;
  std::string tempDir_;
  std::string branchShown_;
  std::string caFile_;
  std::vector<std::string> sent_;
  Run* run_ = nullptr;
};

/// Opens the e-mail screen for the register's order; the modal result (1: the run completed).
int CriaEnvBolMail(const records::EmissionOrder& order,
                   std::function<void(const std::string& key)> enviado);
/// Installs `CriaEnvBolMail` as the creator the register opens the e-mail with.
void InstalaEnvBolMail();

/// Told after each boleto of a run: the count sent so far, the run's size, the key, and
/// whether it was sent (false: skipped with a message). The command line's progress line
/// and the desktop's status bar.
void setMailProgress(
    std::function<void(size_t done, size_t total, const std::string& key, bool sent)> f);

/// The e-mail screen while it exists.
TfrmEnvBolMail* frmEnvBolMail();

}  // namespace rec
